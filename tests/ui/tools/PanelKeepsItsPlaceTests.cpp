// The sweep panel scrolled inside a frame shorter than it, as on a small screen: a refresh
// (a sweep starting and ending, the schedule changing) keeps where the panel and its
// findings list are scrolled and which control has the focus; a control that is disabled
// meanwhile gets the focus back once enabled, and no other control is handed it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "tools/ToolPageTesting.h"
#include "tools/ToolWorld.h"
#include "ui/kit/LazyColumn.h"
#include "ui/tools/MenuBarView.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

/// Sweeps after the first wait here until let through.
struct HeldSweeps {
    std::mutex mutex;
    std::condition_variable changed;
    int runs = 0;
    bool open = false;
    void release() {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
};

struct Panel {
    UiContext ctx;
    std::shared_ptr<HeldSweeps> held = std::make_shared<HeldSweeps>();
    std::unique_ptr<SweepScheduler> sweeper;
    QScrollArea frame;
    ui::MenuBarView* view = nullptr;

    explicit Panel(int findings) {
        std::vector<std::pair<std::string, int64_t>> list;
        for (int i = 0; i < findings; ++i) {
            list.push_back({ctx / ("Library/Caches/c" + std::to_string(i)), 1'000'000});
            std::filesystem::create_directories(list.back().first);
        }
        SweepScheduler::Dependencies deps;
        deps.notifications = UserNotifications::none();
        deps.runner = [list, h = held](const SweepSchedule&, SweepRun::Trigger) {
            {
                std::unique_lock lock(h->mutex);
                if (h->runs++ > 0) h->changed.wait(lock, [&] { return h->open; });
            }
            SweepRunner::Outcome out;
            out.receipt.date = now();
            out.receipt.action = SweepSchedule::Action::report;
            for (const auto& [path, size] : list) {
                out.outcomes.push_back(CleanupOutcome{UUID::random(), path, size, CleanupOutcome::WouldMove{}});
                out.receipt.foundBytes += size;
            }
            return out;
        };
        sweeper = std::make_unique<SweepScheduler>(deps);
        sweeper->run(SweepRun::Trigger::manual);
        EXPECT_TRUE(waitUntil([&] { return !sweeper->isRunning(); }));
        // The tray's frame: the content keeps its own size and scrolls in a shorter frame.
        frame.setWidgetResizable(false);
        frame.setFocusPolicy(Qt::NoFocus);
        view = new ui::MenuBarView(*sweeper, {});
        frame.setWidget(view);
        frame.resize(ui::MenuBarView::width + 20, 300);
        frame.show();
        QApplication::setActiveWindow(&frame);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&frame));
        settle();
    }
    ~Panel() { held->release(); }
    static void settle() {
        for (int i = 0; i < 30; ++i) turn();
    }
    QScrollBar* bar() { return frame.verticalScrollBar(); }
    QString focusedName() const {
        const QWidget* f = QApplication::focusWidget();
        return f ? f->objectName() : QString("<none>");
    }
};

} // namespace

TEST(SweepPanelPlace, SweepNowKeepsTheScrollAndTheFocusWhileTheSweepRunsAndAfter) {
    Panel p(3);
    ASSERT_GT(p.bar()->maximum(), 100) << "the panel must be taller than its frame";
    p.bar()->setValue(p.bar()->maximum());
    p.settle();
    const int bottom = p.bar()->value();
    auto* sweep = one<QAbstractButton>(p.view, "sweepNow");
    ASSERT_NE(sweep, nullptr);
    sweep->setFocus(Qt::TabFocusReason);
    QTest::keyClick(sweep, Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return p.sweeper->isRunning(); }));
    p.settle();
    EXPECT_EQ(p.bar()->value(), bottom) << "the panel went back to its top " << p.view->height() << " max " << p.bar()->maximum();
    ASSERT_EQ(one<QAbstractButton>(p.view, "sweepNow")->text(), QString::fromUtf8("Sweeping\u2026"));
    // The disabled button cannot hold it: no other control is handed the focus.
    const QWidget* f = QApplication::focusWidget();
    EXPECT_TRUE(!f || f == p.view) << "the focus went to " << p.focusedName().toStdString();
    // The next click lands where it was aimed: the panel's bottom is still in view.
    auto* quit = one<QAbstractButton>(p.view, "quit");
    ASSERT_NE(quit, nullptr);
    EXPECT_TRUE(p.frame.viewport()->rect().contains(quit->mapTo(p.frame.viewport(), quit->rect().center())));

    p.held->release();
    ASSERT_TRUE(waitUntil([&] { return !p.sweeper->isRunning(); }));
    p.settle();
    EXPECT_EQ(p.bar()->value(), bottom);
    EXPECT_EQ(p.focusedName(), "sweepNow") << "the enabled button has the focus back";
}

// Other refreshes, with the focus on a control or on a row of the findings list scrolled
// to its middle: the focus and both scroll positions stay.
TEST(SweepPanelPlace, RefreshesKeepTheFocusedControlAndBothScrolls) {
    struct Case {
        const char* what;
        const char* focus; // a control's name, or "row" for the list's middle row
    };
    for (const Case& c : {Case{"Quit", "quit"}, Case{"Open Sorvel", "openMain"}, Case{"a row", "row"},
                          Case{"Select all", "selectAll"}}) {
        SCOPED_TRACE(c.what);
        Panel p(40);
        auto* list = one<ui::LazyColumn>(p.view, "findingsList");
        ASSERT_NE(list, nullptr);
        list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum() / 2);
        p.settle();
        QWidget* target = nullptr;
        QString tip;
        if (std::string(c.focus) == "row") {
            const auto& made = list->made();
            target = std::next(made.begin(), static_cast<long>(made.size() / 2))->second;
            tip = target->toolTip();
        } else {
            target = one<QWidget>(p.view, c.focus);
        }
        ASSERT_NE(target, nullptr);
        p.frame.ensureWidgetVisible(target);
        p.settle();
        target->setFocus(Qt::TabFocusReason);
        const int outer = p.bar()->value(), inner = list->verticalScrollBar()->value();
        const int builds = p.view->builds();
        for (const auto frequency : {SweepSchedule::Frequency::daily, SweepSchedule::Frequency::off}) {
            SweepSchedule next = p.sweeper->schedule();
            next.frequency = frequency;
            p.sweeper->setSchedule(next);
            p.settle();
            ASSERT_GT(p.view->builds(), builds) << "the refresh rebuilt nothing";
            list = one<ui::LazyColumn>(p.view, "findingsList");
            ASSERT_NE(list, nullptr);
            EXPECT_EQ(p.bar()->value(), outer);
            EXPECT_EQ(list->verticalScrollBar()->value(), inner);
            QWidget* now = QApplication::focusWidget();
            ASSERT_NE(now, nullptr);
            if (tip.isEmpty()) EXPECT_EQ(now->objectName(), c.focus);
            else EXPECT_EQ(now->toolTip(), tip);
        }
    }
}
