// Texts each window surface shows, built through its own code: nothing that is false on
// Linux (the Finder, Full Disk Access, APFS, macOS), and what is true in its place.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMenu>

#include "platform/BundleInfo.h"
#include "ui/kit/SegmentedPicker.h"
#include "ui/kit/Text.h"
#include "ui/screens/CategoryDetailView.h"
#include "ui/screens/CategoryRowList.h"
#include "ui/screens/CleanupSheetState.h"
#include "ui/screens/DockerText.h"
#include "ui/screens/OverviewView.h"
#include "ui/screens/ReviewRowText.h"
#include "ui/shell/AccessBanner.h"
#include "ui/shell/HeaderView.h"
#include "ui/shell/MainMenu.h"
#include "ui/shell/OnboardingView.h"
#include "ui/shell/SidebarView.h"
#include "ui/tools/DuplicatesRules.h"
#include "ui/tools/AppUninstallerView.h"
#include "ui/tools/DuplicatesView.h"
#include "ui/tools/HistoryRules.h"
#include "ui/tools/HistoryView.h"
#include "ui/tools/SweepSettingsView.h"
#include "tools/ToolWorld.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::ui;

namespace {

// The shown labels and button titles.
std::string shownTexts(QWidget& root) {
    test::settle(&root, {1180, 900});
    std::string out;
    for (QWidget* w : root.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&root)) continue;
        if (auto* t = qobject_cast<Text*>(w)) out += t->text().toStdString() + "\n";
        if (auto* b = qobject_cast<QAbstractButton*>(w)) out += b->text().toStdString() + "\n";
    }
    return out;
}

// A process outside an app bundle, as every process is here.
// The sidebar lock's tooltip for the Mail category, its first root unreadable and empty,
// beside a second root that is readable (and empty) or not.
std::string mailLockTip(test::UiContext& ctx, bool secondReadable) {
    ScanResult r = test::UiContext::sampleResult();
    auto& mail = r.categories[4];
    mail.roots[0]->accessDenied = true;
    mail.roots[0]->size = 0;
    mail.roots.push_back(test::sampleNode(mail.roots[0]->path + "-more", 0));
    mail.roots[1]->accessDenied = !secondReadable;
    ctx.finishScan(r);
    SidebarView sidebar(ctx.models());
    test::settle(&sidebar, {244, 880});
    const SidebarRow* row = sidebar.row(mail.category.id);
    return row ? row->lockTip().toStdString() : "(no row)";
}

AccessGrant::Services outsideABundle() {
    AccessGrant::Services s;
    s.probe = s.runsFromBundle = s.isAdHocSigned = s.startNewInstance = [] { return false; };
    return s;
}

} // namespace

TEST(PlatformTexts, EachSurfaceSaysWhatIsTrueOnThisSystem) {
    using Texts = std::function<std::string(test::UiContext&)>;
    const std::tuple<const char*, Texts, std::vector<std::string>, std::vector<std::string>> surfaces[] = {
        {"onboarding",
         [](test::UiContext& ctx) { OnboardingView page(ctx.models(), outsideABundle()); return shownTexts(page); },
         {"build-app", "Finder", "Full Disk Access list and", "Open Settings & reveal Sorvel", "Copy app path",
          "Give Sorvel Full Disk Access", "Scan without it"},
         {"Nothing to grant on this system", "no Full Disk Access to grant", "Scan now"}},
        {"hidden-folders banner", [](test::UiContext&) { AccessBanner b(outsideABundle()); return shownTexts(b); },
         {"macOS blocks", "Fix this"}, {"no Full Disk Access to grant here"}},
        {"category page, a folder unreadable",
         [](test::UiContext& ctx) {
             ScanResult r = test::UiContext::sampleResult();
             r.categories.front().roots.front()->accessDenied = true;
             ctx.finishScan(r);
             ctx.coordinator().move({r.categories.front().category.id, {}});
             CategoryDetailView page(ctx.coordinator(), ctx.desktop(), r.categories.front().category.id);
             std::string texts = shownTexts(page);
             std::unique_ptr<QMenu> menu(page.rowList()->menuFor(0, nullptr));
             for (QAction* a : menu ? menu->actions() : QList<QAction*>{}) texts += a->text().toStdString() + "\n";
             return texts;
         },
         {"Finder", "macOS"}, {"Reveal in File Manager\nCopy path", "Partially blocked for this user"}},
        {"category page, nothing readable",
         [](test::UiContext& ctx) {
             ScanResult r = test::UiContext::sampleResult();
             for (auto& root : r.categories.front().roots) {
                 root->accessDenied = true;
                 root->size = 0;
                 root->children.clear();
             }
             ctx.finishScan(r);
             ctx.coordinator().move({r.categories.front().category.id, {}});
             CategoryDetailView page(ctx.coordinator(), ctx.desktop(), r.categories.front().category.id);
             return shownTexts(page);
         },
         {"Partially blocked", "counts as empty"}, {"Not readable by this user", "could not measure it"}},
        {"overview footnotes, Whole Disk",
         [](test::UiContext& ctx) {
             ctx.coordinator().setScope(ScanScope::wholeDisk);
             ctx.finishScan(test::UiContext::wholeDiskResult(3));
             OverviewView overview(ctx.models(), {});
             return shownTexts(overview);
         },
         {"APFS", "purgeable", "macOS", "other mounted volumes", "from the Finder", "Storage pane"},
         {"a /home partition) on its own", "back from the file manager", "differs from the disk's used space"}},
        {"header scope tooltips",
         [](test::UiContext& ctx) {
             MainMenu menu(ctx.coordinator(), ctx.updates());
             HeaderView header(ctx.models(), menu);
             const SegmentedPicker& scope = *header.scopePicker();
             return (scope.optionTooltip(0) + "\n" + scope.optionTooltip(1)).toStdString();
         },
         {"macOS"}, {"~/Library trees Sorvel counts as System Data", "Every top-level directory"}},
        {"duplicates",
         [](test::UiContext& ctx) {
             DuplicatesView view(ctx.models().duplicates, ctx.desktop());
             return shownTexts(view) + DuplicatesRules::kindLook(DuplicateGroup::Kind::clones).label;
         },
         {"APFS"}, {"reflinked clones (XFS, btrfs, bcachefs)", "Reflinked clones \u2014 shared storage"}},
        {"review row and cleanup sheet after a move",
         [](test::UiContext&) {
             CleanupOutcome moved, would;
             moved.result = CleanupOutcome::MovedToTrash{"/t/a"};
             CleanupSheetState sheet;
             sheet.dryRunReturned({would});
             sheet.proceed();
             return ReviewRowText::statusMessage(moved).value_or("") + "\n" + sheet.subtitle();
         },
         {"Finder"}, {"recoverable from the file manager", "back from the file manager until you empty it"}},
        {"settings window, default build",
         [](test::UiContext& c) {
             SweepSettingsView v(c.coordinator(), c.models().sweeper, c.updates());
             return shownTexts(v);
         },
         {}, {}},
        {"settings window, a feed built in",
         [](test::UiContext& c) {
             auto dictionary = BundleInfo::builtInDictionary();
             dictionary["SorvelUpdateFeedURL"] = "https://updates.example.org/sorvel.json";
             BundleInfo::replaceDictionary(dictionary);
             UpdateChecker updates([](const QUrl&, UpdateChecker::Completion) {}, [](const QUrl&) {});
             std::string texts;
             { SweepSettingsView v(c.coordinator(), c.models().sweeper, updates); texts = shownTexts(v); }
             BundleInfo::replaceDictionary(std::nullopt);
             return texts;
         },
         {}, {}},
        {"history, a run from the tray panel",
         [](test::UiContext&) {
             SweepRun run;
             run.trigger = SweepRun::Trigger::menuBar;
             return HistoryRules::runSubtitle(run);
         },
         {"Menu bar", "Tray panel"}, {"Sweep panel"}},
        {"sidebar lock tooltips",
         [](test::UiContext& c) { return "none: " + mailLockTip(c, false) + "\npart: " + mailLockTip(c, true); },
         {"none: Partly"}, {"none: Not readable", "part: Partly blocked"}},
        {"history, nothing recorded",
         [](test::UiContext& c) { HistoryView v(c.models().history, c.coordinator()); return shownTexts(v); }, {}, {}},
        {"uninstaller list",
         [](test::UiContext& c) {
             auto apps = test::appsModel(test::sampleApps(c));
             AppUninstallerView v(*apps, c.coordinator(), c.desktop());
             return shownTexts(v);
         },
         {}, {}},
        {"Docker summary",
         [](test::UiContext&) { DockerUsage u; u.state = DockerUsage::State::ready; return DockerText::summary(u); },
         {"disk image", "thin-provisioned"}, {"its data folder on disk"}},
    };
    for (const auto& [name, texts, falseHere, trueHere] : surfaces) {
        test::UiContext ctx;
        const std::string shown = texts(ctx);
        for (const char* word : {"Finder", "APFS", "macOS", "purgeable", "build-app", "disk image", "Docker Desktop",
                                 "this Mac", "menu bar", "admin password", "photo library", "iCloud folders"})
            EXPECT_EQ(shown.find(word), std::string::npos) << name << " says \"" << word << "\":\n" << shown;
        for (const auto& phrase : falseHere)
            EXPECT_EQ(shown.find(phrase), std::string::npos) << name << " still says \"" << phrase << "\":\n" << shown;
        for (const auto& phrase : trueHere)
            EXPECT_NE(shown.find(phrase), std::string::npos) << name << " lacks \"" << phrase << "\":\n" << shown;
    }
}
