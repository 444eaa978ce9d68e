#pragma once
// Named symbols ("chevron.right", "lock.fill", "wind", ...) painted into a rect in a
// colour. One glyph source: the Material Icons font from Debian's
// fonts-material-design-icons-iconfont, reached by ligature name; names it lacks are drawn
// as painter paths. Never an icon theme, so screenshots look the same everywhere.
#include <QColor>
#include <QPainter>
#include <QRectF>
#include <QSizeF>

#include <string_view>

namespace sorvel::ui::Symbols {

/// Paints `name` centred in `rect`, `px` being the text size the symbol sits beside (the
/// glyph is drawn a little larger, as symbols are); 0 fits the rect's height. Unknown names
/// paint a small circle outline, never nothing.
void paint(QPainter& painter, const QRectF& rect, std::string_view name, const QColor& colour, double px = 0);

/// The square a symbol of text size `px` takes.
QSizeF size(double px);

/// Whether the name maps to a glyph of the icon font (else a drawn fallback is used).
bool hasGlyph(std::string_view name);

/// Every name the layer knows (for the screenshot sheet and tests).
const std::vector<std::string_view>& knownNames();

} // namespace sorvel::ui::Symbols
