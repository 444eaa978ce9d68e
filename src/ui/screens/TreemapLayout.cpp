#include "ui/screens/TreemapLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace sorvel::ui::Treemap {

namespace {

// How far from square the worst rectangle of a row would be along `side`.
double worst(const double* areas, size_t count, double side) {
    double smallest = std::numeric_limits<double>::infinity();
    double largest = 0;
    double sum = 0;
    for (size_t i = 0; i < count; ++i) {
        smallest = std::min(smallest, areas[i]);
        largest = std::max(largest, areas[i]);
        sum += areas[i];
    }
    if (!(smallest > 0)) return std::numeric_limits<double>::infinity();
    const double s2 = side * side;
    const double sum2 = sum * sum;
    return std::max(s2 * largest / sum2, sum2 / (s2 * smallest));
}

} // namespace

std::vector<QRectF> layout(const std::vector<double>& weights, const QRectF& bounds) {
    std::vector<QRectF> out(weights.size(), QRectF());
    const QRectF r = bounds.normalized();
    const double W = r.width();
    const double H = r.height();
    if (!(W > 0) || !(H > 0)) return out;

    struct Item {
        size_t index;
        double weight;
    };
    std::vector<Item> items;
    items.reserve(weights.size());
    for (size_t i = 0; i < weights.size(); ++i)
        if (weights[i] > 0) items.push_back({i, weights[i]});
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.weight > b.weight; });
    if (items.empty()) return out;

    double total = 0;
    for (const Item& it : items) total += it.weight;
    const double scale = (W * H) / total;
    std::vector<double> areas(items.size());
    for (size_t i = 0; i < items.size(); ++i) areas[i] = scale * items[i].weight;

    double fx = r.x(), fy = r.y(), fw = W, fh = H;
    std::vector<QRectF> placed;
    placed.reserve(items.size());
    size_t next = 0;
    while (next < areas.size()) {
        const double side = fh < fw ? fh : fw;
        if (!(side > 0)) break;
        // Grow the row while its worst aspect does not get worse.
        size_t rowEnd = next + 1;
        while (rowEnd < areas.size()) {
            const double withNext = worst(&areas[next], rowEnd - next + 1, side);
            const double without = worst(&areas[next], rowEnd - next, side);
            if (withNext <= without) ++rowEnd;
            else break;
        }
        double rowSum = 0;
        for (size_t i = next; i < rowEnd; ++i) rowSum += areas[i];
        const double t = std::min(std::max(fw, fh), rowSum / side);
        if (fw <= fh) {
            double x = fx;
            for (size_t i = next; i < rowEnd; ++i) {
                const double w = areas[i] / t;
                placed.emplace_back(x, fy, w, t);
                x += w;
            }
            fy += t;
            fh = std::max(fh - t, 0.0);
        } else {
            double y = fy;
            for (size_t i = next; i < rowEnd; ++i) {
                const double h = areas[i] / t;
                placed.emplace_back(fx, y, t, h);
                y += h;
            }
            fx += t;
            fw = std::max(fw - t, 0.0);
        }
        next = rowEnd;
    }
    for (size_t k = 0; k < items.size() && k < placed.size(); ++k) out[items[k].index] = placed[k];
    return out;
}

} // namespace sorvel::ui::Treemap
