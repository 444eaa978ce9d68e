// The duplicates page on a fake home: default ticks leave hard links alone, the kept copy
// has no tick box, 120 cards at a time with figures over every group and nothing unseen ticked, Escape leaves the
// confirmation, a real removal is recorded, and what was left alone is said with reasons.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QTest>

#include <unistd.h>

#include <cstdlib>

#include "analysis/DuplicateFixtures.h"
#include "engine/Bytes.h"
#include "removal/SweepHistory.h"
#include "tools/ToolPageTesting.h"
#include "tools/ToolWorld.h"
#include "ui/kit/Button.h"
#include "ui/kit/CheckBox.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/PageHost.h"
#include "ui/tools/DuplicatesView.h"

using namespace sorvel;
using namespace sorvel::test;
using Stage = DuplicatesModel::Stage;

namespace {

struct Page {
    UiContext ctx;
    DuplicatesModel& model = ctx.models().duplicates;
    std::string folder = ctx / "Projects";
    std::unique_ptr<ui::DuplicatesView> view;

    Page() {
        view = std::make_unique<ui::DuplicatesView>(model, ctx.desktop());
        view->resize(1000, 800);
        view->show();
        turn();
    }
    void scan() {
        model.scan(folder);
        ASSERT_TRUE(waitUntil([&] { return !model.isScanning(); }));
        view->flush();
    }
};

} // namespace

TEST(DuplicatesPage, HardLinksStartUntickedAndTheKeptCopyHasNoTickBox) {
    Page page;
    const std::string two(2'000'000, 'a');
    writeFile(page.folder + "/a/one.bin", two);
    writeFile(page.folder + "/b/one.bin", two);
    writeFile(page.folder + "/links/x.bin", std::string(3'000'000, 'x'));
    ASSERT_EQ(::link((page.folder + "/links/x.bin").c_str(), (page.folder + "/links/y.bin").c_str()), 0);
    page.scan();
    ASSERT_EQ(page.view->cards(), 2);
    for (const auto& group : page.model.report().groups) {
        EXPECT_EQ(page.view->checkBox(group.files[0].path), nullptr); // kept: a KEEP chip instead
        auto* copy = page.view->checkBox(group.files[1].path);
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->isChecked(), group.kind == DuplicateGroup::Kind::independentCopies);
    }
    // The kept copy stays unticked whatever is asked of the model.
    const auto& group = page.model.report().groups.front();
    page.model.toggle(group.files[0], group);
    EXPECT_EQ(page.model.selectedPaths().count(group.files[0].path), 0u);
}

TEST(DuplicatesPage, SetsBeyondTheFirst120StartUntickedAndCanAllBeShown) {
    Page page;
    page.model.setOptionsForTesting([] {
        DuplicateFinder::Options o;
        o.minimumSize = 1;
        return o;
    });
    for (int i = 0; i < 150; ++i) {
        const std::string content = "group " + std::to_string(i) + std::string(100, char('a' + i % 26));
        writeFile(page.folder + "/g" + std::to_string(i) + "/a", content);
        writeFile(page.folder + "/g" + std::to_string(i) + "/b", content);
    }
    page.scan();
    ASSERT_EQ(page.model.report().groups.size(), 150u);
    EXPECT_EQ(page.view->cards(), 120);
    auto figures = named(page.view.get(), "figure");
    ASSERT_EQ(figures.size(), 3u);
    EXPECT_EQ(figures[2]->findChildren<ui::Text*>().front()->text(), "150");
    // Nothing moves unseen: only copies in the 120 shown sets are ticked, and the footer and
    // the move say so.
    const auto& groups = page.model.report().groups;
    EXPECT_EQ(page.model.selected().size(), 120u);
    for (size_t i = 120; i < groups.size(); ++i)
        EXPECT_EQ(page.model.selectedPaths().count(groups[i].files[1].path), 0u) << i;
    bool countSaid = false;
    for (auto* t : page.view->findChildren<ui::Text*>()) countSaid |= t->text() == "120 copies selected";
    EXPECT_TRUE(countSaid);
    auto* more = one<ui::Button>(page.view.get(), "showMoreSets");
    ASSERT_NE(more, nullptr);
    more->click();
    page.view->flush();
    EXPECT_EQ(page.view->cards(), 150);
    EXPECT_TRUE(named<ui::Button>(page.view.get(), "showMoreSets").empty());
    auto* late = page.view->checkBox(groups[140].files[1].path);
    ASSERT_NE(late, nullptr);
    EXPECT_FALSE(late->isChecked());
    late->click();
    EXPECT_EQ(page.model.selected().size(), 121u);
    one<ui::Button>(page.view.get(), "moveToTrash")->click();
    page.view->flush();
    EXPECT_EQ(one<ui::Button>(page.view.get(), "confirmMove")->text(), "Move 121 to Trash");
}

TEST(DuplicatesPage, EscapeLeavesTheConfirmationWithTheTicksAsTheyWere) {
    Page page;
    const std::string two(2'000'000, 'a');
    writeFile(page.folder + "/a.bin", two);
    writeFile(page.folder + "/b.bin", two);
    page.scan();
    const auto ticks = page.model.selectedPaths();
    one<ui::Button>(page.view.get(), "moveToTrash")->click();
    EXPECT_EQ(page.model.stage(), Stage::confirming);
    page.view->flush();
    EXPECT_EQ(one<ui::Button>(page.view.get(), "confirmMove")->text(), "Move 1 to Trash");
    QTest::keyClick(page.view.get(), Qt::Key_Escape);
    EXPECT_EQ(page.model.stage(), Stage::results);
    EXPECT_EQ(page.model.selectedPaths(), ticks);
}

TEST(DuplicatesPage, NothingTickedKeepsMoveDisabled) {
    Page page;
    const std::string two(2'000'000, 'a');
    writeFile(page.folder + "/a.bin", two);
    writeFile(page.folder + "/b.bin", two);
    page.scan();
    page.view->checkBox(page.model.report().groups[0].files[1].path)->click();
    auto* move = one<ui::Button>(page.view.get(), "moveToTrash");
    EXPECT_FALSE(move->isEnabled());
    move->click();
    EXPECT_EQ(page.model.stage(), Stage::results);
}

TEST(DuplicatesPage, ARealRemovalMovesTheTickedCopiesAndIsRecorded) {
    Page page;
    const std::string two(2'000'000, 'a');
    writeFile(page.folder + "/a.bin", two);
    writeFile(page.folder + "/b.bin", two);
    writeFile(page.folder + "/c.bin", two);
    page.scan();
    one<ui::Button>(page.view.get(), "moveToTrash")->click();
    page.view->flush();
    one<ui::Button>(page.view.get(), "confirmMove")->click();
    ASSERT_TRUE(waitUntil([&] { return page.model.stage() == Stage::done; }));
    page.view->flush();
    const auto& files = page.model.report().groups[0].files;
    EXPECT_TRUE(exists(files[0].path));
    EXPECT_FALSE(exists(files[1].path));
    EXPECT_FALSE(exists(files[2].path));
    EXPECT_EQ(textOf(page.view.get(), "doneTitle"), "Moved 2 copies to the Trash");
    EXPECT_TRUE(named(page.view.get(), "leftAlone").empty());
    const auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs.front().scope, "duplicate copies you picked");
    EXPECT_EQ(runs.front().moved.size(), 2u);
    // "Scan again" searches the same folder.
    one<ui::Button>(page.view.get(), "scanAgain")->click();
    EXPECT_EQ(page.model.scannedRoot(), page.folder);
}

TEST(DuplicatesPage, CopiesThatCouldNotMoveAreCountedWithTheirReasons) {
    Page page;
    const std::string two(2'000'000, 'a');
    writeFile(page.folder + "/a.bin", two);
    writeFile(page.folder + "/b.bin", two);
    writeFile(page.folder + "/c.bin", two);
    page.scan();
    // One ticked copy vanishes before the move.
    ::unlink(page.model.report().groups[0].files[2].path.c_str());
    page.model.removeSelected();
    ASSERT_TRUE(waitUntil([&] { return page.model.stage() == Stage::done; }));
    page.view->flush();
    EXPECT_EQ(textOf(page.view.get(), "doneTitle"), "Moved 1 copy to the Trash");
    EXPECT_EQ(textOf(page.view.get(), "leftAlone"), "1 copy was left alone:");
}

// A copy the move would refuse shows the guard's reason on its row and a tick that cannot be given.
TEST(DuplicatesPage, ACopyInAProtectedPlaceSaysWhyItIsLeftAlone) {
    Page page;
    const std::string two(2'000'000, 'p');
    writeDated(page.folder + "/IMG_0001.jpg", two, 1'400'000'000);
    writeDated(page.ctx / "Pictures/trip/IMG_0001.jpg", two, 1'450'000'000); // kept: never moved, the older
    const std::string copy = page.ctx / "Pictures/IMG_0001 copy.jpg";
    writeDated(copy, two, 1'500'000'000);
    page.folder = page.ctx.home();
    page.scan();
    EXPECT_EQ(textOf(page.view.get(), "refusedReason"), "Left alone: protected location (~/Pictures)");
    EXPECT_EQ(page.view->checkBox(copy), nullptr) << "no tick box that could be ticked";
    EXPECT_EQ(page.model.selected().size(), 1u);
}

// The card's figure and its rows count what can move: the copy in the pictures frees nothing
// there, and the note over the figures names the bytes it holds beside the shared ones.
TEST(DuplicatesPage, ACardCountsOnlyTheCopiesThatCanMove) {
    Page page;
    const std::string two(2'000'000, 'p');
    writeDated(page.ctx / "Pictures/album/IMG_0002.jpg", two, 1'400'000'000);
    const std::string kept = page.ctx / "Pictures/IMG_0002 copy.jpg";
    writeDated(kept, two, 1'450'000'000);
    writeDated(page.ctx / "Downloads/IMG_0002.jpg", two, 1'500'000'000);
    page.folder = page.ctx.home();
    page.scan();
    ASSERT_EQ(page.model.report().groups.size(), 1u);
    const DuplicateGroup& group = page.model.report().groups[0];
    ASSERT_EQ(group.files.size(), 3u);
    ASSERT_EQ(group.files[1].path, kept);
    const std::string frees = Bytes::format(group.files[2].privateSize);
    EXPECT_EQ(textOf(page.view.get(), "cardFigure"), frees);
    const auto amounts = named<ui::Text>(page.view.get(), "amount");
    ASSERT_EQ(amounts.size(), 3u);
    EXPECT_EQ(amounts[1]->text().toStdString(), "never moved");
    EXPECT_EQ(amounts[2]->text().toStdString(), "frees " + frees);
    const std::string note = textOf(page.view.get(), "apparentNoteText");
    EXPECT_EQ(note.rfind(Bytes::format(group.files[1].privateSize) + " of that apparent saving lies in 1 copy Sorvel "
                         "never moves", 0), 0u) << note;
}

TEST(DuplicatesPage, StopDuringASecondSearchShowsTheFirstReportsFolder) {
    Page page;
    const std::string two(2'000'000, 'a');
    writeFile(page.folder + "/a.bin", two);
    writeFile(page.folder + "/b.bin", two);
    page.scan();
    page.model.scan(page.ctx / "Elsewhere");
    page.view->flush();
    EXPECT_EQ(page.view->findChild<ui::Text*>("folderLine")->text(), "~/Elsewhere");
    // Stopped before the search can hand anything back (no event is processed in between).
    auto* stop = page.view->findChild<ui::Button*>("stop");
    ASSERT_NE(stop, nullptr);
    stop->click();
    page.view->flush();
    EXPECT_EQ(textOf(page.view.get(), "folderLine"), "~/Projects");
    EXPECT_EQ(page.view->cards(), 1);
}

// In the window, scrolled down to the footer: each stage's control replaces the one that
// acted where it stood, and takes its focus, by mouse and from the keyboard.
TEST(DuplicatesPage, EachStagesControlStandsWhereTheOneThatActedStood) {
    for (const bool keyboard : {false, true}) {
        SCOPED_TRACE(keyboard ? "from the keyboard" : "by mouse");
        UiContext ctx;
        auto& model = ctx.models().duplicates;
        model.setOptionsForTesting([] {
            DuplicateFinder::Options o;
            o.minimumSize = 1;
            return o;
        });
        for (int i = 0; i < 12; ++i) {
            const std::string content = "set " + std::to_string(i) + std::string(100, 'x');
            writeFile(ctx / ("Projects/g" + std::to_string(i) + "/a"), content);
            writeFile(ctx / ("Projects/g" + std::to_string(i) + "/b"), content);
        }
        ctx.coordinator().show(Tool::duplicates);
        ui::MainWindow window(ctx.models(), ui::MainWindow::Startup{});
        settle(&window, {1340, 880});
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        model.scan(ctx / "Projects");
        ASSERT_TRUE(waitUntil([&] { return model.stage() == Stage::results && button(&window, "Move to Trash\u2026"); }));
        auto& host = window.pageHost();
        ASSERT_TRUE(waitUntil([&] { return host.verticalScrollBar()->maximum() > 0; }));
        host.verticalScrollBar()->setValue(host.verticalScrollBar()->maximum());
        const auto top = [&](QWidget* w) { return w->mapTo(host.viewport(), QPoint()).y(); };
        // Each press and the control that must then stand where the pressed one was: the step
        // that moves starts on Cancel.
        const std::pair<const char*, const char*> steps[] = {
            {"moveToTrash", "cancel"}, {"cancel", "moveToTrash"}, {"moveToTrash", "cancel"},
            {"confirmMove", "scanAgain"}};
        for (const auto& [press, next] : steps) {
            SCOPED_TRACE(std::string(press) + " then " + next);
            auto* pressed = one<ui::Button>(&window, press);
            ASSERT_NE(pressed, nullptr);
            const int at = top(pressed);
            const int centre = at + pressed->height() / 2;
            ASSERT_TRUE(at >= 0 && at + pressed->height() <= host.viewport()->height());
            if (keyboard) {
                pressed->setFocus(Qt::TabFocusReason);
                QTest::keyClick(pressed, Qt::Key_Return);
            } else {
                QTest::mouseClick(pressed, Qt::LeftButton, {}, pressed->rect().center());
            }
            ui::Button* shown = nullptr;
            ASSERT_TRUE(waitUntil([&] {
                shown = one<ui::Button>(&window, next);
                return shown && shown->isVisible() && QApplication::focusWidget() == shown;
            })) << "focus on " << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString() : "nothing");
            turn();
            const int now = top(shown);
            EXPECT_TRUE(now >= 0 && now + shown->height() <= host.viewport()->height()) << now;
            if (std::string(next) != "scanAgain") {
                // The page keeps its length until the move; buttons of a row share a centre line.
                EXPECT_LE(std::abs(now + shown->height() / 2 - centre), 1);
            }
        }
    }
}
