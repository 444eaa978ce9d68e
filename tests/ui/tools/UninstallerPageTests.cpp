// The uninstaller page on a fake home: the selection triggers never reset ticks, the list
// leaves out sealed apps and Sorvel itself, running apps disable the review, the review
// pane's buttons walk the stages, and a real uninstall moves a fake app to the Trash.
#include <gtest/gtest.h>

#include <QTest>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "analysis/AppInventory.h"
#include "platform/Trash.h"
#include "removal/SweepHistory.h"
#include "support/AppsModelProbe.h"
#include "tools/ToolPageTesting.h"
#include "tools/ToolWorld.h"
#include "ui/kit/Button.h"
#include "ui/kit/CheckBox.h"
#include "ui/tools/AppUninstallerView.h"
#include "ui/tools/RelativeDate.h"

using namespace sorvel;
using namespace sorvel::test;
using Stage = AppsModel::Stage;

namespace {

struct Page {
    UiContext ctx;
    std::vector<InstalledApp> apps = sampleApps(ctx);
    std::shared_ptr<std::vector<std::string>> running = std::make_shared<std::vector<std::string>>();
    std::unique_ptr<AppsModel> model = appsModel(apps, running);
    std::unique_ptr<ui::AppUninstallerView> view;

    void open(std::optional<std::string> detail = std::nullopt) {
        ctx.coordinator().show(Tool::apps, detail);
        view = std::make_unique<ui::AppUninstallerView>(*model, ctx.coordinator(), ctx.desktop());
        view->resize(1000, 800);
        view->show();
        turn();
        view->flush();
    }
    const InstalledApp& orchard() const { return apps[0]; }
};

} // namespace

TEST(UninstallerPage, TheListCountsOnlyAppsThatCanGo) {
    Page page;
    page.open();
    ASSERT_EQ(named(page.view.get(), "appRow").size(), 3u); // not the sealed app, not Sorvel
    std::vector<std::string> values;
    for (auto* figure : named(page.view.get(), "figure"))
        values.push_back(figure->findChildren<ui::Text*>().front()->text().toStdString());
    // Orchard's and Ledger Pro's leftovers only; the sealed app's cache is not counted.
    EXPECT_EQ(values, (std::vector<std::string>{"1.67 GB", "3", "1"}));
}

TEST(UninstallerPage, OpeningARowNavigatesAndShowsTheAppWithItsDefaultTicks) {
    Page page;
    page.open();
    QTest::mouseClick(named(page.view.get(), "appRow").front(), Qt::LeftButton);
    turn();
    page.view->flush();
    EXPECT_EQ(page.ctx.coordinator().selectedCategory(), "tool:apps#" + page.orchard().bundlePath);
    ASSERT_TRUE(page.model->selectedApp());
    EXPECT_EQ(page.model->selectedApp()->name, "Orchard");
    ASSERT_NE(page.view->detailPane(), nullptr);
    EXPECT_TRUE(page.view->detailPane()->checkBox(page.orchard().bundlePath)->isChecked());
    EXPECT_FALSE(page.view->detailPane()->checkBox(page.orchard().leftovers[1].path)->isChecked()); // name only
}

// An app row opens from the keyboard as from a click.
TEST(UninstallerPage, ReturnOnAFocusedRowOpensTheApp) {
    Page page;
    page.open();
    QWidget* row = named(page.view.get(), "appRow").front();
    row->setFocus(Qt::TabFocusReason);
    QTest::keyClick(row, Qt::Key_Return);
    turn();
    EXPECT_EQ(page.ctx.coordinator().selectedCategory(), "tool:apps#" + page.orchard().bundlePath);
}

TEST(UninstallerPage, NoTriggerResetsTheTicksOfTheShownApp) {
    Page page;
    page.open(page.orchard().bundlePath);
    const std::string cache = page.orchard().leftovers[1].path;
    page.view->detailPane()->checkBox(cache)->click();
    ASSERT_TRUE(page.model->selectedPaths().count(cache));
    const auto ticks = page.model->selectedPaths();

    page.view->hide(); // shown again: trigger 1
    page.view->show();
    turn();
    // The same detail again, and an unrelated navigation record: trigger 2.
    page.ctx.coordinator().show(Tool::apps, page.orchard().bundlePath);
    turn();
    // A rescan with the same number of apps: trigger 3 stays quiet, and the model keeps
    // its selection by bundle path.
    AppsModelProbe::setApps(*page.model, page.model->apps());
    turn();
    page.view->flush();
    EXPECT_EQ(page.model->selectedPaths(), ticks);
    EXPECT_TRUE(page.view->detailPane()->checkBox(cache)->isChecked());
}

TEST(UninstallerPage, ADetailNamingNoListedAppShowsTheList) {
    Page page;
    page.open("/Applications/Gone.app");
    EXPECT_FALSE(page.model->selectedApp());
    EXPECT_EQ(named(page.view.get(), "appRow").size(), 3u);
    page.ctx.coordinator().show(Tool::apps, page.apps[1].bundlePath);
    turn();
    page.view->flush();
    ASSERT_TRUE(page.model->selectedApp());
    EXPECT_EQ(page.model->selectedApp()->name, "Ledger Pro");
    EXPECT_EQ(named(page.view.get(), "handoffBlock").size(), 1u);
}

TEST(UninstallerPage, ARunningAppDisablesTheReviewAndTheHandOff) {
    Page page;
    page.running->push_back("com.example.ledger");
    page.open(page.apps[1].bundlePath);
    EXPECT_EQ(named(page.view.get(), "warningBlock").size(), 1u);
    EXPECT_FALSE(one<ui::Button>(page.view.get(), "reviewButton")->isEnabled());
    // Asked afresh on the next redraw: the app quit.
    page.running->clear();
    page.model->toggle(page.apps[1].leftovers[0].path);
    page.model->toggle(page.apps[1].leftovers[0].path);
    EXPECT_TRUE(one<ui::Button>(page.view.get(), "reviewButton")->isEnabled());
}

TEST(UninstallerPage, WithoutAScriptRunnerTheBlockSaysAnAdministratorMustRemoveIt) {
    Page page; // the machine's own hand-off: no script runner here
    if (FinderHandoff::isAvailable()) GTEST_SKIP() << "this machine has a script runner";
    page.open(page.apps[1].bundlePath);
    EXPECT_EQ(textOf(page.view.get(), "handoffTitle"), "Ledger Pro needs an administrator");
    const std::string body = textOf(page.view.get(), "handoffBody");
    EXPECT_NE(body.find("an administrator must remove it."), std::string::npos) << body;
    EXPECT_TRUE(named(page.view.get(), "handoffButton").empty());
    EXPECT_EQ(button(page.view.get(), "Move with Finder\u2026"), nullptr);
    // The support files are still Sorvel's to move.
    EXPECT_TRUE(one<ui::Button>(page.view.get(), "reviewButton")->isEnabled());
}

TEST(UninstallerPage, TheReviewButtonsWalkTheStagesAndBackKeepsTheTicks) {
    Page page;
    page.open(page.orchard().bundlePath);
    const auto ticks = page.model->selectedPaths();
    one<ui::Button>(page.view.get(), "reviewButton")->click();
    ASSERT_TRUE(waitUntil([&] { return !page.model->isPreviewing(); }));
    page.view->flush();
    EXPECT_EQ(textOf(page.view.get(), "reviewTitle"), "Dry run \u2014 nothing has been moved");
    button(page.view.get(), "Move to Trash\u2026")->click();
    EXPECT_EQ(page.model->stage(), Stage::confirming);
    page.view->flush();
    EXPECT_EQ(textOf(page.view.get(), "reviewTitle"), "Move 3 items to the Trash?");
    QTest::keyClick(one(page.view.get(), "uninstallReview"), Qt::Key_Escape);
    EXPECT_EQ(page.model->stage(), Stage::reviewing);
    EXPECT_EQ(page.model->allowed().size(), 3u);
    page.view->flush();
    button(page.view.get(), "Back")->click();
    EXPECT_EQ(page.model->stage(), Stage::browsing);
    EXPECT_TRUE(page.model->preview().empty());
    EXPECT_EQ(page.model->selectedPaths(), ticks);
}

TEST(UninstallerPage, ARealUninstallMovesTheBundleAndItsLeftoversAndIsRecorded) {
    UiContext ctx;
    const std::string bundle = makeBundle(ctx / "root/Applications", "Orchard", "com.example.orchard", Qt::green);
    writeFileOfSize(bundle + "/Contents/MacOS/Orchard", 20000);
    const std::string support = ctx / "Library/Application Support/com.example.orchard";
    writeFileOfSize(support + "/state.db", 30000);
    const std::string preference = ctx / "Library/Preferences/com.example.orchard.plist";
    writeFileOfSize(preference, 3000);
    const std::string byName = ctx / "Library/Caches/Orchard";
    writeFileOfSize(byName + "/blob", 8000);

    AppsModel::Services services;
    auto places = AppInventory::Places::standard(ctx / "root");
    places.ownBundlePath.clear();
    places.ownIdentifier.reset();
    services.inventory = [places](ScanControl& control) { return AppInventory::scan(control, places); };
    services.runningBundleIdentifiers = [] { return std::vector<std::string>{}; };
    AppsModel model(services);
    model.rescan();
    ASSERT_TRUE(waitUntil([&] { return !model.isScanning(); }));
    ASSERT_FALSE(model.apps().empty());
    ctx.coordinator().show(Tool::apps, model.apps().front().bundlePath);
    ui::AppUninstallerView view(model, ctx.coordinator(), ctx.desktop());
    view.show();
    turn();
    view.flush();
    ASSERT_TRUE(model.selectedApp());
    one<ui::Button>(&view, "reviewButton")->click();
    ASSERT_TRUE(waitUntil([&] { return !model.isPreviewing(); }));
    ASSERT_EQ(model.allowed().size(), 3u) << (model.refused().empty() ? "" : model.refused().front().path);
    button(&view, "Move to Trash\u2026")->click();
    ASSERT_TRUE(button(&view, "Move 3 to Trash"));
    button(&view, "Move 3 to Trash")->click();
    ASSERT_TRUE(waitUntil([&] { return model.stage() != Stage::working; }));
    for (const auto& path : {bundle, support, preference}) EXPECT_FALSE(exists(path)) << path;
    EXPECT_TRUE(exists(byName)); // never ticked: matched only by name
    const auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs.front().scope, "uninstalling Orchard");
    EXPECT_EQ(runs.front().moved.size(), 3u);
    // The outcome outlasts the rescan that follows; "Done" falls back to the list.
    ASSERT_TRUE(waitUntil([&] { return !model.isScanning(); }));
    turn();
    view.flush();
    EXPECT_EQ(model.stage(), Stage::done);
    EXPECT_EQ(textOf(&view, "reviewTitle"), "Orchard was moved to the Trash");
    ASSERT_TRUE(button(&view, "Done"));
    button(&view, "Done")->click();
    turn();
    EXPECT_FALSE(model.selectedApp());
    EXPECT_EQ(model.stage(), Stage::browsing);
}

// Every hand-off state through a stand-in Finder: waiting, done with "Open Trash", and
// a refusal shown as the failure with "Try again".
TEST(UninstallerPage, TheHandOffBlockFollowsEveryStateOfAStandInFinder) {
    UiContext ctx;
    auto apps = sampleApps(ctx);
    struct Gate {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
        std::optional<FinderHandoff::Outcome> answer;
    };
    auto gate = std::make_shared<Gate>();
    AppsModel::Services services;
    // The rescan after a success re-selects the app (back to idle): held until the end.
    auto rescans = std::make_shared<std::atomic<int>>(0);
    auto held = std::make_shared<std::atomic<bool>>(true);
    services.inventory = [apps, rescans, held](ScanControl&) {
        if (rescans->fetch_add(1) > 0)
            while (held->load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return apps;
    };
    services.runningBundleIdentifiers = [] { return std::vector<std::string>{}; };
    services.finderHandoff = [gate](const std::string& path, const CleanupPolicy&) -> FinderHandoff::Outcome {
        std::unique_lock lock(gate->mutex);
        gate->opened.wait(lock, [&] { return gate->open; });
        gate->open = false;
        return gate->answer.value_or(FinderHandoff::Result{path, std::nullopt});
    };
    auto release = [gate](std::optional<FinderHandoff::Outcome> answer) {
        std::lock_guard lock(gate->mutex);
        gate->answer = std::move(answer);
        gate->open = true;
        gate->opened.notify_all();
    };
    AppsModel model(services);
    model.rescan();
    ASSERT_TRUE(waitUntil([&] { return !model.isScanning(); }));
    ctx.coordinator().show(Tool::apps, apps[1].bundlePath); // needs an administrator
    ui::AppUninstallerView view(model, ctx.coordinator(), ctx.desktop());
    view.show();
    turn();
    view.flush();

    one<ui::Button>(&view, "handoffButton")->click();
    view.flush();
    EXPECT_EQ(textOf(&view, "handoffTitle"), "The Finder is handling Ledger Pro");
    auto* waiting = one<ui::Button>(&view, "handoffButton");
    EXPECT_EQ(waiting->text(), "Waiting for the Finder\u2026");
    EXPECT_FALSE(waiting->isEnabled());
    model.moveBundleWithFinder(); // ignored while the Finder works

    release(FinderHandoff::Outcome(FinderHandoff::Failure::refusedBy(CleanupGuard::Refusal::isSymlink())));
    ASSERT_TRUE(waitUntil([&] { return model.handoff().kind == AppsModel::HandoffState::Kind::failed; }));
    view.flush();
    EXPECT_EQ(textOf(&view, "handoffTitle"), "That did not work");
    EXPECT_EQ(textOf(&view, "handoffBody").rfind("Refused: is a symlink", 0), 0u);
    auto* again = one<ui::Button>(&view, "handoffButton");
    ASSERT_EQ(again->text(), "Try again");
    again->click();
    EXPECT_EQ(int(model.handoff().kind), int(AppsModel::HandoffState::Kind::working)) << model.handoff().message;
    release(std::nullopt);                             // this time the Finder moves it
    ASSERT_TRUE(waitUntil([&] { return model.handoff().kind == AppsModel::HandoffState::Kind::done; }));
    view.flush();
    EXPECT_EQ(textOf(&view, "handoffTitle"), "Ledger Pro is in the Trash.");
    one<ui::Button>(&view, "handoffButton")->click(); // "Open Trash"
    ASSERT_EQ(ctx.desktop().revealed.size(), 1u);
    EXPECT_EQ(ctx.desktop().revealed.front(), Trash::directory());
    const auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs.front().scope, "Ledger Pro, moved by the Finder");
    held->store(false);
    ASSERT_TRUE(waitUntil([&] { return model.handoff().kind == AppsModel::HandoffState::Kind::idle; }));
}

TEST(UninstallerPage, ARecordThatCouldNotBeWrittenIsSaid) {
    Page page;
    page.open(page.orchard().bundlePath);
    EXPECT_EQ(one(page.view.get(), "saveError"), nullptr);
    AppsModelProbe::setSaveError(*page.model, "Sorvel could not write this uninstall to its history.");
    page.view->flush();
    EXPECT_EQ(textOf(page.view.get(), "saveError"), "Sorvel could not write this uninstall to its history.");
}

// A bundle this user may not look inside read "0 KB" in the list; its size now reads as
// not readable there and on its own row.
TEST(UninstallerPage, ABundleThatCouldNotBeReadShowsNoSize) {
    Page page;
    page.apps[0].bundleReadable = false;
    page.apps[0].bundleSize = 0;
    AppsModelProbe::setApps(*page.model, page.apps);
    page.open();
    auto texts = [](QWidget* root) {
        std::vector<std::string> values;
        for (auto* figure : named<ui::Text>(root, "sizeFigure")) values.push_back(figure->text().toStdString());
        return values;
    };
    const auto list = texts(page.view.get());
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(std::count(list.begin(), list.end(), "not readable"), 1) << list[0];
    page.open(page.orchard().bundlePath);
    ASSERT_NE(page.view->detailPane(), nullptr);
    const auto rows = texts(page.view->detailPane());
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front(), "not readable"); // the bundle's row comes first
    EXPECT_EQ(std::count(rows.begin(), rows.end(), "not readable"), 1);
}

// With no app to list, the page says why in place of rows, naming the folders it read.
TEST(UninstallerPage, AnEmptyListSaysWhy) {
    UiContext ctx;
    AppsModel::Services s;
    s.inventory = [](ScanControl&) { return std::vector<InstalledApp>{}; };
    s.runningBundleIdentifiers = [] { return std::vector<std::string>{}; };
    s.dryRun = fakeDryRun;
    s.whereLooked = [] { return AppsModel::Looked{{"/Applications", "/srv/apps"}, {"/srv/apps"}}; };
    AppsModel model(s);
    ctx.coordinator().show(Tool::apps);
    ui::AppUninstallerView view(model, ctx.coordinator(), ctx.desktop());
    view.resize(1000, 800);
    view.show();
    ASSERT_TRUE(waitUntil([&] { return model.scannedAt().has_value(); }));
    view.flush();
    EXPECT_TRUE(named(&view, "appRow").empty());
    EXPECT_EQ(textOf(&view, "emptyList"), "No apps are listed: this user may not read /srv/apps, where apps are looked for.");
}

// A page left open for days: "last opened …" follows the clock while shown, not only when
// the list is built again.
TEST(UninstallerPage, LastOpenedFollowsTheClockWhileShown) {
    Page page;
    Date clock = now();
    page.ctx.coordinator().show(Tool::apps, std::nullopt);
    page.view = std::make_unique<ui::AppUninstallerView>(*page.model, page.ctx.coordinator(), page.ctx.desktop());
    page.view->setClock([&clock] { return clock; });
    page.view->setRelativeRefresh(20);
    page.view->resize(1000, 800);
    page.view->show();
    turn();
    page.view->flush();
    const Date used = *page.orchard().lastUsed;
    const auto shows = [&](const std::string& expected) {
        for (auto* subtitle : named<ui::Text>(page.view.get(), "appSubtitle"))
            if (subtitle->text().toStdString().find(expected) != std::string::npos) return true;
        return false;
    };
    for (const auto later : {std::chrono::hours(0), std::chrono::hours(24 * 3), std::chrono::hours(24 * 40)}) {
        clock = now() + later;
        const std::string expected = "last opened " + RelativeDate::full(used, clock);
        EXPECT_TRUE(waitUntil([&] { return shows(expected); })) << expected;
    }
}
