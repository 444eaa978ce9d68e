#include "ui/screens/TreemapView.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>
#include <QToolTip>

#include "engine/Bytes.h"
#include "engine/Reading.h"
#include "ui/kit/AccessibleControls.h"
#include "ui/kit/Animations.h"
#include "ui/kit/Chip.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/screens/ScreenText.h"
#include "ui/screens/TreemapLayout.h"

namespace sorvel::ui {

TreemapView::TreemapView(QSizeF minimumLabelSize, QWidget* parent)
    : QWidget(parent), minimumLabelSize_(minimumLabelSize), glide_(new QVariantAnimation(this)) {
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // The ring goes around the current tile's face, in the gap between tiles.
    FocusRing::attach(this, {[this](const QWidget&) {
                                 const auto r = shownRects();
                                 if (current_ < 0 || size_t(current_) >= r.size()) return QRectF(rect());
                                 return r[size_t(current_)].adjusted(2.5, 2.5, -2.5, -2.5);
                             },
                             9});
    // Each tile reads as its tooltip does ("Caches — 10 MB"), its figure as the value; pressed, it opens.
    AccessibleControls::describeRows(
        this, {QAccessible::List, {}, {}, {}},
        {QAccessible::ListItem, [this] { return int(tiles_.size()); },
         [this](int i) { return tiles_[size_t(i)].description(); }, [this](int i) { return tiles_[size_t(i)].sizeText(); },
         [this](int i) {
             const auto r = shownRects();
             return size_t(i) < r.size() ? r[size_t(i)].toAlignedRect() : QRect();
         },
         [this](int i) {
             const auto tap = tiles_[size_t(i)].onTap; // may replace the tiles
             if (tap) tap();
         },
         [this] { return current_; }});
    glide_->setDuration(400);
    glide_->setEasingCurve(QEasingCurve::InOutQuad);
    glide_->setStartValue(0.0);
    glide_->setEndValue(1.0);
    connect(glide_, &QVariantAnimation::valueChanged, this, qOverload<>(&QWidget::update));
}

QString TreemapTile::sizeText() const {
    if (notMeasured) return QString::fromUtf8(kNotMeasuredText);
    const QString figure = QString::fromStdString(Bytes::format(size));
    return partial ? figure + QStringLiteral(" · ") + ScreenText::kPartial : figure;
}

QString TreemapTile::description() const { return name + QStringLiteral(" — ") + sizeText(); }

void TreemapView::setTiles(std::vector<TreemapTile> tiles) {
    int64_t total = 0;
    for (const auto& t : tiles) total += t.size;
    if (total != total_ && Animations::enabled() && isVisible() && !tiles_.empty()) {
        from_.clear();
        const auto before = shownRects();
        for (size_t i = 0; i < tiles_.size(); ++i) from_[tiles_[i].id] = before[i];
        glide_->stop();
        glide_->start();
    }
    total_ = total;
    tiles_ = std::move(tiles);
    if (current_ >= int(tiles_.size())) current_ = int(tiles_.size()) - 1;
    update();
}

std::vector<QRectF> TreemapView::shownRects() const {
    auto target = rects();
    if (glide_->state() != QAbstractAnimation::Running) return target;
    const double t = glide_->currentValue().toDouble();
    for (size_t i = 0; i < tiles_.size(); ++i) {
        auto it = from_.find(tiles_[i].id);
        // A tile that was not there grows out of its own centre.
        const QRectF a = it != from_.end() ? it->second : QRectF(target[i].center(), QSizeF(0, 0));
        const QRectF& b = target[i];
        target[i] = QRectF(a.x() + (b.x() - a.x()) * t, a.y() + (b.y() - a.y()) * t,
                           a.width() + (b.width() - a.width()) * t, a.height() + (b.height() - a.height()) * t);
    }
    return target;
}

std::vector<QRectF> TreemapView::rects() const {
    std::vector<double> weights;
    weights.reserve(tiles_.size());
    double measured = 0;
    for (const auto& t : tiles_)
        if (!t.notMeasured) measured += double(std::max<int64_t>(t.size, 0));
    // A tile not measured would weigh nothing and vanish: it takes a small share instead.
    const double placeholder = measured > 0 ? measured * kNotMeasuredShare : 1.0;
    for (const auto& t : tiles_) weights.push_back(t.notMeasured ? placeholder : double(t.size));
    return Treemap::layout(weights, QRectF(0, 0, width(), height()));
}

int TreemapView::tileAt(QPointF point) const {
    const auto r = rects();
    for (size_t i = 0; i < r.size(); ++i)
        if (r[i].width() > 2 && r[i].height() > 2 && r[i].contains(point)) return int(i);
    return -1;
}

void TreemapView::enterTile(const std::string& id) {
    if (hovered_ == id) return;
    hovered_ = id;
    update();
}

void TreemapView::leaveTile(const std::string& id) {
    if (hovered_ != id) return;
    hovered_.reset();
    update();
}

void TreemapView::mouseMoveEvent(QMouseEvent* e) {
    const int i = tileAt(e->position());
    const std::optional<std::string> now = i >= 0 ? std::optional(tiles_[size_t(i)].id) : std::nullopt;
    if (now == hovered_) return;
    if (hovered_) leaveTile(*hovered_);
    if (now) enterTile(*now);
    setCursor(i >= 0 && tiles_[size_t(i)].onTap ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void TreemapView::leaveEvent(QEvent*) {
    if (hovered_) leaveTile(*hovered_);
}

void TreemapView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    const int i = tileAt(e->position());
    if (i < 0) return;
    // The action may replace this view's tiles (or the view): run a copy.
    const auto tap = tiles_[size_t(i)].onTap;
    if (tap) tap();
}

void TreemapView::focusInEvent(QFocusEvent* e) {
    if (current_ < 0 && !tiles_.empty()) current_ = 0;
    QWidget::focusInEvent(e);
}

void TreemapView::keyPressEvent(QKeyEvent* e) {
    const int count = int(tiles_.size());
    switch (e->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        if (current_ > 0) --current_;
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        if (current_ + 1 < count) ++current_;
        break;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (current_ >= 0 && current_ < count) {
            const auto tap = tiles_[size_t(current_)].onTap; // may replace the tiles
            if (tap) tap();
        }
        return;
    default: QWidget::keyPressEvent(e); return;
    }
    AccessibleControls::rowFocused(this, current_);
    if (current_ >= 0 && current_ < count) {
        const auto& t = tiles_[size_t(current_)];
        setAccessibleDescription(t.description());
    }
    FocusRing::reshape(this);
}

bool TreemapView::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const int i = tileAt(help->pos());
        if (i >= 0) {
            const auto& t = tiles_[size_t(i)];
            const QString why = t.partial ? "\n" + QString::fromStdString(ScreenText::partialSentence()) : QString();
            QToolTip::showText(help->globalPos(), t.description() + why, this, rects()[size_t(i)].toAlignedRect());
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QWidget::event(e);
}

void TreemapView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const auto r = shownRects();
    for (size_t i = 0; i < tiles_.size(); ++i) {
        if (r[i].width() > 2 && r[i].height() > 2) paintTile(p, tiles_[i], r[i]);
    }
}

void TreemapView::paintTile(QPainter& p, const TreemapTile& t, const QRectF& z) const {
    const QRectF face(z.x() + 2.5, z.y() + 2.5, std::max(z.width() - 5, 0.0), std::max(z.height() - 5, 0.0));
    p.setPen(Qt::NoPen);
    p.setBrush(t.tint.fill.resolve());
    p.drawRoundedRect(face, 9, 9);
    if (hovered_ == t.id) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(t.tint.dot.resolve(), 1.5));
        p.drawRoundedRect(face.adjusted(0.75, 0.75, -0.75, -0.75), 8.25, 8.25);
    } else if (t.partial || t.notMeasured) {
        // Unfinished: a dashed edge, seen even on a tile too small for its label.
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(t.tint.ink.resolve(), 1.2, Qt::DashLine));
        p.drawRoundedRect(face.adjusted(0.6, 0.6, -0.6, -0.6), 8.4, 8.4);
    }
    const QColor ink = t.tint.ink.resolve();
    if (showsLabel(z.size(), minimumLabelSize_)) {
        const QRectF inner = face.adjusted(13, 13, -13, -13);
        const QFont nameFont = Fonts::system(13, Fonts::Weight::semibold);
        const QFontMetricsF nm(nameFont);
        p.setFont(nameFont);
        p.setPen(ink);
        double y = inner.top();
        const int lines = z.width() >= 165 ? 2 : 1;
        if (lines == 1) {
            p.drawText(QRectF(inner.left(), y, inner.width(), nm.height()), Qt::AlignLeft | Qt::AlignTop,
                       nm.elidedText(t.name, Qt::ElideRight, inner.width()));
            y += nm.height();
        } else {
            // Up to two lines: wrap at words, cut the second with an ellipsis.
            QTextLayout layout(t.name, nameFont);
            layout.beginLayout();
            QTextLine first = layout.createLine();
            if (first.isValid()) first.setLineWidth(inner.width());
            layout.endLayout();
            const int firstLength = first.isValid() ? first.textLength() : int(t.name.size());
            p.drawText(QRectF(inner.left(), y, inner.width(), nm.height()), Qt::AlignLeft | Qt::AlignTop,
                       nm.elidedText(t.name.left(firstLength).trimmed(), Qt::ElideRight, inner.width()));
            y += nm.height();
            const QString rest = t.name.mid(firstLength).trimmed();
            if (!rest.isEmpty()) {
                p.drawText(QRectF(inner.left(), y, inner.width(), nm.height()), Qt::AlignLeft | Qt::AlignTop,
                           nm.elidedText(rest, Qt::ElideRight, inner.width()));
                y += nm.height();
            }
        }
        y += 4;
        QFont sizeFont = Fonts::mono(15, Fonts::Weight::medium);
        QString sizeText = t.sizeText();
        // Where the word does not fit, the dashed edge and the tooltip still say it.
        if (QFontMetricsF(sizeFont).horizontalAdvance(sizeText) * 0.8 > inner.width() && !t.notMeasured)
            sizeText = QString::fromStdString(Bytes::format(t.size));
        const double natural = QFontMetricsF(sizeFont).horizontalAdvance(sizeText);
        if (natural > inner.width() && natural > 0)
            sizeFont.setPointSizeF(sizeFont.pointSizeF() * std::max(0.8, inner.width() / natural));
        const QFontMetricsF sm(sizeFont);
        // A short tile keeps its name and leaves the size to the tooltip rather than cut it.
        if (y + sm.height() <= face.bottom()) {
            p.setFont(sizeFont);
            p.drawText(QRectF(inner.left(), y, inner.width(), sm.height()), Qt::AlignLeft | Qt::AlignTop,
                       sm.elidedText(sizeText, Qt::ElideRight, inner.width()));
        }
    }
    if (t.badge && showsBadge(z.size())) {
        const QSizeF chip = Chip::size(*t.badge);
        Chip::paint(p, QPointF(face.left() + 13, face.bottom() - 13 - chip.height()), *t.badge, ink, Theme::raised().resolve());
    }
}

} // namespace sorvel::ui
