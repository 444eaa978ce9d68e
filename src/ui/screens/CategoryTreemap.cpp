#include "ui/screens/CategoryTreemap.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "engine/Bytes.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Theme.h"
#include "ui/screens/CategoryPaneState.h"

namespace sorvel::ui {

namespace {

// Squarified layout: rows of tiles along the shorter side, each row closed when adding the
// next tile would make its worst aspect ratio worse.
std::vector<QRectF> squarify(const std::vector<double>& weights, QRectF bounds) {
    std::vector<QRectF> out(weights.size());
    double total = 0;
    for (double w : weights) total += std::max(w, 0.0);
    if (weights.empty() || bounds.width() <= 0 || bounds.height() <= 0) return out;
    if (total <= 0) {
        const double w = bounds.width() / static_cast<double>(weights.size());
        for (size_t i = 0; i < weights.size(); ++i) out[i] = QRectF(bounds.left() + w * i, bounds.top(), w, bounds.height());
        return out;
    }
    const double scale = bounds.width() * bounds.height() / total;
    size_t start = 0;
    QRectF rest = bounds;
    while (start < weights.size()) {
        const double side = std::min(rest.width(), rest.height());
        auto worst = [&](size_t end) {
            double sum = 0, mx = 0, mn = 1e300;
            for (size_t i = start; i < end; ++i) {
                const double a = std::max(weights[i], 0.0) * scale;
                sum += a;
                mx = std::max(mx, a);
                mn = std::min(mn, a);
            }
            if (sum <= 0 || mn <= 0) return 1e300;
            const double s2 = side * side, sum2 = sum * sum;
            return std::max(s2 * mx / sum2, sum2 / (s2 * mn));
        };
        size_t end = start + 1;
        while (end < weights.size() && worst(end + 1) <= worst(end)) ++end;
        double sum = 0;
        for (size_t i = start; i < end; ++i) sum += std::max(weights[i], 0.0) * scale;
        const bool alongWidth = rest.width() >= rest.height();
        const double thickness = sum / side;
        double offset = 0;
        for (size_t i = start; i < end; ++i) {
            const double length = sum > 0 ? std::max(weights[i], 0.0) * scale / thickness : 0;
            out[i] = alongWidth ? QRectF(rest.left(), rest.top() + offset, thickness, length)
                                : QRectF(rest.left() + offset, rest.top(), length, thickness);
            offset += length;
        }
        rest = alongWidth ? rest.adjusted(thickness, 0, 0, 0) : rest.adjusted(0, thickness, 0, 0);
        start = end;
    }
    return out;
}

} // namespace

CategoryTreemap::CategoryTreemap(QWidget* parent) : QWidget(parent) {
    setFixedHeight(250);
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
}

void CategoryTreemap::setRows(const std::vector<BrowseRow>& rows, size_t count, const Tint& tint) {
    count = std::min(count, rows.size());
    tiles_.clear();
    for (size_t i = 0; i < count; ++i)
        tiles_.push_back({rows[i], QString::fromStdString(CategoryPane::rowName(rows[i])), rows[i].size(),
                          CategoryPane::tileOpacity(i, count)});
    tint_ = tint;
    if (hovered_ >= static_cast<int>(tiles_.size())) hovered_ = -1;
    update();
}

std::vector<QRectF> CategoryTreemap::tileRects() const {
    std::vector<double> weights;
    for (const auto& t : tiles_) weights.push_back(static_cast<double>(t.size));
    return squarify(weights, QRectF(rect()));
}

int CategoryTreemap::tileAt(QPointF point) const {
    const auto rects = tileRects();
    for (size_t i = 0; i < rects.size(); ++i)
        if (rects[i].contains(point)) return static_cast<int>(i);
    return -1;
}

void CategoryTreemap::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const auto colours = Theme::tint(tint_);
    const QColor fill = colours.fill.resolve(), ink = colours.ink.resolve();
    const auto rects = tileRects();
    const QFont nameFont = Fonts::system(11.5, Fonts::Weight::semibold);
    const QFont sizeFont = Fonts::mono(10.5);
    for (size_t i = 0; i < rects.size(); ++i) {
        const QRectF r = rects[i].adjusted(1.5, 1.5, -1.5, -1.5);
        if (r.width() <= 0 || r.height() <= 0) continue;
        QColor c = fill;
        c.setAlphaF(c.alphaF() * tiles_[i].opacity);
        QPainterPath shape;
        shape.addRoundedRect(r, 7, 7);
        p.fillPath(shape, c);
        if (static_cast<int>(i) == hovered_) p.strokePath(shape, QPen(colours.dot.resolve(), 1.5));
        // Labels only where a tile has room for them.
        if (r.width() < 64 || r.height() < 40) continue;
        const QRectF text = r.adjusted(9, 7, -9, -7);
        p.setPen(ink);
        p.setFont(nameFont);
        p.drawText(text, Qt::AlignLeft | Qt::AlignTop,
                   QFontMetricsF(nameFont).elidedText(tiles_[i].name, Qt::ElideRight, text.width()));
        p.setFont(sizeFont);
        p.drawText(text.adjusted(0, 17, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                   QString::fromStdString(Bytes::format(tiles_[i].size)));
    }
}

void CategoryTreemap::mouseMoveEvent(QMouseEvent* event) {
    const int index = tileAt(event->position());
    if (index != hovered_) {
        hovered_ = index;
        update();
    }
}

void CategoryTreemap::leaveEvent(QEvent*) {
    hovered_ = -1;
    update();
}

void CategoryTreemap::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int index = tileAt(event->position());
    if (index >= 0 && onOpen) {
        const BrowseRow row = tiles_[static_cast<size_t>(index)].row;
        onOpen(row);
    }
}

} // namespace sorvel::ui
