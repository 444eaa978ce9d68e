#include "ui/kit/SegmentedPicker.h"

#include <QAccessible>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <cmath>

#include "ui/kit/AccessibleControls.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/LabelStyle.h"
#include "ui/kit/Theme.h"

namespace sorvel::ui {

namespace {
constexpr double kUnderlineSpacing = 18;
constexpr double kCapsulePad = 12;
} // namespace

SegmentedPicker::SegmentedPicker(std::vector<Option> options, Look look, QWidget* parent)
    : QWidget(parent), options_(std::move(options)), look_(look) {
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // The underline look has no surface: its ring keeps clear of the captions.
    if (look_ == Look::capsule) FocusRing::attach(this, {{}, -1});
    else FocusRing::attach(this, {[](const QWidget& w) { return QRectF(w.rect()).adjusted(-4, -3, 4, 1); }, 5});
    // A tab list whose value is the chosen option; each option a tab that picks when pressed.
    AccessibleControls::describeRows(
        this, {QAccessible::PageTabList, {}, [this] { return optionTitle(current_); }, {}},
        {QAccessible::PageTab, [this] { return int(options_.size()); }, [this](int i) { return optionTitle(i); }, {},
         [this](int i) { return optionRect(i); }, [this](int i) { emit picked(i); }, [this] { return current_; }});
}

QString SegmentedPicker::optionTitle(int index) const {
    return index >= 0 && index < int(options_.size()) ? options_[size_t(index)].title : QString();
}

QString SegmentedPicker::optionTooltip(int index) const {
    return index >= 0 && index < int(options_.size()) ? options_[size_t(index)].tooltip : QString();
}

void SegmentedPicker::setCurrentIndex(int index) {
    if (index == current_) return;
    current_ = index;
    update();
    QAccessibleValueChangeEvent changed(this, optionTitle(index));
    QAccessible::updateAccessibility(&changed);
}

QFont SegmentedPicker::fontFor(bool selected) const {
    if (look_ == Look::underline)
        return LabelStyle::font(10.5, selected ? Fonts::Weight::bold : Fonts::Weight::medium);
    return LabelStyle::font(10, Fonts::Weight::semibold);
}

std::vector<double> SegmentedPicker::widths() const {
    std::vector<double> out;
    for (const Option& o : options_) {
        // The bold face is the widest: reserve it so nothing shifts when the choice moves.
        const double w = QFontMetricsF(fontFor(true)).horizontalAdvance(o.title.toUpper());
        out.push_back(look_ == Look::underline ? w : w + 2 * kCapsulePad);
    }
    return out;
}

QRect SegmentedPicker::optionRect(int index) const {
    auto w = widths();
    if (look_ == Look::capsule) {
        // A capsule given a width of its own (the trend card's 210) shares it out, so the
        // last segment is never cut at the edge.
        double total = 0;
        for (double v : w) total += v;
        if (total > 0 && width() > 4)
            for (double& v : w) v *= (width() - 4) / total;
    }
    double x = look_ == Look::capsule ? 2 : 0;
    for (int i = 0; i < index; ++i) x += w[size_t(i)] + (look_ == Look::underline ? kUnderlineSpacing : 0);
    return QRectF(x, 0, w[size_t(index)], height()).toAlignedRect();
}

int SegmentedPicker::indexAt(QPoint point) const {
    for (int i = 0; i < int(options_.size()); ++i)
        if (optionRect(i).contains(point)) return i;
    return -1;
}

QSize SegmentedPicker::sizeHint() const {
    const auto w = widths();
    double total = 0;
    for (double v : w) total += v;
    const double h = QFontMetricsF(fontFor(true)).height();
    if (look_ == Look::underline) {
        total += kUnderlineSpacing * double(std::max<size_t>(1, w.size()) - 1);
        return {int(std::ceil(total)), int(std::ceil(h + 4 + 2))};
    }
    return {int(std::ceil(total + 4)), int(std::ceil(h + 12))};
}

void SegmentedPicker::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) p.setOpacity(Theme::disabledOpacity);
    if (look_ == Look::capsule) {
        const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        p.setPen(QPen(Theme::hairline().resolve(), 1));
        p.setBrush(Theme::inset().resolve());
        p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    }
    for (int i = 0; i < int(options_.size()); ++i) {
        const bool selected = i == current_;
        const QRectF r = optionRect(i);
        if (look_ == Look::underline) {
            const QFont f = fontFor(selected);
            const double textH = QFontMetricsF(f).height();
            p.setFont(f);
            p.setPen((selected ? Theme::accentInk() : Theme::tertiaryText()).resolve());
            p.drawText(QRectF(r.left(), 0, r.width(), textH), Qt::AlignCenter, options_[size_t(i)].title);
            if (selected) {
                p.setPen(Qt::NoPen);
                p.setBrush(Theme::accent().resolve());
                p.drawRoundedRect(QRectF(r.left(), textH + 4, r.width(), 2), 1, 1);
            }
        } else {
            if (selected) {
                const QRectF seg = r.adjusted(0, 2, 0, -2);
                p.setPen(QPen(Theme::hairline().resolve(), 1));
                p.setBrush(Theme::raised().resolve());
                p.drawRoundedRect(seg, seg.height() / 2, seg.height() / 2);
            }
            // A segment narrower than its text lowers the font rather than cutting the text.
            QFont f = fontFor(selected);
            const double room = r.width() - 8, natural = QFontMetricsF(f).horizontalAdvance(options_[size_t(i)].title.toUpper());
            if (natural > room && room > 0) f.setPointSizeF(f.pointSizeF() * room / natural);
            p.setFont(f);
            p.setPen((selected ? Theme::primaryText() : Theme::secondaryText()).resolve());
            p.drawText(r, Qt::AlignCenter, options_[size_t(i)].title);
        }
    }
}

void SegmentedPicker::mouseReleaseEvent(QMouseEvent* event) {
    const int i = indexAt(event->position().toPoint());
    if (i >= 0 && event->button() == Qt::LeftButton) emit picked(i);
}

void SegmentedPicker::keyPressEvent(QKeyEvent* event) {
    const int last = int(options_.size()) - 1;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        if (current_ > 0) emit picked(std::min(current_, last + 1) - 1);
        return;
    case Qt::Key_Right:
    case Qt::Key_Down:
        if (current_ < last) emit picked(std::max(current_, -1) + 1);
        return;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (current_ >= 0 && current_ <= last) emit picked(current_);
        return;
    default: QWidget::keyPressEvent(event);
    }
}

bool SegmentedPicker::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int i = indexAt(help->pos());
        if (i >= 0 && !options_[size_t(i)].tooltip.isEmpty())
            QToolTip::showText(help->globalPos(), options_[size_t(i)].tooltip, this, optionRect(i));
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

} // namespace sorvel::ui
