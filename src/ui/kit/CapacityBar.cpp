#include "ui/kit/CapacityBar.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "engine/Bytes.h"
#include "ui/kit/AccessibleControls.h"
#include "ui/kit/Animations.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LabelStyle.h"
#include "ui/kit/Theme.h"

namespace sorvel::ui {

namespace {
constexpr double kBarHeight = 9;
constexpr double kSpacing = 11;
constexpr double kGap = 3;
constexpr double kSwatch = 9;
constexpr double kInner = 6;    // swatch to title, title to figure
constexpr double kBetween = 14; // entry to entry on a line
constexpr double kLineGap = 4;  // between wrapped legend lines

QFont titleFont() { return LabelStyle::font(9.5, Fonts::Weight::semibold); }
QFont valueFont() { return Fonts::mono(11, Fonts::Weight::medium); }
QFont noteFont() { return Fonts::system(10.5); }
} // namespace

int64_t CapacityBar::other(int64_t scanned, int64_t used) { return std::max<int64_t>(0, used - scanned); }

std::array<double, 3> CapacityBar::widths(double width, int64_t scanned, int64_t used, int64_t free) {
    const int64_t counts[3] = {scanned, other(scanned, used), free};
    const double total = double(counts[0]) + double(counts[1]) + double(counts[2]);
    const double divisor = total > 1 ? total : 1;
    const double usable = std::max(0.0, width - 2 * kGap);
    std::array<double, 3> out{};
    for (int i = 0; i < 3; ++i) {
        const double proportional = usable * (double(counts[i]) / divisor);
        const double minimum = counts[i] > 0 ? 4.0 : 0.0;
        out[size_t(i)] = std::max(proportional, minimum);
    }
    return out;
}

CapacityBar::CapacityBar(QWidget* parent) : QWidget(parent), animation_(new QVariantAnimation(this)) {
    // As tall as its legend's lines at the width it gets.
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    // Its legend read entry by entry: "System Data, 12 GB", the figure as the value.
    AccessibleControls::describeRows(
        this, {QAccessible::List, [] { return QString("Volume"); }, {}, {}},
        {QAccessible::ListItem, [] { return 3; }, [this](int i) { return titleText(size_t(i)) + ", " + valueText(size_t(i)); },
         [this](int i) { return valueText(size_t(i)); }, [this](int) { return rect(); }, {}, {}});
    animation_->setDuration(400);
    animation_->setEasingCurve(QEasingCurve::OutCubic);
    animation_->setStartValue(0.0);
    animation_->setEndValue(1.0);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        const double t = v.toDouble();
        for (size_t i = 0; i < 3; ++i) shown_[i] = from_[i] + (target_[i] - from_[i]) * t;
        update();
    });
}

void CapacityBar::setValues(const Values& values) {
    if (values == values_) return;
    values_ = values;
    setToolTip(values_.note);
    setAccessibleDescription(values_.note);
    retarget();
    updateGeometry();
    update();
}

// A volume nobody could read has no proportions: a bar of the scan alone would read as a full disk.
std::array<double, 3> CapacityBar::targetWidths() const {
    if (!values_.volumeMeasured) return {0, 0, 0};
    return widths(width(), values_.scanned, values_.used, values_.free);
}

void CapacityBar::resizeEvent(QResizeEvent*) {
    target_ = targetWidths();
    animation_->stop();
    shown_ = target_;
}

void CapacityBar::retarget() {
    const auto next = targetWidths();
    if (next == target_) return;
    target_ = next;
    if (!Animations::enabled() || !isVisible()) {
        animation_->stop();
        shown_ = target_;
        return;
    }
    from_ = shown_;
    animation_->stop();
    animation_->start();
}

namespace {
double rowHeight() { return std::max(QFontMetricsF(titleFont()).height(), QFontMetricsF(valueFont()).height()); }
int heightFor(int lines) { return int(std::ceil(kBarHeight + kSpacing + lines * rowHeight() + (lines - 1) * kLineGap)); }
} // namespace

QSize CapacityBar::sizeHint() const {
    return {std::max(360, int(std::ceil(legendWidth()))), heightFor(1) + (values_.note.isEmpty() ? 0 : noteHeight())};
}

// Never narrower than one entry with its title shortened to a letter: a figure is never cut.
QSize CapacityBar::minimumSizeHint() const {
    const QFontMetricsF tm(titleFont());
    const QFontMetricsF vm(valueFont());
    const double shortest = tm.horizontalAdvance(QStringLiteral("W\u2026"));
    double widest = 0;
    for (size_t i = 0; i < 3; ++i)
        widest = std::max(widest, kSwatch + kInner + shortest + kInner + vm.horizontalAdvance(valueText(i)));
    return {int(std::ceil(widest)), heightFor(1) + (values_.note.isEmpty() ? 0 : noteHeight())};
}

int CapacityBar::heightForWidth(int width) const {
    return heightFor(legend(width)[2].line + 1) + (values_.note.isEmpty() ? 0 : noteHeight());
}

int CapacityBar::noteHeight() { return int(std::ceil(kLineGap + QFontMetricsF(noteFont()).height())); }

std::array<CapacityBar::LegendEntry, 3> CapacityBar::legend(double width) const {
    const QFontMetricsF tm(titleFont());
    const QFontMetricsF vm(valueFont());
    std::array<LegendEntry, 3> out;
    int line = 0;
    double x = 0;
    for (size_t i = 0; i < 3; ++i) {
        QString title = titleText(i).toUpper();
        const double fixed = kSwatch + kInner + kInner + vm.horizontalAdvance(valueText(i));
        double entry = fixed + tm.horizontalAdvance(title);
        if (x > 0 && x + kBetween + entry > width) {
            ++line;
            x = 0;
        } else if (x > 0) {
            x += kBetween;
        }
        if (entry > width) {
            title = tm.elidedText(title, Qt::ElideRight, std::max(0.0, width - fixed));
            entry = fixed + tm.horizontalAdvance(title);
        }
        out[i] = {line, x, title, entry};
        x += entry;
    }
    return out;
}

QString CapacityBar::valueText(size_t i) const {
    switch (i) {
    case 0: return values_.hasScanned ? QString::fromStdString(Bytes::format(values_.scanned)) : QStringLiteral("\u2014");
    case 1:
        if (!values_.volumeMeasured) return QStringLiteral("not measured");
        return QString::fromStdString(Bytes::format(other(values_.scanned, values_.used)));
    default:
        if (!values_.volumeMeasured) return QStringLiteral("not measured");
        return QString::fromStdString(Bytes::format(values_.free));
    }
}

QString CapacityBar::titleText(size_t i) const {
    return i == 0 ? values_.label : i == 1 ? QStringLiteral("Other") : QStringLiteral("Free");
}

double CapacityBar::legendWidth() const {
    const QFontMetricsF tm(titleFont());
    const QFontMetricsF vm(valueFont());
    double w = 0;
    for (size_t i = 0; i < 3; ++i) {
        if (i > 0) w += kBetween;
        w += kSwatch + kInner + tm.horizontalAdvance(titleText(i).toUpper()) + kInner + vm.horizontalAdvance(valueText(i));
    }
    return w;
}

void CapacityBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colours[3] = {Theme::accent().resolve(), Theme::otherGrey().resolve(), Theme::inset().resolve()};
    double x = 0;
    for (size_t i = 0; i < 3; ++i) {
        const double w = shown_[i];
        if (w > 0) {
            p.setPen(Qt::NoPen);
            p.setBrush(colours[i]);
            p.drawRoundedRect(QRectF(x, 0, w, kBarHeight), std::min(w, kBarHeight) / 2, kBarHeight / 2);
        }
        x += w + kGap;
    }

    const QFont tf = titleFont();
    const QFont vf = valueFont();
    const double rowH = rowHeight();
    const auto entries = legend(width());
    for (size_t i = 0; i < 3; ++i) {
        const auto& e = entries[i];
        const double top = kBarHeight + kSpacing + e.line * (rowH + kLineGap);
        double lx = e.x;
        p.setPen(Qt::NoPen);
        p.setBrush(colours[i]);
        const QRectF swatch(lx, top + (rowH - kSwatch) / 2, kSwatch, kSwatch);
        p.drawRoundedRect(swatch, 2.5, 2.5);
        // The free colour is all but the ground's own (in the dark appearance nearly the
        // same): an outline keeps its swatch in sight.
        if (i == 2) {
            p.setPen(QPen(Theme::tertiaryText().opacity(0.7).resolve(), 1));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(swatch.adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
        }
        lx += kSwatch + kInner;
        const double tw = QFontMetricsF(tf).horizontalAdvance(e.title);
        p.setFont(tf);
        p.setPen(Theme::tertiaryText().resolve());
        p.drawText(QRectF(lx, top, tw + 2, rowH), Qt::AlignLeft | Qt::AlignVCenter, e.title);
        lx += tw + kInner;
        const QString value = valueText(i);
        p.setFont(vf);
        p.setPen(Theme::primaryText().resolve());
        p.drawText(QRectF(lx, top, QFontMetricsF(vf).horizontalAdvance(value) + 2, rowH), Qt::AlignLeft | Qt::AlignVCenter,
                   value);
    }
    if (!values_.note.isEmpty()) {
        const QFont nf = noteFont();
        const double top = kBarHeight + kSpacing + (entries[2].line + 1) * rowH + entries[2].line * kLineGap + kLineGap;
        p.setFont(nf);
        p.setPen(Theme::secondaryText().resolve());
        // Cut in the middle, so both the disk shown and what lies elsewhere stay in sight.
        p.drawText(QRectF(0, top, width(), QFontMetricsF(nf).height()), Qt::AlignLeft | Qt::AlignVCenter,
                   QFontMetricsF(nf).elidedText(values_.note, Qt::ElideMiddle, width()));
    }
}

} // namespace sorvel::ui
