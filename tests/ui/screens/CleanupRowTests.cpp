// An open safe-to-clean row: its paths survive a live update, stand clear of the folder
// symbol, and the row unfolds over 0.12 s when animations are on; a long detail is cut
// with "…" and whole on hover.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

#include "ui/kit/Animations.h"
#include "ui/kit/HeightAnimation.h"
#include "ui/kit/Text.h"
#include "ui/screens/CleanupRow.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::ui;

namespace {

CleanupItem itemWith(std::vector<int64_t> sizes) {
    CleanupItem item = test::UiContext::sampleRecommendations().front();
    item.targets.clear();
    for (size_t i = 0; i < sizes.size(); ++i)
        item.targets.push_back({UUID::random(), "t", "/tmp/target" + std::to_string(i), sizes[i], {}});
    return item;
}

// Target paths drawn in the row, by the row's own child texts.
std::vector<Text*> pathTexts(CleanupRow& row) {
    std::vector<Text*> out;
    for (Text* t : row.findChildren<Text*>())
        if (t->text().startsWith("/tmp/target") && t->isVisible()) out.push_back(t);
    return out;
}

struct AnimationsOn {
    AnimationsOn() { Animations::setEnabled(true); }
    ~AnimationsOn() { Animations::setEnabled(false); }
};

} // namespace

TEST(CleanupRowTargets, AnOpenRowKeepsShowingItsPathsAfterALiveUpdate) {
    test::UiContext ctx;
    CleanupRow row(ctx.desktop());
    row.setItem(itemWith({100, 200}), true, true);
    test::settle(&row, {1000, 200});
    const int before = row.height();
    ASSERT_EQ(pathTexts(row).size(), 2u);
    // A live update re-measures the targets (new sizes, one more path): new target rows.
    row.setItem(itemWith({150, 250, 50}), true, true);
    EXPECT_EQ(pathTexts(row).size(), 3u);
    EXPECT_GT(row.height(), before) << "the strip of paths collapsed";
    for (Text* t : pathTexts(row)) EXPECT_GT(t->height(), 8) << t->text().toStdString();
}

TEST(CleanupRowTargets, ThePathStandsTenPastTheFolderSymbol) {
    test::UiContext ctx;
    CleanupRow row(ctx.desktop());
    row.setItem(itemWith({100}), false, true);
    test::settle(&row, {1000, 200});
    const auto texts = pathTexts(row);
    ASSERT_EQ(texts.size(), 1u);
    // Symbol: 49 padding, 16 wide; then the stack's spacing of 10.
    EXPECT_EQ(texts[0]->mapTo(&row, QPoint(0, 0)).x(), 49 + 16 + 10);
}

TEST(CleanupRowTargets, OpeningAndClosingEaseOverTheRowsHeight) {
    test::UiContext ctx;
    CleanupRow row(ctx.desktop());
    const CleanupItem item = itemWith({100, 200, 300});
    row.setItem(item, false, false);
    test::settle(&row, {1000, 72});
    ASSERT_EQ(row.height(), 72);
    AnimationsOn on;
    row.setItem(item, false, true);
    EXPECT_TRUE(HeightAnimation::running(&row));
    EXPECT_LT(row.height(), 90) << "opened at once";
    ASSERT_TRUE(test::waitUntil([&] { return !HeightAnimation::running(&row); }, 2000));
    const int open = row.height();
    EXPECT_GT(open, 72 + 3 * 20);
    // Closing keeps the paths drawn while the height folds, then hides them.
    row.setItem(item, false, false);
    EXPECT_TRUE(HeightAnimation::running(&row));
    EXPECT_EQ(pathTexts(row).size(), 3u);
    ASSERT_TRUE(test::waitUntil([&] { return !HeightAnimation::running(&row); }, 2000));
    EXPECT_EQ(row.height(), 72);
    EXPECT_TRUE(pathTexts(row).empty());
}

// From the keyboard Space ticks and Return opens the paths; a row with nothing to act on
// answers neither.
TEST(CleanupRowKeyboard, SpaceTicksAndReturnOpens) {
    test::UiContext ctx;
    for (const bool withTargets : {true, false}) {
        SCOPED_TRACE(withTargets);
        CleanupRow row(ctx.desktop());
        row.setItem(itemWith(withTargets ? std::vector<int64_t>{10, 20} : std::vector<int64_t>{}), false, false);
        test::settle(&row, {700, 72});
        QApplication::setActiveWindow(&row);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&row));
        row.setFocus(Qt::TabFocusReason);
        QSignalSpy ticks(&row, &CleanupRow::toggleSelection);
        QSignalSpy opens(&row, &CleanupRow::toggleExpansion);
        QTest::keyClick(&row, Qt::Key_Space);
        QTest::keyClick(&row, Qt::Key_Return);
        EXPECT_EQ(ticks.count(), withTargets ? 1 : 0);
        EXPECT_EQ(opens.count(), withTargets ? 1 : 0);
    }
}

// A detail that needs more than two lines (a narrow window, twice the scale) ends its second
// line with "…" and gives the whole text on hover; one that fits shows whole, with no tip.
TEST(CleanupRowDetail, ALongDetailEndsInAnEllipsisAndShowsWholeOnHover) {
    test::UiContext ctx;
    CleanupItem item = itemWith({100});
    item.detail = "Files you deleted sit here until the Trash is emptied, and they still take their full size on the "
                  "disk. Emptying it is done by the desktop, not by Sorvel. This is the one cleanup that cannot be "
                  "undone afterwards, so look through it first.";
    const QString whole = QString::fromStdString(item.detail);
    struct Case {
        int width;
        bool cut;
    };
    for (const Case c : {Case{640, true}, Case{4000, false}}) {
        CleanupRow row(ctx.desktop());
        row.setItem(item, true, false);
        test::settle(&row, {c.width, 72});
        (void)row.grab(); // lays the detail out as it paints
        const QStringList lines = row.detailLines();
        ASSERT_FALSE(lines.isEmpty()) << c.width;
        EXPECT_LE(lines.size(), 2) << c.width;
        EXPECT_EQ(lines.back().endsWith(QChar(0x2026)), c.cut) << lines.join('|').toStdString();
        EXPECT_TRUE(whole.startsWith(lines.front())) << lines.front().toStdString();

        QHelpEvent hover(QEvent::ToolTip, QPoint(row.checkRect().right() + 30, 50), row.mapToGlobal(QPoint(60, 50)));
        QApplication::sendEvent(&row, &hover);
        EXPECT_EQ(QToolTip::isVisible() ? QToolTip::text() : QString(), c.cut ? whole : QString()) << c.width;
        QToolTip::hideText();
    }
}
