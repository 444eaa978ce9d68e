// What the window says about this system, built through each surface's own code: a text
// that sent the user to something that does not exist here (the Finder, the Full Disk
// Access list, a build script, Docker Desktop) or stated what is false here (APFS,
// purgeable space, what macOS refused) now says what is true, in the same place.
#include <gtest/gtest.h>

#include <QAbstractButton>

#include <functional>

#include <QMenu>

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
#include "ui/tools/DuplicatesView.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::ui;

namespace {

// Every text a person can see on the widget: labels and button titles that are shown.
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
AccessGrant::Services outsideABundle(test::RecordingDesktop& desktop) {
    AccessGrant::Services s;
    s.probe = [] { return false; };
    s.runsFromBundle = [] { return false; };
    s.isAdHocSigned = [] { return false; };
    s.bundlePath = [] { return std::string(); };
    s.openURL = [&desktop](const std::string& u) { desktop.openURL(QString::fromStdString(u)); };
    s.reveal = [&desktop](const std::string& p) { desktop.reveal(p); };
    s.copy = [&desktop](const std::string& t) { desktop.copy(QString::fromStdString(t)); };
    s.startNewInstance = [] { return false; };
    s.quit = [] {};
    return s;
}

struct Surface {
    const char* name;
    std::function<std::string(test::UiContext&)> texts;
    std::vector<std::string> falseHere;
    std::vector<std::string> trueHere;
};

} // namespace

TEST(PlatformTexts, EachSurfaceSaysWhatIsTrueOnThisSystem) {
    const Surface surfaces[] = {
        {"onboarding",
         [](test::UiContext& ctx) {
             OnboardingView page(ctx.models(), outsideABundle(ctx.desktop()));
             return shownTexts(page);
         },
         {"build-app", "Finder", "Full Disk Access list and", "Open Settings & reveal Sorvel", "Copy app path",
          "Give Sorvel Full Disk Access"},
         {"Nothing to grant on this system", "no Full Disk Access to grant", "Scan without it"}},
        {"hidden-folders banner",
         [](test::UiContext& ctx) {
             AccessBanner banner(outsideABundle(ctx.desktop()));
             return shownTexts(banner);
         },
         {"macOS blocks", "Fix this"},
         {"no Full Disk Access to grant here"}},
        {"category page with a folder this user may not read",
         [](test::UiContext& ctx) {
             ScanResult r = test::UiContext::sampleResult();
             r.categories.front().roots.front()->accessDenied = true;
             ctx.finishScan(r);
             const std::string id = r.categories.front().category.id;
             ctx.coordinator().move({id, {}});
             CategoryDetailView page(ctx.coordinator(), ctx.desktop(), id);
             std::string texts = shownTexts(page);
             std::unique_ptr<QMenu> menu(page.rowList()->menuFor(0, nullptr));
             for (QAction* a : menu ? menu->actions() : QList<QAction*>{}) texts += a->text().toStdString() + "\n";
             return texts;
         },
         {"Finder", "macOS"},
         {"Reveal in File Manager\nCopy path", "Partially blocked for this user"}},
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
         {"macOS"},
         {"~/Library trees Sorvel counts as System Data", "Every top-level directory"}},
        {"duplicates",
         [](test::UiContext& ctx) {
             DuplicatesView view(ctx.models().duplicates, ctx.desktop());
             return shownTexts(view) + DuplicatesRules::kindLook(DuplicateGroup::Kind::clones).label;
         },
         {"APFS"},
         {"reflinked clones (XFS, btrfs, bcachefs)", "Reflinked clones \u2014 shared storage"}},
        {"review row and cleanup sheet after a move",
         [](test::UiContext&) {
             CleanupOutcome moved;
             moved.path = "/h/a";
             moved.result = CleanupOutcome::MovedToTrash{"/t/a"};
             CleanupOutcome would;
             would.path = "/h/b";
             CleanupSheetState sheet;
             sheet.dryRunReturned({would});
             sheet.proceed();
             return ReviewRowText::statusMessage(moved).value_or("") + "\n" + sheet.subtitle();
         },
         {"Finder"},
         {"recoverable from the file manager", "back from the file manager until you empty it"}},
        {"Docker summary",
         [](test::UiContext&) {
             DockerUsage usage;
             usage.state = DockerUsage::State::ready;
             return DockerText::summary(usage);
         },
         {"disk image", "thin-provisioned"},
         {"its data folder on disk"}},
    };
    for (const auto& surface : surfaces) {
        test::UiContext ctx;
        const std::string texts = surface.texts(ctx);
        for (const auto& phrase : surface.falseHere)
            EXPECT_EQ(texts.find(phrase), std::string::npos) << surface.name << " still says \"" << phrase << "\":\n" << texts;
        for (const auto& phrase : surface.trueHere)
            EXPECT_NE(texts.find(phrase), std::string::npos) << surface.name << " lacks \"" << phrase << "\":\n" << texts;
    }
}
