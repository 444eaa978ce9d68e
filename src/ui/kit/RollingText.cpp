#include "ui/kit/RollingText.h"

#include <QFontMetricsF>
#include <QPainter>

#include "ui/kit/Animations.h"

namespace sorvel::ui {

RollingText::RollingText(QString text, QFont font, Adaptive colour, QWidget* parent)
    : Text(std::move(text), std::move(font), std::move(colour), parent), cells_(size_t(this->text().size())),
      roll_(new QVariantAnimation(this)) {
    roll_->setStartValue(0.0);
    roll_->setEndValue(1.0);
    roll_->setDuration(220);
    roll_->setEasingCurve(QEasingCurve::OutCubic);
    connect(roll_, &QVariantAnimation::valueChanged, this, [this] { update(); });
    connect(roll_, &QVariantAnimation::finished, this, [this] {
        for (auto& c : cells_) c = {};
        update();
    });
}

double RollingText::offset(size_t cell) const {
    if (cell >= cells_.size() || roll_->state() == QAbstractAnimation::Stopped) return 0.0;
    return cells_[cell].start * (1.0 - roll_->currentValue().toDouble());
}

void RollingText::setText(const QString& text) {
    const QString old = this->text();
    if (text == old) return;
    const bool animate = Animations::enabled() && isVisible() && !old.isEmpty();
    std::vector<Cell> next(size_t(text.size()));
    bool moving = false;
    for (qsizetype i = 0; animate && i < text.size(); ++i) {
        // A cell already rolling goes on from where it is drawn now, so a figure that
        // changes again mid-roll never jumps.
        const double now = offset(size_t(i));
        if (i < old.size() && old[i] == text[i]) next[size_t(i)] = {cells_[size_t(i)].from, now};
        else next[size_t(i)] = {i < old.size() ? old[i] : QChar(), now + 1.0};
        moving = moving || next[size_t(i)].start > 0;
    }
    roll_->stop();
    cells_ = std::move(next);
    Text::setText(text);
    if (moving) roll_->start();
}

void RollingText::paintEvent(QPaintEvent* event) {
    if (roll_->state() == QAbstractAnimation::Stopped) {
        Text::paintEvent(event);
        return;
    }
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setOpacity(opacity());
    p.setPen(colour().resolve());
    p.setFont(font());
    const QFontMetricsF m(font());
    const QString& s = text();
    const double h = height();
    double x = 0;
    if (alignment() & Qt::AlignRight) x = width() - m.horizontalAdvance(s);
    else if (alignment() & Qt::AlignHCenter) x = (width() - m.horizontalAdvance(s)) / 2;
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QString ch(s[i]);
        const double w = m.horizontalAdvance(ch);
        const double y = offset(size_t(i)) * h;
        p.save();
        // Each character keeps to its own cell: what rolls never spills onto a neighbour.
        p.setClipRect(QRectF(x, 0, w, h));
        p.drawText(QRectF(x, y, w, h), flags, ch);
        if (y > 0 && !cells_[size_t(i)].from.isNull()) p.drawText(QRectF(x, y - h, w, h), flags, QString(cells_[size_t(i)].from));
        p.restore();
        x += w;
    }
}

} // namespace sorvel::ui
