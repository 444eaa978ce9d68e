// The advice cards and the iCloud row as widgets: copy only under the pointer, the status
// row only with an account, and its open state kept across refreshes.
#include <gtest/gtest.h>

#include <QEnterEvent>
#include <QTest>

#include "ui/kit/Surface.h"
#include "ui/screens/AdviceSection.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::ui;

namespace {
AdviceItem advice(std::optional<std::string> command) {
    AdviceItem i;
    i.title = "Title";
    i.rationale = "Why";
    i.command = std::move(command);
    return i;
}
} // namespace

TEST(AdviceSectionWidget, CopyShowsUnderThePointerAndCopiesTheCommand) {
    test::UiContext ctx;
    AdviceSection section(ctx.desktop());
    section.setInputs({advice(std::string("rm -rf ~/Library/Caches/x/*")), advice(std::nullopt)}, std::nullopt);
    test::settle(&section, QSize(900, 500));
    ASSERT_EQ(section.cardCount(), 2);
    EXPECT_EQ(section.copyButton(1), nullptr);
    QWidget* copy = section.copyButton(0);
    EXPECT_TRUE(copy->isHidden());

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(section.card(0), &enter);
    EXPECT_FALSE(copy->isHidden());
    QTest::mouseClick(copy, Qt::LeftButton);
    ASSERT_EQ(ctx.desktop().copied.size(), 1u);
    EXPECT_EQ(ctx.desktop().copied[0], "rm -rf ~/Library/Caches/x/*");
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(section.card(0), &leave);
    EXPECT_TRUE(copy->isHidden());
}

TEST(AdviceSectionWidget, StatusRowNeedsAnAccountAndStaysOpenAcrossRefreshes) {
    test::UiContext ctx;
    AdviceSection section(ctx.desktop());
    CloudStatus cloud;
    section.setInputs({}, cloud);
    EXPECT_EQ(section.statusRow(), nullptr);
    cloud.accountID = "someone";
    section.setInputs({}, cloud);
    ASSERT_NE(section.statusRow(), nullptr);
    section.statusRow()->toggle();
    cloud.messages.state = CloudState::on;
    section.setInputs({}, cloud);
    EXPECT_TRUE(section.statusRow()->expanded());
    cloud.accountID.reset();
    section.setInputs({}, cloud);
    EXPECT_EQ(section.statusRow(), nullptr);
}
