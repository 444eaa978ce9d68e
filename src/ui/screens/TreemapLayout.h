#pragma once
// The squarified treemap layout: divides a rectangle among weights, one rectangle per
// weight (same positions), areas proportional to the weights, rows as square as the
// method allows. Zero, negative and NaN weights, a degenerate rectangle, and tiles left
// over when the free space collapses all get the zero rectangle. Pure; any thread.
#include <QRectF>

#include <vector>

namespace sorvel::ui::Treemap {

std::vector<QRectF> layout(const std::vector<double>& weights, const QRectF& bounds);

} // namespace sorvel::ui::Treemap
