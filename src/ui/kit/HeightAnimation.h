#pragma once
// The open and close of rows that unfold (safe-to-clean rows, history runs): a height that
// eases out over 0.12 s, or lands at once when animations are off.
#include <QObject>

#include <functional>

namespace sorvel::ui::HeightAnimation {

constexpr int kDurationMs = 120;

/// Moves a height from `from` to `to`, handing each step to `apply`, then calls `done`.
/// A new run on the same owner replaces the one in flight (which never calls its `done`).
/// With animations off, `apply(to)` and `done` run before this returns.
void run(QObject* owner, int from, int to, std::function<void(int)> apply, std::function<void()> done = {});

/// Whether a height animation runs on `owner`.
bool running(const QObject* owner);

} // namespace sorvel::ui::HeightAnimation
