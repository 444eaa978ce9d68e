#pragma once
// The main-actor models live on the thread of the application object; heavy work runs
// elsewhere (models/BackgroundWork.h) and its results come back through the event loop.
#include <utility>

namespace sorvel::Models {

/// Stores `value` in `field` when it differs; true when it did, so the caller announces
/// the change. Published state is announced only when it changes.
template <class T, class U> bool assignIfChanged(T& field, U&& value) {
    if (field == value) return false;
    field = std::forward<U>(value);
    return true;
}

} // namespace sorvel::Models
