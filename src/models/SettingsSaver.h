#pragma once
// Settings writes leave the main thread: each runs on one queue of its own, in the order
// asked (a quick light-dark-light ends light), and its status comes back to the model on
// the main thread, so a failed save is shown with its reason. A save another Sorvel holds
// off (its lock past the wait) is said as waiting and tried again every few seconds, the
// later saves queued behind it, until it lands or Sorvel quits.
#include <QPointer>

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "models/BackgroundWork.h"
#include "platform/UserDefaults.h"

namespace sorvel::Models {

/// Queues `block` behind every settings write asked before it.
void onSettingsQueue(std::function<void()> block);
/// Waits until every settings write asked so far is done (at quit; in tests). A save still
/// being tried again is tried once more, then given up, so the wait has an end; once one
/// save gives up on settings another Sorvel holds, those queued behind it give up at once,
/// so the wait for that lock is waited once in all.
void waitForSettings();

/// Queues storing `value` under `key` in `defaults`; `tell` hears, on the settings queue,
/// the first busy status (marked `retrying`) while the save is tried again, then the last
/// status (busy only when a `waitForSettings` ended the tries).
void queueSave(UserDefaults defaults, std::string key, nlohmann::json value,
               std::function<void(const SaveStatus&)> tell);

/// As `queueSave`, for any one write of the settings (a change merged into what is
/// stored, under the settings' lock), tried again in the same way.
void queueWrite(std::function<SaveStatus()> write, std::function<void(const SaveStatus&)> tell);

/// `write` on the settings queue, then `done(receiver, status)` on the main thread as
/// `saveSetting` calls it.
template <class Receiver, class Done>
void writeSetting(Receiver* receiver, std::function<SaveStatus()> write, Done done) {
    QPointer<Receiver> weak(receiver);
    queueWrite(std::move(write), [weak, done](const SaveStatus& status) {
        deliver(weak, [done, status](Receiver& alive) mutable { done(alive, status); });
    });
}

/// Stores `value` under `key` in `defaults` on the settings queue, then calls
/// `done(receiver, status)` on the main thread if the receiver still exists; while the save
/// is held off and tried again, first with that busy status.
template <class Receiver, class Done>
void saveSetting(Receiver* receiver, UserDefaults defaults, std::string key, nlohmann::json value, Done done) {
    QPointer<Receiver> weak(receiver);
    queueSave(std::move(defaults), std::move(key), std::move(value), [weak, done](const SaveStatus& status) {
        deliver(weak, [done, status](Receiver& alive) mutable { done(alive, status); });
    });
}

} // namespace sorvel::Models
