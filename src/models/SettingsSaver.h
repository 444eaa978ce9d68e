#pragma once
// Settings writes leave the main thread: each runs on one queue of its own, in the order
// asked (a quick light-dark-light ends light), and its status comes back to the model on
// the main thread, so a failed save is shown with its reason.
#include <QPointer>

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "models/BackgroundWork.h"
#include "platform/UserDefaults.h"

namespace sorvel::Models {

/// Queues `block` behind every settings write asked before it.
void onSettingsQueue(std::function<void()> block);
/// Waits until every settings write asked so far is done (at quit; in tests).
void waitForSettings();

/// Stores `value` under `key` in `defaults` on the settings queue, then calls
/// `done(receiver, status)` on the main thread if the receiver still exists.
template <class Receiver, class Done>
void saveSetting(Receiver* receiver, UserDefaults defaults, std::string key, nlohmann::json value, Done done) {
    QPointer<Receiver> weak(receiver);
    onSettingsQueue([weak, defaults = std::move(defaults), key = std::move(key), value = std::move(value),
                     done = std::move(done)]() mutable {
        SaveStatus status = defaults.set(key, value);
        deliver(weak, [done = std::move(done), status](Receiver& alive) mutable { done(alive, status); });
    });
}

} // namespace sorvel::Models
