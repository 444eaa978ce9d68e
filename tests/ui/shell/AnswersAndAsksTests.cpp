// A window that answers at once, and asks before it moves: the tree a scope switch leaves is
// freed off the main thread, no step that moves things starts with the focus on its moving
// button (Return, Return, Return from the button before it moves nothing), and the
// duplicates list is one Tab stop that the arrows, Space and Return work in.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "support/AppsModelProbe.h"
#include "tools/ToolPageTesting.h"
#include "tools/ToolWorld.h"
#include "ui/kit/Button.h"
#include "ui/screens/CleanupPreviewSheet.h"
#include "ui/screens/OverviewView.h"
#include "ui/screens/SafeToCleanSection.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/PageHost.h"
#include "ui/tools/AppUninstallerView.h"
#include "ui/tools/DuplicatesView.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

struct Window {
    UiContext ctx;
    std::unique_ptr<ui::MainWindow> window;
    void open() {
        window = std::make_unique<ui::MainWindow>(ctx.models(), ui::MainWindow::Startup{});
        settle(window.get(), {1440, 980});
        QApplication::setActiveWindow(window.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    // Presses `key` on whatever has the focus, `times` times, letting the window answer each.
    void press(Qt::Key key, int times = 1) {
        for (int i = 0; i < times; ++i) {
            QWidget* focused = QApplication::focusWidget();
            QTest::keyClick(focused ? focused : QApplication::activeWindow(), key);
            for (int turns = 0; turns < 20; ++turns) turn();
        }
    }
};

QString focusedText() {
    auto* button = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
    return button ? button->text() : QString();
}

CleanupItem cacheItem(const std::string& dir) {
    CleanupTarget t;
    t.name = "one";
    t.path = dir;
    t.size = independentTotal(dir);
    CleanupItem i;
    i.id = "user-caches";
    i.title = "User caches";
    i.targets = {t};
    return i;
}

// Each copy of `sets` sets of two in the home's Projects folder.
void writeSets(const UiContext& ctx, int sets) {
    for (int i = 0; i < sets; ++i) {
        const std::string content = "set " + std::to_string(i) + std::string(1'100'000, char('a' + i % 26));
        writeFile(ctx / ("Projects/a/" + std::to_string(i) + ".bin"), content);
        writeFile(ctx / ("Projects/b/" + std::to_string(i) + ".bin"), content);
    }
}

struct Case {
    const char* name;
    // Drives the window; returns what went wrong, empty when nothing did.
    std::function<std::string(Window&)> run;
};

} // namespace

TEST(WindowAnswersAndAsks, EachCase) {
    const Case table[] = {
        {"a scope switch frees the tree it leaves off the main thread",
         [](Window& w) -> std::string {
             // A big tree whose last folder records the thread that freed it.
             auto freedOn = std::make_shared<std::atomic<bool>>(false);
             auto onMain = std::make_shared<std::atomic<bool>>(false);
             ScanResult result = UiContext::wholeDiskResult(3);
             ScanNodePtr root = result.categories.front().roots.front();
             for (int i = 0; i < 2000; ++i) root->children.push_back(sampleNode(root->path + "/f" + std::to_string(i), 10));
             root->children.push_back(ScanNodePtr(new ScanNode("probe", root->path + "/probe"), [=](ScanNode* node) {
                 onMain->store(QThread::currentThread() == qApp->thread());
                 freedOn->store(true);
                 delete node;
             }));
             root->dirCount = int64_t(root->children.size());
             root = nullptr;
             w.ctx.coordinator().setScope(ScanScope::wholeDisk);
             w.ctx.finishScan(std::move(result));
             w.open();
             w.ctx.coordinator().setScope(ScanScope::systemData);
             if (!waitUntil([&] { return freedOn->load(); })) return "the tree was never freed";
             return onMain->load() ? "freed on the main thread" : "";
         }},
        {"the cleanup sheet: Return from Review moves nothing",
         [](Window& w) -> std::string {
             const std::string dir = w.ctx / "Library/Caches/com.example.one";
             writeFileOfSize(dir + "/blob", 20'000);
             w.ctx.recommendations = {cacheItem(dir)};
             w.ctx.finishScan(UiContext::sampleResult());
             w.open();
             auto* overview = qobject_cast<ui::OverviewView*>(w.window->pageHost().pageWidget());
             if (!overview) return "no overview";
             overview->safeToClean()->reviewButton()->setFocus(Qt::TabFocusReason);
             w.press(Qt::Key_Return);
             ui::CleanupPreviewSheet* sheet = nullptr;
             waitUntil([&] { return (sheet = w.window->findChild<ui::CleanupPreviewSheet*>()) && !sheet->state().isPreparing(); });
             if (!sheet) return "no sheet";
             w.press(Qt::Key_Return);
             if (sheet->state().stage() != ui::CleanupSheetState::Stage::confirming) return "not asked";
             if (QApplication::focusWidget() == sheet->secondButton()) return "the moving button has the focus";
             w.press(Qt::Key_Return, 2);
             return exists(dir + "/blob") ? "" : "moved";
         }},
        {"the duplicates page: Return from Move to Trash… moves nothing",
         [](Window& w) -> std::string {
             writeSets(w.ctx, 3);
             ui::DuplicatesView view(w.ctx.models().duplicates, w.ctx.desktop());
             view.resize(1000, 800);
             view.show();
             w.ctx.models().duplicates.scan(w.ctx / "Projects");
             waitUntil([&] { return !w.ctx.models().duplicates.isScanning(); });
             view.flush();
             auto* move = one<QAbstractButton>(&view, "moveToTrash");
             if (!move) return "no move button";
             QApplication::setActiveWindow(&view);
             move->setFocus(Qt::TabFocusReason);
             w.press(Qt::Key_Return);
             view.flush();
             if (w.ctx.models().duplicates.stage() != DuplicatesModel::Stage::confirming) return "not asked";
             if (QApplication::focusWidget() && QApplication::focusWidget()->objectName() == "confirmMove")
                 return "the moving button has the focus";
             w.press(Qt::Key_Return, 2);
             return exists(w.ctx / "Projects/b/0.bin") && exists(w.ctx / "Projects/a/0.bin") ? "" : "moved";
         }},
        {"the uninstaller: Return from Review moves nothing",
         [](Window& w) -> std::string {
             auto running = std::make_shared<std::vector<std::string>>();
             auto model = appsModel(sampleApps(w.ctx), running);
             const std::string bundle = model->apps().front().bundlePath;
             w.ctx.coordinator().show(Tool::apps, bundle);
             ui::AppUninstallerView view(*model, w.ctx.coordinator(), w.ctx.desktop());
             view.resize(1000, 800);
             view.show();
             QApplication::setActiveWindow(&view);
             turn();
             view.flush();
             auto* review = one<QAbstractButton>(&view, "reviewButton");
             if (!review) return "no review button";
             review->setFocus(Qt::TabFocusReason);
             w.press(Qt::Key_Return);
             waitUntil([&] { return !model->isPreviewing(); });
             view.flush();
             w.press(Qt::Key_Return);
             view.flush();
             if (focusedText().startsWith("Move ") && focusedText().endsWith(" to Trash"))
                 return "the moving button has the focus";
             w.press(Qt::Key_Return, 2);
             const auto stage = model->stage();
             return stage == AppsModel::Stage::working || stage == AppsModel::Stage::done ? "moved" : "";
         }},
        {"the duplicates list is one Tab stop worked by the arrows, Space and Return",
         [](Window& w) -> std::string {
             writeSets(w.ctx, 12);
             ui::DuplicatesView view(w.ctx.models().duplicates, w.ctx.desktop());
             view.resize(1000, 800);
             view.show();
             QApplication::setActiveWindow(&view);
             auto& model = w.ctx.models().duplicates;
             model.scan(w.ctx / "Projects");
             waitUntil([&] { return !model.isScanning(); });
             view.flush();
             auto* home = one<QAbstractButton>(&view, "scanHome");
             if (!home) return "no Scan home folder";
             home->setFocus(Qt::TabFocusReason);
             int tabs = 0;
             while (focusedText() != QString::fromUtf8("Move to Trash\u2026") && tabs < 100) {
                 w.press(Qt::Key_Tab);
                 ++tabs;
             }
             if (tabs > 3) return std::to_string(tabs) + " Tab presses to the move button";
             home->setFocus(Qt::TabFocusReason);
             w.press(Qt::Key_Tab);
             QWidget* first = QApplication::focusWidget();
             if (!first || first->objectName() != "duplicateRow") return "Tab did not enter the list";
             w.press(Qt::Key_Down);
             QWidget* second = QApplication::focusWidget();
             if (second == first || !second || second->objectName() != "duplicateRow") return "Down did not move";
             const auto ticks = model.selectedPaths();
             w.press(Qt::Key_Space);
             if (model.selectedPaths() == ticks) return "Space did not tick";
             w.press(Qt::Key_Return);
             if (w.ctx.desktop().revealed.size() != 1) return "Return did not reveal";
             w.press(Qt::Key_Tab);
             return focusedText() == QString::fromUtf8("Move to Trash\u2026") ? "" : "Tab did not leave the list";
         }},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        Window w;
        EXPECT_EQ(row.run(w), "");
    }
}
