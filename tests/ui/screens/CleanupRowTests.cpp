#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QHelpEvent>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

#include "ui/kit/FocusRing.h"
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

// A row showing `sizes` as its targets, laid out at 1000 px.
struct Row {
    test::UiContext ctx;
    CleanupRow row{ctx.desktop()};
    Row(std::vector<int64_t> sizes, bool expanded, int height = 200) {
        row.setItem(itemWith(std::move(sizes)), false, expanded);
        test::settle(&row, {1000, height});
    }
};

} // namespace

TEST(CleanupRowTargets, AnOpenRowKeepsShowingItsPathsAfterALiveUpdate) {
    Row r({100, 200}, true);
    CleanupRow& row = r.row;
    const int before = row.height();
    ASSERT_EQ(pathTexts(row).size(), 2u);
    // Symbol: 49 padding, 16 wide; then the stack's spacing of 10.
    EXPECT_EQ(pathTexts(row)[0]->mapTo(&row, QPoint(0, 0)).x(), 49 + 16 + 10) << "the path touches its symbol";
    // A live update re-measures the targets (new sizes, one more path): new target rows.
    row.setItem(itemWith({150, 250, 50}), true, true);
    EXPECT_EQ(pathTexts(row).size(), 3u);
    EXPECT_GT(row.height(), before) << "the strip of paths collapsed";
    for (Text* t : pathTexts(row)) EXPECT_GT(t->height(), 8) << t->text().toStdString();
}

TEST(CleanupRowTargets, OpeningAndClosingEaseOverTheRowsHeight) {
    Row r({100, 200, 300}, false, 72);
    CleanupRow& row = r.row;
    const CleanupItem item = itemWith({100, 200, 300});
    ASSERT_EQ(row.height(), 72);
    test::AnimationsOn animations;
    row.setItem(item, false, true);
    EXPECT_TRUE(HeightAnimation::running(&row));
    EXPECT_LT(row.height(), 90) << "opened at once";
    ASSERT_TRUE(test::waitUntil([&] { return !HeightAnimation::running(&row); }, 2000));
    EXPECT_GT(row.height(), 72 + 3 * 20);
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
    for (const bool withTargets : {true, false}) {
        SCOPED_TRACE(withTargets);
        Row r(withTargets ? std::vector<int64_t>{10, 20} : std::vector<int64_t>{}, false, 72);
        CleanupRow& row = r.row;
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

// "Reveal" is hidden until hovered, yet Tab reaches it on each path of an open row in turn;
// it shows while focused, draws the ring, and Return reveals that path.
TEST(CleanupRowKeyboard, TabReachesRevealOnEachPath) {
    Row r({10, 20}, true);
    CleanupRow& row = r.row;
    QApplication::setActiveWindow(&row);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&row));
    row.setFocus(Qt::TabFocusReason);
    for (const std::string path : {"/tmp/target0", "/tmp/target1"}) {
        SCOPED_TRACE(path);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        auto* reveal = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
        ASSERT_NE(reveal, nullptr);
        EXPECT_EQ(reveal->text(), "Reveal");
        EXPECT_EQ(reveal->accessibleName().toStdString(), "Reveal " + path);
        EXPECT_TRUE(reveal->isVisible());
        EXPECT_NE(FocusRing::around(reveal), nullptr);
        QTest::keyClick(reveal, Qt::Key_Return);
        EXPECT_EQ(r.ctx.desktop().revealed.back(), path);
    }
    EXPECT_EQ(r.ctx.desktop().revealed.size(), 2u);
    // Backtab goes back to the first path's "Reveal" and hides the one it left.
    QAbstractButton* last = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
    QTest::keyClick(last, Qt::Key_Backtab);
    auto* first = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->accessibleName().toStdString(), "Reveal /tmp/target0");
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(last->isVisible());
}

// A detail past two lines (a narrow row) ends its second line with "…" and shows whole on
// hover; one that fits shows whole, with no tip.
TEST(CleanupRowDetail, ALongDetailEndsInAnEllipsisAndShowsWholeOnHover) {
    CleanupItem item = itemWith({100});
    item.detail = "Files you deleted sit here until the Trash is emptied, and they still take their full size on the "
                  "disk. Emptying it is done by the desktop, not by Sorvel. This is the one cleanup that cannot be "
                  "undone afterwards, so look through it first.";
    const QString whole = QString::fromStdString(item.detail);
    for (const auto& [width, cut] : {std::pair{640, true}, std::pair{4000, false}}) {
        SCOPED_TRACE(width);
        test::UiContext ctx;
        CleanupRow row(ctx.desktop());
        row.setItem(item, true, false);
        test::settle(&row, {width, 72});
        (void)row.grab(); // lays the detail out as it paints
        const QStringList lines = row.detailLines();
        ASSERT_TRUE(!lines.isEmpty() && lines.size() <= 2 && whole.startsWith(lines.front()))
            << lines.join('|').toStdString();
        EXPECT_EQ(lines.back().endsWith(QChar(0x2026)), cut) << lines.join('|').toStdString();
        QHelpEvent hover(QEvent::ToolTip, QPoint(row.checkRect().right() + 30, 50), row.mapToGlobal(QPoint(60, 50)));
        QApplication::sendEvent(&row, &hover);
        EXPECT_EQ(QToolTip::isVisible() ? QToolTip::text() : QString(), cut ? whole : QString());
        QToolTip::hideText();
    }
}

// A withheld recommendation is shown with its reason but can never be ticked, even if it
// were to carry paths; its tick box says why on hover.
TEST(CleanupRowWithheld, ShowsItsReasonAndCannotBeTicked) {
    for (const bool withTargets : {false, true}) {
        SCOPED_TRACE(withTargets);
        CleanupItem item = itemWith(withTargets ? std::vector<int64_t>{10} : std::vector<int64_t>{});
        item.withheld = true;
        item.detail = "Some apps could not be read (~/Applications/Locked.app), so Sorvel can't tell which support "
                      "folders belong to apps that are gone, and offers none for removal.";
        test::UiContext ctx;
        CleanupRow row(ctx.desktop());
        row.setItem(item, false, false);
        test::settle(&row, {4000, 72});
        QApplication::setActiveWindow(&row);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&row));
        row.setFocus(Qt::TabFocusReason);
        QSignalSpy ticks(&row, &CleanupRow::toggleSelection);
        QTest::keyClick(&row, Qt::Key_Space);
        QTest::mouseClick(&row, Qt::LeftButton, {}, row.checkRect().center());
        EXPECT_EQ(ticks.count(), 0);
        (void)row.grab();
        EXPECT_EQ(row.detailLines().join(' ').toStdString(), item.detail);
        QHelpEvent hover(QEvent::ToolTip, row.checkRect().center(), row.mapToGlobal(row.checkRect().center()));
        QApplication::sendEvent(&row, &hover);
        EXPECT_EQ(QToolTip::isVisible() ? QToolTip::text().toStdString() : std::string(),
                  "Sorvel offers none of this, for the reason given");
        QToolTip::hideText();
    }
}

// A recommendation that only lists what the policy refuses (the system's crash folders)
// offers nothing: no tick, its paths listed with why when opened, its tick box says so.
TEST(CleanupRowRefused, ListsWhatThePolicyRefusesAndOffersNothing) {
    CleanupItem item = itemWith({});
    item.refused.push_back({UUID::random(), "crash", "/tmp/target-crash", 41'000'000,
                            std::string("needs administrator rights; Sorvel will report it as refused")});
    test::UiContext ctx;
    CleanupRow row(ctx.desktop());
    row.setItem(item, false, true);
    test::settle(&row, {1000, 200});
    ASSERT_EQ(pathTexts(row).size(), 1u) << "the refused path is not listed";
    EXPECT_EQ(pathTexts(row)[0]->text().toStdString(), "/tmp/target-crash");
    QApplication::setActiveWindow(&row);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&row));
    row.setFocus(Qt::TabFocusReason);
    QSignalSpy ticks(&row, &CleanupRow::toggleSelection);
    QSignalSpy opens(&row, &CleanupRow::toggleExpansion);
    QTest::keyClick(&row, Qt::Key_Space);
    QTest::keyClick(&row, Qt::Key_Return);
    EXPECT_EQ(ticks.count(), 0);
    EXPECT_EQ(opens.count(), 1) << "Return opens the list of what is refused";
    QHelpEvent hover(QEvent::ToolTip, row.checkRect().center(), row.mapToGlobal(row.checkRect().center()));
    QApplication::sendEvent(&row, &hover);
    EXPECT_EQ(QToolTip::isVisible() ? QToolTip::text().toStdString() : std::string(),
              "Sorvel may not move these, for the reason given under each");
    QToolTip::hideText();
}
