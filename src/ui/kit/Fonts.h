#pragma once
// Fonts in pixels: the layouts give every size in logical pixels, so a font's point size
// is set from the screen's logical DPI (px * 72 / dpi) and texts fit their fixed frames.
// Families come from Debian packages (Inter, JetBrains Mono, DejaVu and WenQuanYi Micro Hei
// for CJK as fallbacks) so every machine renders alike.
#include <QFont>

namespace sorvel::ui::Fonts {

enum class Weight { regular, medium, semibold, bold };

/// The system face ("Inter") at `px` logical pixels.
QFont system(double px, Weight weight = Weight::regular);
/// The monospaced face ("JetBrains Mono") for figures.
QFont mono(double px, Weight weight = Weight::regular);
/// The point size that draws `px` logical pixels on this screen.
double pointSize(double px);
QFont::Weight qtWeight(Weight weight);

} // namespace sorvel::ui::Fonts
