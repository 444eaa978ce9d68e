#pragma once
// The one way a main-thread model hands work off and gets its result back: the work runs on
// a thread of its own (so a long sweep or a Finder hand-off holds up nothing else, and its
// priority ends with it), and what it hands back runs on the main thread, reaching the
// model only if the model still exists then. Workers never touch the model; its weak
// pointer is read on the main thread only.
#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace sorvel::Models {

enum class WorkPriority {
    userInitiated, // the user waits on it: scans, restores, moves from the menu-bar panel
    utility,       // long and unattended: sweeps
};

/// Hears, with its text, why background work threw (`failureText`).
using FailureHandler = std::function<void(const std::string& reason)>;

/// Starts `work` on a new detached thread, born below the caller's priority. When no such
/// thread can start it runs on the thread that starts them, or on the caller when even
/// that one could not start.
/// Whatever `work` throws goes to `failed`, on the same thread, and never ends the process.
void runInBackground(WorkPriority priority, std::function<void()> work, FailureHandler failed);

/// Waits until every job started by `runInBackground` has ended, at most `bound`; false
/// when some still runs. Called before the application object goes: a job ending after
/// it would queue its result on an object already destroyed.
bool waitForBackgroundWork(std::chrono::milliseconds bound);

/// Lets go of `held` on a thread kept for that, in the order handed over, never on the
/// caller: the last hold on a whole disk's tree, or on the table of files it counted, takes
/// long to free. In place when no such thread can start.
void releaseElsewhere(std::shared_ptr<const void> held);

/// From now on a big subtree whose last hold goes on the main thread is freed by
/// releaseElsewhere instead. Called once the application object exists.
void keepTreesOffMainThread();

/// The sentence a screen shows when work it waits on failed: what could not be done and why.
std::string failureSentence(const std::string& what, const std::string& reason);

/// Queues `handOver(receiver)` on the main thread; it runs only if the receiver still
/// exists then. Safe from any thread; `receiver` must have been taken on the main thread.
template <class Receiver, class HandOver> void deliver(const QPointer<Receiver>& receiver, HandOver handOver) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return; // the process is ending
    QMetaObject::invokeMethod(
        app,
        [receiver, handOver = std::move(handOver)]() mutable {
            if (Receiver* alive = receiver.data()) handOver(*alive);
        },
        Qt::QueuedConnection);
}

/// Runs `work()` in the background, then `done(receiver, result)` on the main thread if
/// the receiver still exists. When `work` throws, `failed(receiver, reason)` runs there
/// instead: every caller says how its screen ends then. Called on the main thread.
template <class Receiver, class Work, class Done, class Failed>
void runThenDeliver(Receiver* receiver, WorkPriority priority, Work work, Done done, Failed failed) {
    QPointer<Receiver> weak(receiver);
    runInBackground(
        priority,
        [weak, work = std::move(work), done = std::move(done)]() mutable {
            auto result = work();
            deliver(weak, [done = std::move(done), result = std::move(result)](Receiver& alive) mutable {
                done(alive, std::move(result));
            });
        },
        [weak, failed = std::move(failed)](const std::string& reason) {
            deliver(weak, [failed, reason](Receiver& alive) { failed(alive, reason); });
        });
}

} // namespace sorvel::Models
