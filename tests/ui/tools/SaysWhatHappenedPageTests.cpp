// The window's texts say what happened and name this system's places, through the real
// widgets: a run put back still says what it moved, a put back that brought nothing back is
// no success, no dead put-back mark beside a run's paths, the onboarding and Applications
// pages name the Linux places, the sweep panel is not a tray's, the sweep settings say what
// a sweep runs and takes, the sidebar's small figures read as every other figure does, and
// the sweep panel tells its last sweep put back as History does, whichever session put it back.
#include <gtest/gtest.h>

#include <QAbstractButton>

#include <filesystem>
#include <functional>

#include "engine/Bytes.h"
#include "models/HistoryModel.h"
#include "platform/Trash.h"
#include "platform/UserDefaults.h"
#include "support/MoveToTrash.h"
#include "tools/ToolPageTesting.h"
#include "tools/ToolWorld.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Text.h"
#include "ui/shell/OnboardingView.h"
#include "ui/shell/SorvelApp.h"
#include "ui/shell/SidebarView.h"
#include "ui/tools/AppUninstallerView.h"
#include "ui/tools/HistoryView.h"
#include "ui/tools/MenuBarView.h"
#include "ui/tools/SweepSettingsView.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

// What the page shows: its texts, button titles and symbols, and the names of its cards.
std::string shown(QWidget& root) {
    settle(&root, {1180, 900});
    turn();
    std::string out;
    for (QWidget* w : root.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&root)) continue;
        if (auto* t = qobject_cast<ui::Text*>(w)) out += t->text().toStdString() + "\n";
        if (auto* b = qobject_cast<QAbstractButton*>(w)) out += b->text().toStdString() + "\n";
        if (auto* s = qobject_cast<ui::SymbolView*>(w)) out += "symbol " + s->name() + "\n";
        if (!w->objectName().isEmpty()) out += "[" + w->objectName().toStdString() + "]\n";
    }
    return out;
}

// A folder of the fake home moved to the Trash, as a run records it.
MovedItem trashed(UiContext& ctx, const std::string& relative, int64_t recordedSize) {
    const std::string original = ctx / relative;
    writeFile(original + "/data.bin", relative);
    const auto moved = test::moveToTrash(original);
    return MovedItem{original, moved.trashPath.value_or("Trash"), recordedSize};
}

// The history page over `run`, its card opened, after "Put all N back" when `putBack`.
std::string historyAfter(UiContext& ctx, SweepRun run, bool putBack) {
    run.scope = "items you picked";
    run.receipt.action = SweepSchedule::Action::clean;
    run.recount();
    EXPECT_TRUE(SweepHistory::store(run));
    HistoryModel& history = ctx.models().history;
    ui::HistoryView view(history, ctx.coordinator());
    settle(&view, {1000, 900});
    EXPECT_TRUE(waitUntil([&] { return !history.isLoading() && history.runs().size() == 1; }));
    history.toggle(run.id);
    view.flush();
    if (putBack) {
        auto* restore = one<QAbstractButton>(&view, "restore");
        EXPECT_NE(restore, nullptr);
        if (restore) restore->click();
        EXPECT_TRUE(waitUntil([&] { return !history.isRestoring() && !history.lastRestore().empty(); }));
        view.flush();
    }
    return shown(view);
}

// A sweep that moved two folders, its run in History and its receipt naming that run.
SweepRun sweptTwo(UiContext& ctx) {
    SweepRun run;
    run.trigger = SweepRun::Trigger::scheduled;
    run.moved = {trashed(ctx, "Library/Caches/a", 500'000), trashed(ctx, "Library/Caches/b", 348'100'000)};
    run.receipt.action = SweepSchedule::Action::clean;
    run.recount();
    EXPECT_TRUE(SweepHistory::store(run));
    nlohmann::json receipt = run.receipt.toJSON();
    receipt["runs"] = {run.id.uuidString()};
    EXPECT_TRUE(UserDefaults::standard().set("SorvelLastSweep", receipt));
    return run;
}

// The sweep panel, once it shows the stored receipt, after `putBack`: what its last sweep says then.
std::string panelAfter(UiContext& ctx, double tick, const std::function<void()>& putBack) {
    SweepScheduler& sweeper = ctx.models().sweeper;
    ui::SorvelApp::linkModels(ctx.models());
    sweeper.setTick(tick);
    sweeper.start();
    ui::MenuBarView panel(sweeper, {});
    const auto headline = [&] { return textOf(&panel, "receiptHeadline"); };
    EXPECT_TRUE(waitUntil([&] { return headline().find("Moved") != std::string::npos; })) << headline();
    putBack();
    waitUntil([&] { return headline().find("put back") != std::string::npos; });
    sweeper.stop();
    return shown(panel);
}

AccessGrant::Services outsideABundle() {
    AccessGrant::Services s;
    s.probe = s.runsFromBundle = s.isAdHocSigned = s.startNewInstance = [] { return false; };
    return s;
}

} // namespace

TEST(SaysWhatHappened, EachWindowTextTellsWhatHappenedHere) {
    using Texts = std::function<std::string(UiContext&)>;
    struct Row {
        const char* name;
        Texts texts;
        std::vector<std::string> falseHere;
        std::vector<std::string> trueHere;
    };
    const Row rows[] = {
        {"a run whose every item was put back",
         [](UiContext& ctx) {
             SweepRun run;
             run.moved = {trashed(ctx, "Library/Caches/a", 500'000), trashed(ctx, "Library/Caches/b", 348'100'000)};
             return historyAfter(ctx, run, true);
         },
         {"Nothing needed cleaning", "Nothing was moved in this run."},
         {"Moved 348.6 MB to the Trash \u00B7 all put back", "Everything this run moved was put back: 2 items, 348.6 MB.",
          "Put back 2 items \u00B7 348.6 MB", "[restoreSummary]", "2 items \u00B7 348.6 MB"}},
        {"a put back of an item gone from the Trash",
         [](UiContext& ctx) {
             SweepRun run;
             run.moved = {trashed(ctx, "Library/Caches/gone", 600'000)};
             std::filesystem::remove_all(run.moved.front().trashPath);
             return historyAfter(ctx, run, true);
         },
         {"Put back 0 items", "[restoreSummary]"},
         {"Nothing was put back", "[restoreFailed]", "gone \u2014 "}},
        {"an open run's paths",
         [](UiContext& ctx) {
             SweepRun run;
             run.trigger = SweepRun::Trigger::menuBar;
             run.moved = {trashed(ctx, "Library/Caches/x", 5'000'000), trashed(ctx, "Library/Caches/y", 5'000'000)};
             return historyAfter(ctx, run, false);
         },
         {"symbol arrow.uturn.backward", "Tray panel"},
         {"Put all 2 back", "Moved 10 MB to the Trash", "Sweep panel"}},
        {"the sweep panel after its run was put back in History",
         [](UiContext& ctx) {
             const SweepRun run = sweptTwo(ctx);
             return panelAfter(ctx, 300, [&] { historyAfter(ctx, run, true); });
         },
         {"Nothing needed cleaning"},
         {"Moved 348.6 MB to the Trash \u00B7 all put back"}},
        {"the sweep panel after another session put back part of its run",
         [](UiContext& ctx) {
             SweepRun run = sweptTwo(ctx);
             return panelAfter(ctx, 0.05, [&] {
                 HistoryModel other;
                 run.moved.resize(1);
                 other.restore(run);
                 EXPECT_TRUE(waitUntil([&] { return !other.isRestoring(); }));
             });
         },
         {"all put back"},
         {"Moved 348.6 MB to the Trash \u00B7 1 item put back"}},
        {"onboarding",
         [](UiContext& ctx) {
             ui::OnboardingView page(ctx.models(), outsideABundle());
             return shown(page);
         },
         {"System Data lives inside ~/Library."},
         {"System Data lives in ~/.cache, ~/.local/share, ~/.config, ~/.local/state, ~/.var/app, ~/snap",
          "and in ~/Library where your home has one."}},
        {"Applications",
         [](UiContext& ctx) {
             auto apps = appsModel(sampleApps(ctx));
             ui::AppUninstallerView view(*apps, ctx.coordinator(), ctx.desktop());
             return shown(view);
         },
         {"Every app on this computer"},
         {"Every app bundle in /Applications and ~/Applications", "~/.var/app and ~/snap"}},
        {"sweep settings",
         [](UiContext& ctx) {
             ctx.recommendations = UiContext::sampleRecommendations(); // the rules are listed
             ctx.finishScan(UiContext::sampleResult());
             ui::SweepSettingsView view(ctx.coordinator(), ctx.models().sweeper, ctx.updates());
             return shown(view) + ui::SweepSettingsView::folderRequest().message.toStdString();
         },
         {"your call", "Its contents"},
         {"Rules marked \u201CREVIEW FIRST\u201D are never run", "Its subfolders are swept",
          "files lying directly in it are left where they are", "only the subfolders inside it",
          "Its subfolders will be swept; files lying directly in it are not."}},
        {"sidebar figures under a megabyte",
         [](UiContext& ctx) {
             ScanResult r = UiContext::sampleResult();
             r.categories[5].roots.front()->children.clear();
             r.categories[5].roots.front()->size = 888'832;
             ctx.finishScan(r);
             ui::SidebarView sidebar(ctx.models());
             settle(&sidebar, {244, 880});
             const auto* row = sidebar.row(r.categories[5].category.id);
             return row ? row->figureText().toStdString() : std::string("(no row)");
         },
         {"888832 B"},
         {"889 KB"}},
    };
    for (const auto& row : rows) {
        UiContext ctx;
        ASSERT_TRUE(waitUntil([&] { return !ctx.models().history.isLoading(); }));
        const std::string texts = row.texts(ctx);
        for (const auto& phrase : row.falseHere)
            EXPECT_EQ(texts.find(phrase), std::string::npos) << row.name << " says \"" << phrase << "\":\n" << texts;
        for (const auto& phrase : row.trueHere)
            EXPECT_NE(texts.find(phrase), std::string::npos) << row.name << " lacks \"" << phrase << "\":\n" << texts;
    }
}
