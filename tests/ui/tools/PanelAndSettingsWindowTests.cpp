// The sweep panel and the settings window: the status line and the findings list, the
// schedule written only when it changes, rule toggles that ignore rules no longer
// listed, folders that would expose the home, the update button's title by state, and
// "Settings…" finding the window titled "Sorvel Settings".
#include <gtest/gtest.h>

#include <QDialog>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QScreen>
#include <QSignalSpy>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <unistd.h>

#include <chrono>
#include <future>

#include "models/SettingsSaver.h"
#include "platform/BundleInfo.h"
#include "tools/ToolPageTesting.h"
#include "tools/ToolWorld.h"
#include "ui/kit/Button.h"
#include "ui/kit/LazyColumn.h"
#include "ui/kit/SegmentedPicker.h"
#include "ui/kit/Switch.h"
#include "ui/kit/Theme.h"
#include "ui/shell/SorvelApp.h"
#include "ui/shell/ToolWindows.h"
#include "ui/shell/TrayItem.h"
#include "ui/tools/HistoryRules.h"
#include "ui/tools/MenuBarView.h"
#include "ui/tools/SettingsRules.h"
#include "ui/tools/SweepSettingsView.h"

using namespace sorvel;
using namespace sorvel::test;
using Selection = SweepSchedule::RuleSelection;

namespace {

void pick(ui::SegmentedPicker* picker, int index) {
    QTest::mouseClick(picker, Qt::LeftButton, {}, picker->optionRect(index).center());
}

std::vector<std::pair<std::string, int64_t>> findings(const UiContext& ctx, int n) {
    std::vector<std::pair<std::string, int64_t>> list;
    for (int i = 0; i < n; ++i) list.push_back({ctx / ("Library/Caches/c" + std::to_string(i)), 1'000'000 * (i + 1)});
    return list;
}

// `n` folders of 100 KB each that are on disk, and a scheduler whose sweep (already run, by
// `trigger`) found them: the panel lists only what is there.
std::unique_ptr<SweepScheduler> sweptFolders(const UiContext& ctx, int n, SweepRun::Trigger trigger) {
    auto list = findings(ctx, n);
    for (auto& [path, size] : list) {
        writeFileOfSize(path + "/blob", 100'000);
        size = independentTotal(path);
    }
    auto sweeper = sweeperFinding(list);
    sweeper->run(trigger);
    waitUntil([&] { return !sweeper->isRunning(); });
    return sweeper;
}

// How far a widget's own painting, laid on white, stands out from the white.
long ink(QWidget* w) {
    QImage image(w->size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.drawPixmap(0, 0, w->grab());
    p.end();
    long total = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) total += 255 - qGray(image.pixel(x, y));
    return total;
}

} // namespace

// With nothing ticked the move button is painted faint, and at full strength again once a
// finding is ticked: the painted result, not the requested opacity.
TEST(SweepPanel, TheMoveButtonIsPaintedFaintOnlyWithNothingTicked) {
    UiContext ctx;
    auto sweeper = sweeperFinding(findings(ctx, 3));
    sweeper->run(SweepRun::Trigger::manual);
    ASSERT_TRUE(waitUntil([&] { return !sweeper->isRunning(); }));
    ui::MenuBarView panel(*sweeper, {});
    panel.resize(380, 600);
    panel.flush();
    auto* move = one<ui::Button>(&panel, "moveFindings");
    const long ticked = ink(move);
    ASSERT_GT(ticked, 0);
    one<QAbstractButton>(&panel, "selectAll")->click();
    panel.flush();
    const long none = ink(move);
    EXPECT_LT(none, ticked * 3 / 4);
    QTest::mouseClick(named(&panel, "findingRow")[0], Qt::LeftButton);
    panel.flush();
    EXPECT_GT(ink(move), ticked * 9 / 10);
}

TEST(SweepPanel, FindingsListHeightTicksAndTheMoveButton) {
    UiContext ctx;
    auto sweeper = sweeperFinding(findings(ctx, 10));
    sweeper->run(SweepRun::Trigger::manual);
    ASSERT_TRUE(waitUntil([&] { return !sweeper->isRunning(); }));
    ui::MenuBarView panel(*sweeper, {});
    panel.flush();
    EXPECT_EQ(one<ui::LazyColumn>(&panel, "findingsList")->height(), 200);
    EXPECT_EQ(named(&panel, "findingRow").size(), 10u);
    auto* selectAll = one<QAbstractButton>(&panel, "selectAll");
    EXPECT_EQ(selectAll->text(), "Deselect all"); // a fresh sweep ticks every finding
    selectAll->click();
    EXPECT_TRUE(sweeper->selectedPaths().empty());
    panel.flush();
    auto* move = one<ui::Button>(&panel, "moveFindings");
    EXPECT_EQ(move->text(), "Move 0 KB to Trash");
    EXPECT_FALSE(move->isEnabled());
    // A click anywhere on a row ticks it, in place: the scrolled list is not rebuilt.
    const int builds = panel.builds();
    QTest::mouseClick(named(&panel, "findingRow")[2], Qt::LeftButton);
    EXPECT_EQ(sweeper->selectedPaths().size(), 1u);
    panel.flush();
    EXPECT_EQ(panel.builds(), builds);
    EXPECT_EQ(one<ui::Button>(&panel, "moveFindings")->text(), "Move 3 MB to Trash");
    EXPECT_EQ(one<QAbstractButton>(&panel, "selectAll")->text(), "Select all");
}

TEST(SweepPanel, TheWindowShrinksToItsContentAfterAMove) {
    UiContext ctx;
    auto sweeper = sweptFolders(ctx, 6, SweepRun::Trigger::manual);
    ASSERT_FALSE(sweeper->isRunning());
    const ui::AppModels& m = ctx.models();
    ui::AppModels models{m.coordinator, m.appearance, *sweeper, m.apps, m.duplicates, m.history, m.updates, m.desktop};
    ui::TrayItem tray(models);
    tray.showPanel(true); // no tray: a window from the menu
    QWidget* window = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->findChild<ui::MenuBarView*>()) window = w;
    ASSERT_NE(window, nullptr);
    QCoreApplication::processEvents();
    const int before = window->height();

    sweeper->cleanSelected();
    ASSERT_TRUE(waitUntil([&] { return !sweeper->isCleaning(); }));
    ASSERT_TRUE(sweeper->actionableFindings().empty());
    window->findChild<ui::MenuBarView*>()->flush();
    ASSERT_TRUE(waitUntil([&] { return window->height() < before; }, 2000));
    auto* content = window->findChild<ui::MenuBarView*>();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->height(), content->sizeHint().height()) << "a blank area below the content";
}

// "Sweep now" is a sweep the user started by hand: History names it "Manual", whichever
// window its button is in.
TEST(SweepPanel, SweepNowIsRecordedAsManual) {
    UiContext ctx;
    auto triggers = std::make_shared<std::vector<SweepRun::Trigger>>();
    SweepScheduler::Dependencies deps;
    deps.notifications = UserNotifications::none();
    deps.runner = [triggers](const SweepSchedule&, SweepRun::Trigger trigger) {
        triggers->push_back(trigger);
        return SweepRunner::Outcome{};
    };
    SweepScheduler sweeper(deps);
    ui::MenuBarView panel(sweeper, {});
    one<ui::Button>(&panel, "sweepNow")->click();
    ASSERT_TRUE(waitUntil([&] { return !sweeper.isRunning(); }));
    ASSERT_EQ(*triggers, std::vector<SweepRun::Trigger>{SweepRun::Trigger::manual});
    SweepRun run;
    run.trigger = triggers->front();
    EXPECT_NE(HistoryRules::runSubtitle(run).find("Manual"), std::string::npos) << HistoryRules::runSubtitle(run);
}

TEST(SweepPanel, StatusLineAndSweepButtonFollowTheScheduler) {
    UiContext ctx;
    auto& sweeper = ctx.models().sweeper;
    ui::MenuBarView panel(sweeper, {});
    EXPECT_EQ(textOf(&panel, "statusLine"), "Automatic sweeps are off");
    EXPECT_EQ(textOf(&panel, "receiptHeadline"), "<missing receiptHeadline>");
    EXPECT_TRUE(named(&panel, "findingsList").empty());
    SweepSchedule s = sweeper.schedule();
    s.frequency = SweepSchedule::Frequency::daily;
    sweeper.setSchedule(s); // no sweep yet: one is due at once
    ASSERT_TRUE(waitUntil([&] { return !sweeper.isRunning() && sweeper.nextRunDate().has_value(); }));
    panel.flush();
    EXPECT_EQ(textOf(&panel, "statusLine").rfind("Next sweep in ", 0), 0u);
}

TEST(SweepPanel, ChoosingTheSelectedFrequencyStoresNothing) {
    UiContext ctx;
    auto& sweeper = ctx.models().sweeper;
    ui::MenuBarView panel(sweeper, {});
    QSignalSpy changes(&sweeper, &SweepScheduler::scheduleChanged);
    pick(one<ui::SegmentedPicker>(&panel, "frequency"), 0); // "Off" again
    EXPECT_EQ(changes.count(), 0);
    EXPECT_FALSE(UserDefaults::standard().value("SorvelSweepSchedule").has_value());
    pick(one<ui::SegmentedPicker>(&panel, "frequency"), 2); // "Weekly"
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(sweeper.schedule().frequency, SweepSchedule::Frequency::weekly);
    Models::waitForSettings();
    EXPECT_TRUE(UserDefaults::standard().value("SorvelSweepSchedule").has_value());
    waitUntil([&] { return !sweeper.isRunning(); });
}

TEST(SweepPanel, SettingsFindsTheWindowTitledSorvelSettings) {
    UiContext ctx;
    EXPECT_EQ(ui::SweepSettingsView::findWindow(), nullptr);
    std::unique_ptr<QWidget> panel(ui::TrayItem::panelContent(ctx.models(), nullptr));
    one<ui::Button>(panel.get(), "openSettings")->click();
    QWidget* window = ui::SweepSettingsView::findWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Sorvel Settings");
    EXPECT_TRUE(window->isVisible());
    window->hide();
    // Asked again, the same window comes forward; no second one is made.
    ui::ToolWindows::openSettingsFromPanel(ctx.models());
    EXPECT_EQ(ui::SweepSettingsView::findWindow(), window);
    EXPECT_TRUE(window->isVisible());
    size_t titled = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) titled += w->windowTitle() == "Sorvel Settings";
    EXPECT_EQ(titled, 1u);
    waitUntil([] { return false; }, 200); // the delayed bring-forward runs on a live window
    delete window;
}

struct RulesScanned : UiContext { // a scan that listed the sample rules
    RulesScanned() { recommendations = sampleRecommendations(), finishScan(sampleResult()); }
};

TEST(SettingsWindow, RuleRowsIgnoreRulesTheScanNoLongerLists) {
    RulesScanned ctx;
    auto& sweeper = ctx.models().sweeper;
    ui::SweepSettingsView settings(ctx.coordinator(), sweeper, ctx.updates());
    auto rows = named(&settings, "ruleRow");
    ASSERT_GE(rows.size(), 2u);
    std::vector<std::string> listed;
    for (auto* row : rows) listed.push_back(row->property("ruleID").toString().toStdString());
    // Every listed rule but the last, plus one the scan no longer lists: as many ids as rows.
    std::set<std::string> ids(listed.begin(), listed.end() - 1);
    ids.insert("gone");
    SweepSchedule s = sweeper.schedule();
    s.rules = Selection::only(ids);
    sweeper.setSchedule(s);
    settings.flush();
    rows = named(&settings, "ruleRow");
    // Ticking the first again after unticking it must not switch to all safe rules.
    QTest::mouseClick(rows[0], Qt::LeftButton);
    QTest::mouseClick(rows[0], Qt::LeftButton);
    EXPECT_FALSE(sweeper.schedule().rules.isAllSafeRules());
    EXPECT_EQ(sweeper.schedule().rules.ids.count(listed.back()), 0u);
    settings.flush();
    QTest::mouseClick(named(&settings, "ruleRow").back(), Qt::LeftButton);
    EXPECT_TRUE(sweeper.schedule().rules.isAllSafeRules());
    EXPECT_EQ(textOf(&settings, "rulesFootnote").rfind("All safe rules run.", 0), 0u);
}

// Space on a rule row ticks it; the rebuilt list gives the focus and its ring back to that row.
TEST(SettingsWindow, SpaceOnARuleRowLeavesTheFocusOnThatRow) {
    RulesScanned ctx;
    auto& rules = ctx.models().sweeper.schedule().rules;
    ui::SweepSettingsView settings(ctx.coordinator(), ctx.models().sweeper, ctx.updates());
    settings.show();
    QApplication::setActiveWindow(&settings);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&settings));
    ASSERT_GE(named(&settings, "ruleRow").size(), 3u);
    for (size_t i : {2, 1, 2}) {
        QWidget* row = named(&settings, "ruleRow")[i];
        const QString id = row->property("ruleID").toString();
        const bool ticked = SettingsRules::isTicked(rules, id.toStdString());
        row->setFocus(Qt::TabFocusReason);
        QTest::keyClick(row, Qt::Key_Space);
        EXPECT_NE(SettingsRules::isTicked(rules, id.toStdString()), ticked) << i;
        settings.flush();
        EXPECT_TRUE(waitUntil([&] {
            QWidget* now = QApplication::focusWidget();
            return now && now->property("ruleID").toString() == id && test::ringFitsNow(now);
        })) << "row " << i;
    }
}

TEST(SettingsWindow, FoldersThatHoldTheHomeAreRefusedWithAMessage) {
    UiContext ctx;
    auto& sweeper = ctx.models().sweeper;
    ui::SweepSettingsView settings(ctx.coordinator(), sweeper, ctx.updates());
    std::optional<std::string> answer = ctx.home();
    settings.setFolderChooser([&](QWidget*) { return answer; });
    auto add = [&] { // the scheduler's own check runs on a worker
        settings.addFolder();
        EXPECT_TRUE(waitUntil([&] { return sweeper.checkingFolders().empty(); }));
        settings.flush();
    };
    one<ui::Button>(&settings, "addFolder")->click();
    EXPECT_TRUE(sweeper.schedule().folders.empty());
    ASSERT_TRUE(settings.folderMessage());
    settings.flush();
    EXPECT_NE(textOf(&settings, "folderMessage").find("holds your whole home folder"), std::string::npos);
    answer = "/";
    add();
    EXPECT_TRUE(sweeper.schedule().folders.empty());
    // A link that leads to the root is the root.
    ASSERT_EQ(::symlink("/", (ctx / "everything").c_str()), 0);
    answer = ctx / "everything";
    add();
    EXPECT_TRUE(sweeper.schedule().folders.empty());
    EXPECT_TRUE(settings.folderMessage());
    // The Library folder is refused as well, with the scheduler's reason.
    answer = ctx / "Library";
    add();
    EXPECT_TRUE(sweeper.schedule().folders.empty());
    ASSERT_TRUE(settings.folderMessage());
    EXPECT_NE(settings.folderMessage()->find("is your Library folder"), std::string::npos);
    answer = ctx / "Builds";
    add();
    add(); // already listed: no second entry, no message
    EXPECT_EQ(sweeper.schedule().folders, std::vector<std::string>{ctx / "Builds"});
    EXPECT_FALSE(settings.folderMessage());
    one<QAbstractButton>(&settings, "removeFolder")->click();
    EXPECT_TRUE(sweeper.schedule().folders.empty());
}

// A folder check that hangs (as behind a hung mount) keeps the window in use, and one that
// never answers ends, past its deadline, in its refusal instead of "Checking…" for ever.
TEST(SettingsWindow, AFolderBeingCheckedIsShownAndEndsInItsAnswerOrItsRefusal) {
    const struct {
        const char* what;
        std::optional<std::chrono::milliseconds> deadline; // none: the gate opens first
        const char* message;
        std::vector<std::string> folders;
    } cases[] = {
        {"answers once let go", std::nullopt, "", {"Builds"}},
        {"never answers", std::chrono::milliseconds(100),
         "\u201C~/Builds\u201D did not answer in time (its disk may be disconnected or not responding), so it was "
         "not added. Try again once it answers.",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        UiContext ctx;
        std::promise<void> gate; // held as behind a hung mount until let go
        SweepScheduler::Dependencies deps;
        deps.runner = [](const SweepSchedule&, SweepRun::Trigger) { return SweepRunner::Outcome{}; };
        deps.folderCheck = [opened = gate.get_future().share()](const std::string&) -> std::optional<std::string> {
            opened.wait_for(std::chrono::seconds(20));
            return std::nullopt;
        };
        if (c.deadline) deps.folderCheckDeadline = *c.deadline;
        SweepScheduler sweeper(deps);
        ui::SweepSettingsView settings(ctx.coordinator(), sweeper, ctx.updates());
        settings.setFolderChooser([&](QWidget*) { return std::optional<std::string>(ctx / "Builds"); });
        settings.addFolder();
        settings.flush();
        EXPECT_EQ(textOf(&settings, "checkingFolder"), "Checking \u201C~/Builds\u201D\u2026");
        pick(one<ui::SegmentedPicker>(&settings, "frequency"), 1); // answers meanwhile
        EXPECT_EQ(sweeper.schedule().frequency, SweepSchedule::Frequency::daily);
        if (!c.deadline) gate.set_value();
        ASSERT_TRUE(waitUntil([&] { return sweeper.checkingFolders().empty(); }));
        settings.flush();
        EXPECT_TRUE(named(&settings, "checkingFolder").empty());
        if (*c.message) {
            EXPECT_EQ(textOf(&settings, "folderMessage"), c.message);
        }
        std::vector<std::string> expected;
        for (const auto& f : c.folders) expected.push_back(ctx / f);
        EXPECT_EQ(sweeper.schedule().folders, expected);
        if (c.deadline) gate.set_value();
        sweeper.stop();
    }
}

TEST(SettingsWindow, TheCheckButtonFollowsTheUpdateState) {
    UiContext ctx;
    auto dictionary = BundleInfo::builtInDictionary();
    dictionary["SorvelUpdateFeedURL"] = "https://updates.example.org/sorvel.json";
    BundleInfo::replaceDictionary(dictionary);
    std::vector<UpdateChecker::Completion> pending;
    UpdateChecker updates([&](const QUrl&, UpdateChecker::Completion done) { pending.push_back(std::move(done)); },
                          [](const QUrl&) {});
    ui::SweepSettingsView settings(ctx.coordinator(), ctx.models().sweeper, updates);
    auto label = [&] {
        settings.flush();
        return one<ui::Button>(&settings, "checkNow")->text().toStdString();
    };
    EXPECT_EQ(label(), "Check now");
    one<ui::Button>(&settings, "checkNow")->click();
    EXPECT_EQ(label(), "Checking\u2026");
    EXPECT_FALSE(one<ui::Button>(&settings, "checkNow")->isEnabled());
    ASSERT_EQ(pending.size(), 1u);
    Release release;
    release.version = "99.0";
    release.build = 99'999;
    release.url = "https://updates.example.org/sorvel-99.tar.gz";
    pending[0](UpdateChecker::FetchResult::success(release));
    ASSERT_TRUE(waitUntil([&] { return updates.state().kind != UpdateChecker::State::Kind::checking; }));
    EXPECT_EQ(label(), "Version 99.0 available");
    one<ui::Button>(&settings, "checkNow")->click(); // checks again rather than opening a page
    ASSERT_EQ(pending.size(), 2u);
    pending[1](UpdateChecker::FetchResult::failure("offline"));
    ASSERT_TRUE(waitUntil([&] { return updates.state().kind != UpdateChecker::State::Kind::checking; }));
    EXPECT_EQ(label(), "Check again");
    BundleInfo::replaceDictionary(std::nullopt);
    UpdateChecker unconfigured([](const QUrl&, UpdateChecker::Completion) {}, [](const QUrl&) {});
    ui::SweepSettingsView plain(ctx.coordinator(), ctx.models().sweeper, unconfigured);
    EXPECT_FALSE(one<ui::Button>(&plain, "checkNow")->isEnabled());
}

// Without a feed no check runs, whatever the stored choice: the disabled switch is drawn off.
TEST(SettingsWindow, WithoutAFeedTheDailyCheckSwitchIsDrawnOff) {
    UiContext ctx;
    ASSERT_TRUE(!ctx.updates().isConfigured() && ctx.updates().automaticChecks());
    ui::SweepSettingsView settings(ctx.coordinator(), ctx.models().sweeper, ctx.updates());
    settings.show();
    auto* toggle = one<ui::Switch>(&settings, "automaticChecks");
    EXPECT_FALSE(toggle->isEnabled() || toggle->isChecked() || toggle->knobPosition() != 0.0);
    EXPECT_TRUE(ctx.updates().automaticChecks()) << "the stored choice is left alone";
}

TEST(SettingsWindow, CtrlWAndEscapeCloseIt) {
    for (const auto& [key, modifiers] : {std::pair{Qt::Key_W, Qt::ControlModifier}, std::pair{Qt::Key_Escape, Qt::NoModifier}}) {
        SCOPED_TRACE(key);
        UiContext ctx;
        QPointer<QWidget> window = ui::ToolWindows::openSettings(ctx.models());
        ASSERT_TRUE(window);
        QApplication::setActiveWindow(window);
        QTest::keyClick(window, key, modifiers);
        waitUntil([&] { return !window; }, 1000);
        EXPECT_FALSE(window && window->isVisible());
        delete window;
    }
}

TEST(SettingsWindow, ItsFrameOpensOverTheMainWindowAndInsideTheAvailableArea) {
    const QRect area(0, 24, 1366, 744); // a tray along the top
    // The frame's top-left where it cannot be centred on the main window.
    for (const auto& [size, centre, corner] :
         {std::tuple<QSize, QPoint, std::optional<QPoint>>{{522, 641}, {683, 396}, std::nullopt},
          {{522, 641}, {1300, 700}, QPoint(844, 127)}, // main window near the bottom right
          {{522, 641}, {-100, -50}, QPoint(0, 24)},
          {{522, 800}, {683, 396}, QPoint(423, 24)}}) { // taller than the area
        const QRect frame(ui::ToolWindows::framePosition(size, centre, area), size);
        if (corner) EXPECT_EQ(frame.topLeft(), *corner);
        else EXPECT_TRUE(area.contains(frame) && (frame.center() - centre).manhattanLength() <= 2);
    }
}

TEST(SweepPanel, TheWholeFrameStaysOnTheScreenAndIsNeverTallerThanIt) {
    struct Case {
        const char* what;
        QSize content;
        QRect anchor, area;
    };
    const QRect full(0, 0, 1920, 1200), scaled(0, 0, 960, 600);
    for (const Case& c : {Case{"fits below a top tray", {380, 500}, {1800, 0, 24, 24}, full},
                          Case{"taller than a 2x screen", {380, 701}, {900, 0, 24, 24}, scaled},
                          Case{"tray at the bottom", {380, 500}, {1800, 1176, 24, 24}, full},
                          Case{"tray at the right edge", {380, 300}, {1910, 0, 10, 24}, full},
                          Case{"pointer above the screen", {380, 300}, {100, -50, 1, 1}, full}}) {
        const QRect frame = ui::TrayItem::panelFrame(c.content, c.anchor, c.area);
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(c.area.contains(frame)) << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                            << frame.height();
        EXPECT_EQ(frame.size(), QSize(c.content.width(), std::min(c.content.height(), c.area.height())));
    }
    // Below a top tray it hangs under the icon.
    EXPECT_EQ(ui::TrayItem::panelFrame({380, 500}, {1800, 0, 24, 24}, full).top(), 24 + 6);
}

// The panel takes the keyboard as it opens: a control of it has the focus, Escape closes it
// (Ctrl+Q is the application's: XvfbQuit).
TEST(SweepPanel, OpensWithTheFocusOnAControlEscapeCloses) {
    UiContext ctx;
    ui::TrayItem tray(ctx.models());
    tray.showPanel(true);
    QPointer<QWidget> panel = tray.panel();
    ASSERT_NE(panel, nullptr);
    QApplication::setActiveWindow(panel);
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel));
    QWidget* focused = panel->focusWidget();
    ASSERT_TRUE(focused && (focused->focusPolicy() & Qt::TabFocus) && !qobject_cast<QAbstractScrollArea*>(focused));
    QTest::keyClick(focused, Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return !panel || !panel->isVisible(); }, 2000));
}

TEST(SweepPanel, ContentTallerThanTheScreenScrollsToQuit) {
    UiContext ctx;
    ui::TrayItem tray(ctx.models());
    tray.showPanel(true);
    QWidget* panel = tray.panel();
    ASSERT_NE(panel, nullptr);
    auto* content = panel->findChild<ui::MenuBarView*>();
    ASSERT_NE(content, nullptr);
    const QRect area = panel->screen()->availableGeometry();
    // Content taller than the screen, as at 2x scaling.
    content->setMinimumHeight(area.height() + 300);
    content->adjustSize();
    ASSERT_TRUE(waitUntil([&] { return panel->height() < content->height(); }, 2000));
    EXPECT_LE(panel->height(), area.height());
    auto* scroll = panel->findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0) << "the bottom of the panel cannot be reached";
    EXPECT_EQ(panel->windowTitle(), ui::TrayItem::windowTitle) << "without a tray the panel is not a second \"Sorvel\"";
}

TEST(TrayGlyph, FollowsTheDesktopsThemeNotTheAppearanceChosenInSorvel) {
    // The mean grey of the glyph's opaque pixels.
    auto grey = [](const QIcon& icon) {
        const QImage image = icon.pixmap(22, 22).toImage();
        int sum = 0, n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) > 200) sum += qGray(image.pixel(x, y)), ++n;
        return n ? sum / n : -1;
    };
    EXPECT_GT(grey(ui::TrayItem::trayIcon(true)), 200) << "dark tray: a light glyph";
    EXPECT_LT(grey(ui::TrayItem::trayIcon(false)), 60) << "light tray: a dark glyph";
    const bool desktopDark = ui::Theme::systemDefault() == ui::Appearance::dark;
    for (auto chosen : {ui::Appearance::light, ui::Appearance::dark}) {
        ui::Theme::setAppearance(chosen);
        EXPECT_EQ(grey(ui::TrayItem::trayIcon()) > 128, desktopDark) << "chose " << int(chosen);
    }
    ui::Theme::setAppearance(ui::Appearance::light);
}

// After the folder dialog closes, added or dismissed, "Add folder…" has the focus and its ring
// again, and Tab goes on from there rather than from the top of the window.
TEST(SettingsWindow, TheFocusComesBackToAddFolderWhenTheDialogCloses) {
    for (const bool chosen : {true, false}) {
        SCOPED_TRACE(chosen ? "a folder added" : "dismissed");
        UiContext ctx;
        auto& sweeper = ctx.models().sweeper;
        ui::SweepSettingsView settings(ctx.coordinator(), sweeper, ctx.updates());
        settings.show();
        QApplication::setActiveWindow(&settings);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&settings));
        const std::string folder = ctx / "Projects";
        writeFile(folder + "/a.txt", "a");
        settings.setFolderChooser([&](QWidget* parent) -> std::optional<std::string> {
            QDialog dialog(parent); // takes the window and its focus away, as the real one does
            dialog.show();
            QApplication::setActiveWindow(&dialog);
            dialog.hide();
            return chosen ? std::optional(folder) : std::nullopt;
        });
        auto* add = one<ui::Button>(&settings, "addFolder");
        add->setFocus(Qt::TabFocusReason);
        QTest::keyClick(add, Qt::Key_Space);
        EXPECT_TRUE(waitUntil([&] { return sweeper.checkingFolders().empty(); }));
        settings.flush();
        EXPECT_EQ(sweeper.schedule().folders.size(), chosen ? 1u : 0u);
        QWidget* focused = nullptr;
        EXPECT_TRUE(waitUntil([&] {
            focused = QApplication::focusWidget();
            return focused && focused->objectName() == "addFolder" && focused->isVisible() && ringFitsNow(focused);
        })) << (focused ? focused->metaObject()->className() + (" " + focused->objectName().toStdString()) : "no focus");
        if (!focused) continue;
        const int at = focused->mapTo(settings.widget(), QPoint()).y();
        QTest::keyClick(focused, Qt::Key_Tab);
        QWidget* next = QApplication::focusWidget();
        ASSERT_NE(next, nullptr);
        EXPECT_GT(next->mapTo(settings.widget(), QPoint()).y(), at) << "Tab went on from the top";
    }
}

// The window moves what the panel lists: the open panel drops those findings, with no move
// button left that would only be refused; put back from History, they are listed again,
// unticked.
TEST(SweepPanel, FollowsTheWindowsMovesAndPutBacks) {
    UiContext ctx;
    auto sweeper = sweptFolders(ctx, 3, SweepRun::Trigger::scheduled);
    ASSERT_FALSE(sweeper->isRunning());
    const ui::AppModels& m = ctx.models();
    ui::AppModels models{m.coordinator, m.appearance, *sweeper, m.apps, m.duplicates, m.history, m.updates, m.desktop};
    ui::SorvelApp::linkModels(models);
    ui::MenuBarView panel(*sweeper, {});
    panel.show();
    panel.flush();
    ASSERT_EQ(named(&panel, "findingRow").size(), 3u);

    std::vector<CleanupExecutor::PathSize> picked;
    for (const auto& finding : sweeper->actionableFindings()) picked.push_back({finding.path, finding.size});
    ASSERT_EQ(picked.size(), 3u);
    bool moved = false;
    m.coordinator.performCleanup(picked, [&](const std::vector<CleanupOutcome>&) { moved = true; });
    ASSERT_TRUE(waitUntil([&] { return moved && sweeper->actionableFindings().empty(); }));
    panel.flush();
    EXPECT_TRUE(named(&panel, "findingRow").empty());
    EXPECT_TRUE(named(&panel, "moveFindings").empty());

    // The run is put back once its mover has let it go: the list may first show it moving.
    m.history.reload();
    ASSERT_TRUE(waitUntil([&] {
        return !m.history.runs().empty() && !m.history.isMoving(m.history.runs().front().id);
    }));
    m.history.restore(m.history.runs().front());
    ASSERT_TRUE(waitUntil([&] { return sweeper->actionableFindings().size() == 3; }));
    panel.flush();
    EXPECT_EQ(named(&panel, "findingRow").size(), 3u);
    EXPECT_TRUE(sweeper->selectedPaths().empty());
    EXPECT_EQ(one<ui::Button>(&panel, "moveFindings")->text(), "Move 0 KB to Trash");
}

// Pressed after the items left: nothing is tried or written down, and the panel says why.
TEST(SweepPanel, AMoveThatMovedNothingSaysWhyOnThePanel) {
    UiContext ctx;
    auto list = findings(ctx, 2);
    auto sweeper = sweeperFinding(list); // folders that are not (or no longer) there
    sweeper->run(SweepRun::Trigger::scheduled);
    ASSERT_TRUE(waitUntil([&] { return !sweeper->isRunning(); }));
    ui::MenuBarView panel(*sweeper, {});
    panel.flush();
    one<ui::Button>(&panel, "moveFindings")->click();
    ASSERT_TRUE(waitUntil([&] { return !sweeper->isCleaning(); }));
    panel.flush();
    EXPECT_TRUE(SweepHistory::load().empty());
    const std::string note = textOf(&panel, "moveNote");
    EXPECT_EQ(note.rfind("Nothing was moved.\n\u201C" "c0\u201D \u2014 no longer where the sweep found it", 0), 0u) << note;
    EXPECT_TRUE(named(&panel, "moveFindings").empty());
}

// "Check now" does nothing without an update feed: it is drawn faint, as every disabled
// control is, and a click fetches nothing; "Checking…" is as inert but at full ink.
TEST(SettingsWindow, CheckNowWithoutAFeedLooksDisabledAndIgnoresClicks) {
    UiContext ctx;
    int fetches = 0;
    const auto fetch = [&fetches](const QUrl&, UpdateChecker::Completion) { ++fetches; };
    auto dictionary = BundleInfo::builtInDictionary();
    dictionary["SorvelUpdateFeedURL"] = "https://updates.example.org/sorvel.json";
    BundleInfo::replaceDictionary(dictionary);
    UpdateChecker configured(fetch, [](const QUrl&) {});
    ui::SweepSettingsView withFeed(ctx.coordinator(), ctx.models().sweeper, configured);
    withFeed.resize(640, 900);
    withFeed.show();
    withFeed.flush();
    const QString title = one<ui::Button>(&withFeed, "checkNow")->text();
    const QSize size = one<ui::Button>(&withFeed, "checkNow")->size();
    const long on = ink(one<ui::Button>(&withFeed, "checkNow"));
    // Checking: inert, at full ink (its title says what runs).
    one<ui::Button>(&withFeed, "checkNow")->click();
    ASSERT_EQ(fetches, 1);
    withFeed.flush();
    auto* checking = one<ui::Button>(&withFeed, "checkNow");
    EXPECT_FALSE(checking->isEnabled());
    EXPECT_TRUE(checking->isBusy());

    BundleInfo::replaceDictionary(std::nullopt);
    UpdateChecker unconfigured(fetch, [](const QUrl&) {});
    ui::SweepSettingsView plain(ctx.coordinator(), ctx.models().sweeper, unconfigured);
    plain.resize(640, 900);
    plain.show();
    plain.flush();
    auto* check = one<ui::Button>(&plain, "checkNow");
    ASSERT_EQ(check->text(), title);
    ASSERT_EQ(check->size(), size);
    EXPECT_FALSE(check->isBusy());
    EXPECT_LT(ink(check), on * 3 / 4);
    QTest::mouseClick(check, Qt::LeftButton);
    check->click();
    EXPECT_EQ(fetches, 1);
}

// The settings window names the very time the scheduler will sweep at, and follows it; with
// sweeps off it names none.
TEST(SettingsWindow, ShowsTheNextSweepTimeTheSchedulerUses) {
    UiContext ctx;
    auto& sweeper = ctx.models().sweeper;
    ui::SweepSettingsView settings(ctx.coordinator(), sweeper, ctx.updates());
    EXPECT_EQ(textOf(&settings, "nextSweep"), "<missing nextSweep>");
    SweepSchedule s = sweeper.schedule();
    s.frequency = SweepSchedule::Frequency::daily;
    s.hour = 7;
    sweeper.setSchedule(s);
    ASSERT_TRUE(waitUntil([&] { return !sweeper.isRunning() && sweeper.nextRunDate().has_value(); }));
    settings.flush();
    const Date next = *sweeper.nextRunDate();
    EXPECT_EQ(textOf(&settings, "nextSweep"), "Next sweep: " + mediumDateShortTime(next) + ".");
    EXPECT_EQ(shortTime(next), "7:00 AM");
    s.frequency = SweepSchedule::Frequency::off;
    sweeper.setSchedule(s);
    settings.flush();
    EXPECT_EQ(textOf(&settings, "nextSweep"), "<missing nextSweep>");
}
