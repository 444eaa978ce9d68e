#pragma once
// This platform keeps the window opaque with its native frame (no behind-window blur), so
// "configuring the glass" only reports: with SORVEL_GLASS_DEBUG exactly "1" it writes one
// "glass: ..." line about the window to standard error, once per window.
#include <QString>

class QWidget;

namespace sorvel::ui::WindowGlass {

/// The line for a window, or an empty text unless `debugValue` is exactly "1".
QString debugLine(const char* debugValue, const QWidget* window);
/// Writes the line for the window when the environment asks for it.
void report(const QWidget* window);

} // namespace sorvel::ui::WindowGlass
