#include "ui/shell/NavigationControls.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>

#include <cmath>

#include "models/ScanCoordinator.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/Theme.h"
#include "ui/shell/MainMenu.h"

namespace sorvel::ui {

NavigationButton::NavigationButton(std::string symbol, QWidget* parent) : QAbstractButton(parent), symbol_(std::move(symbol)) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    FocusRing::attach(this, {{}, 7});
}

void NavigationButton::setLabel(const QString& label) {
    label_ = label;
    updateGeometry();
    update();
}

// A long crumb gives way (it elides, then only its chevron remains) before the header's
// capacity legend does.
QSize NavigationButton::minimumSizeHint() const { return {30, 28}; }

QSize NavigationButton::sizeHint() const {
    if (label_.isEmpty()) return {30, 28};
    const double w = 9 + Symbols::size(11).width() + 5 + QFontMetricsF(Fonts::system(11.5, Fonts::Weight::medium)).horizontalAdvance(label_) + 9;
    return {int(std::ceil(std::min(w, 260.0))), 28};
}

void NavigationButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (isDown() && isEnabled()) {
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::inset().resolve());
        p.drawRoundedRect(QRectF(rect()), 7, 7);
    }
    if (label_.isEmpty()) {
        const QColor c = isEnabled() ? Theme::secondaryText().resolve() : Theme::tertiaryText().opacity(0.4).resolve();
        Symbols::paint(p, QRectF(rect()), symbol_, c, 12);
        return;
    }
    const QColor c = Theme::secondaryText().resolve();
    const QSizeF s = Symbols::size(11);
    const QFont f = Fonts::system(11.5, Fonts::Weight::medium);
    const double x = 9 + s.width() + 5;
    const double w = width() - x - 9;
    // Too narrow for a readable name: the chevron alone, centred (the tooltip names it).
    if (w < QFontMetricsF(f).horizontalAdvance(QStringLiteral("Ab…"))) {
        Symbols::paint(p, QRectF(rect()), symbol_, c, 11);
        return;
    }
    Symbols::paint(p, QRectF(9, (height() - s.height()) / 2, s.width(), s.height()), symbol_, c, 11);
    p.setFont(f);
    p.setPen(c);
    p.drawText(QRectF(x, 0, w, height()), Qt::AlignLeft | Qt::AlignVCenter, QFontMetricsF(f).elidedText(label_, Qt::ElideRight, w));
}

NavigationControls::NavigationControls(ScanCoordinator& coordinator, MainMenu& menu, QWidget* parent)
    : QWidget(parent), coordinator_(coordinator), back_(new NavigationButton("chevron.backward", this)),
      forward_(new NavigationButton("chevron.forward", this)), up_(new NavigationButton("chevron.up", this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    row->addWidget(back_);
    row->addWidget(forward_);
    row->addWidget(up_);
    row->addStretch();
    up_->setMaximumWidth(kUpWidth);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    back_->setToolTip("Back (Ctrl+[)");
    back_->setAccessibleName("Back");
    forward_->setToolTip("Forward (Ctrl+])");
    forward_->setAccessibleName("Forward");
    // The menu's actions own the shortcuts; these buttons only trigger them.
    connect(back_, &QAbstractButton::clicked, menu.back(), &QAction::trigger);
    connect(forward_, &QAbstractButton::clicked, menu.forward(), &QAction::trigger);
    connect(up_, &QAbstractButton::clicked, menu.enclosingFolder(), &QAction::trigger);
    for (auto signal : {&ScanCoordinator::selectedCategoryChanged, &ScanCoordinator::drillPathChanged,
                        &ScanCoordinator::navigationTokenChanged, &ScanCoordinator::resultChanged})
        connect(&coordinator_, signal, this, &NavigationControls::refresh);
    refresh();
}

void NavigationControls::refresh() {
    back_->setEnabled(!coordinator_.backStack().empty());
    forward_->setEnabled(!coordinator_.forwardStack().empty());
    const auto name = coordinator_.parentName();
    const bool showsUp = coordinator_.canGoUp() && name.has_value();
    up_->setVisible(showsUp);
    if (showsUp) {
        const QString n = QString::fromStdString(*name);
        up_->setLabel(n);
        up_->setToolTip("Up to " + n + " (Ctrl+↑)");
        up_->setAccessibleName("Up to " + n);
    }
}

} // namespace sorvel::ui
