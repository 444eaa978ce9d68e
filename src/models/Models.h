#pragma once
// The main-actor models live on the thread of the application object; heavy work runs
// elsewhere and its results come back through the event loop.
#include <QObject>
#include <functional>

namespace sorvel::Models {

/// Runs `work` on the thread of `context` (the main thread for models) at the next turn
/// of its event loop. Safe to call from any thread.
void onMainThread(QObject* context, std::function<void()> work);

} // namespace sorvel::Models
