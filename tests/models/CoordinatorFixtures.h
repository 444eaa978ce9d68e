#pragma once
// Shared pieces of the coordinator tests: a fake home (with the defaults file inside it),
// an event-loop wait, and a scan stand-in whose roots and ending the test controls.
#include <QCoreApplication>
#include <QElapsedTimer>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/ScanControl.h"
#include "engine/ScanResult.h"
#include "models/ScanCoordinator.h"
#include "models/EventLoop.h"
#include "support/TestSupport.h"

namespace sorvel::test {

/// HOME and XDG_CONFIG_HOME inside one temporary folder.
struct CoordinatorHome {
    FakeHome home;
    ScopedEnv config{"XDG_CONFIG_HOME", home / ".config"};
    std::string operator/(const std::string& relative) const { return home / relative; }
    const std::string& path() const { return home.path(); }
};

/// Keeps turning the event loop for a while (to show that nothing happens).
inline void spin(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

inline ScanNodePtr node(const std::string& path, int64_t size) {
    auto n = ScanNode::make(path.substr(path.rfind('/') + 1), path);
    n->size = size;
    n->directFileSize = size;
    return n;
}

/// A scan that hands the given roots to the control one by one when told, and returns
/// only when released (or at once once cancelled and released).
class ScriptedScan {
public:
    struct Root {
        std::string categoryID;
        ScanNodePtr node;
    };

    ScanCoordinator::Services services() {
        auto s = ScanCoordinator::Services::standard();
        auto state = state_;
        s.scan = [state](ScanControl& control, ScanScope scope) {
            std::unique_lock lock(state->mutex);
            ++state->started;
            const int me = state->started;
            state->changed.notify_all();
            size_t handed = 0;
            for (;;) {
                while (handed < state->toHand.size()) {
                    control.finish(state->toHand[handed].categoryID, state->toHand[handed].node);
                    ++handed;
                }
                if (state->released >= me) break;
                state->changed.wait(lock);
            }
            state->toHand.erase(state->toHand.begin(), state->toHand.begin() + static_cast<long>(handed));
            ScanResult result;
            result.scope = scope;
            result.categories = state->finalCategories;
            result.fullDiskAccess = state->fullDiskAccess;
            ++state->returned;
            state->cancelledAtReturn.push_back(control.cancelled());
            return result;
        };
        return s;
    }

    /// Hands roots to the running scan.
    void hand(std::vector<Root> roots) {
        std::lock_guard lock(state_->mutex);
        for (auto& r : roots) state_->toHand.push_back(std::move(r));
        state_->changed.notify_all();
    }
    /// Lets the n-th started scan (1-based) return.
    void release(int scan, std::vector<CategoryResult> categories = {}, bool fullDiskAccess = false) {
        std::lock_guard lock(state_->mutex);
        state_->finalCategories = std::move(categories);
        state_->fullDiskAccess = fullDiskAccess;
        state_->released = scan;
        state_->changed.notify_all();
    }
    int started() const {
        std::lock_guard lock(state_->mutex);
        return state_->started;
    }
    int returned() const {
        std::lock_guard lock(state_->mutex);
        return state_->returned;
    }
    /// Whether each returned scan (in order of return) found its control cancelled.
    std::vector<bool> cancelledAtReturn() const {
        std::lock_guard lock(state_->mutex);
        return state_->cancelledAtReturn;
    }

private:
    struct State {
        mutable std::mutex mutex;
        std::condition_variable changed;
        std::vector<Root> toHand;
        std::vector<CategoryResult> finalCategories;
        bool fullDiskAccess = false;
        int started = 0;
        int released = 0;
        int returned = 0;
        std::vector<bool> cancelledAtReturn;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

} // namespace sorvel::test
