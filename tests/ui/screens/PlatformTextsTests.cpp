// Texts each window surface shows, built through its own code: nothing false on Linux.
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
#include "ui/tools/DuplicatesRules.h"
#include "ui/tools/AppUninstallerView.h"
#include "ui/tools/DuplicatesView.h"
#include "ui/tools/HistoryView.h"
#include "ui/tools/SweepSettingsView.h"
#include "tools/ToolWorld.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::ui;

namespace {

std::string shownTexts(QWidget& root) {
    test::settle(&root, {1180, 900});
    std::string out;
    for (QWidget* w : root.findChildren<QWidget*>()) {
        auto* t = qobject_cast<Text*>(w);
        auto* b = qobject_cast<QAbstractButton*>(w);
        if (w->isVisibleTo(&root) && (t || b)) out += (t ? t->text() : b->text()).toStdString() + "\n";
    }
    return out;
}

// A process outside an app bundle, as every process is here.
AccessGrant::Services outsideABundle() {
    AccessGrant::Services s;
    s.probe = s.runsFromBundle = s.isAdHocSigned = s.startNewInstance = [] { return false; };
    return s;
}

} // namespace

TEST(PlatformTexts, NoSurfaceSaysWhatIsFalseOnThisSystem) {
    using Ctx = test::UiContext;
    const std::pair<const char*, std::function<std::string(Ctx&)>> surfaces[] = {
        {"onboarding", [](Ctx& c) { OnboardingView page(c.models(), outsideABundle()); return shownTexts(page); }},
        {"hidden-folders banner", [](Ctx&) { AccessBanner b(outsideABundle()); return shownTexts(b); }},
        {"category page, a folder unreadable",
         [](test::UiContext& ctx) {
             ScanResult r = test::UiContext::sampleResult();
             r.categories.front().roots.front()->accessDenied = true;
             ctx.finishScan(r);
             ctx.coordinator().move({r.categories.front().category.id, {}});
             CategoryDetailView page(ctx.coordinator(), ctx.desktop(), r.categories.front().category.id);
             std::string texts = shownTexts(page);
             std::unique_ptr<QMenu> menu(page.rowList()->menuFor(0, nullptr));
             for (QAction* a : menu ? menu->actions() : QList<QAction*>{})
                 texts += a->text().toStdString() + "\n";
             return texts;
         }},
        {"overview footnotes, Whole Disk",
         [](test::UiContext& ctx) {
             ctx.coordinator().setScope(ScanScope::wholeDisk);
             ctx.finishScan(test::UiContext::wholeDiskResult(3));
             OverviewView overview(ctx.models(), {});
             return shownTexts(overview);
         }},
        {"header scope tooltips",
         [](test::UiContext& ctx) {
             MainMenu menu(ctx.coordinator(), ctx.updates());
             HeaderView header(ctx.models(), menu);
             const SegmentedPicker& scope = *header.scopePicker();
             return (scope.optionTooltip(0) + "\n" + scope.optionTooltip(1)).toStdString();
         }},
        {"duplicates",
         [](Ctx& c) {
             DuplicatesView view(c.models().duplicates, c.desktop());
             return shownTexts(view) + DuplicatesRules::kindLook(DuplicateGroup::Kind::clones).label;
         }},
        {"review row and cleanup sheet after a move",
         [](test::UiContext&) {
             CleanupOutcome moved, would;
             moved.result = CleanupOutcome::MovedToTrash{"/t/a"};
             CleanupSheetState sheet;
             sheet.dryRunReturned({would});
             sheet.proceed();
             return ReviewRowText::statusMessage(moved).value_or("") + "\n" + sheet.subtitle();
         }},
        {"settings window, default build",
         [](Ctx& c) { SweepSettingsView settings(c.coordinator(), c.models().sweeper, c.updates()); return shownTexts(settings); }},
        {"settings window, a feed built in",
         [](Ctx& c) {
             auto dictionary = BundleInfo::builtInDictionary();
             dictionary["SorvelUpdateFeedURL"] = "https://updates.example.org/sorvel.json";
             BundleInfo::replaceDictionary(dictionary);
             UpdateChecker updates([](const QUrl&, UpdateChecker::Completion) {}, [](const QUrl&) {});
             SweepSettingsView settings(c.coordinator(), c.models().sweeper, updates);
             const std::string texts = shownTexts(settings);
             BundleInfo::replaceDictionary(std::nullopt);
             return texts;
         }},
        {"history, nothing recorded",
         [](Ctx& c) { HistoryView history(c.models().history, c.coordinator()); return shownTexts(history); }},
        {"uninstaller list",
         [](Ctx& c) {
             auto apps = test::appsModel(test::sampleApps(c));
             AppUninstallerView view(*apps, c.coordinator(), c.desktop());
             return shownTexts(view);
         }},
        {"Docker summary",
         [](Ctx&) { DockerUsage u; u.state = DockerUsage::State::ready; return DockerText::summary(u); }},
    };
    for (const auto& [name, texts] : surfaces) {
        test::UiContext ctx;
        const std::string shown = texts(ctx);
        for (const char* word : {"Finder", "APFS", "macOS", "purgeable", "build-app", "disk image", "Docker Desktop",
                                 "this Mac", "menu bar", "admin password", "photo library", "iCloud folders"})
            EXPECT_EQ(shown.find(word), std::string::npos) << name << " says \"" << word << "\":\n" << shown;
    }
}
