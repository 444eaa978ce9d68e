#include "ui/kit/SymbolView.h"

#include <QPainter>

#include <cmath>

#include "ui/kit/Symbols.h"

namespace sorvel::ui {

SymbolView::SymbolView(std::string name, Adaptive colour, double px, QWidget* parent, QSize frame)
    : QWidget(parent), name_(std::move(name)), colour_(std::move(colour)), px_(px) {
    const int side = int(std::ceil(Symbols::size(px).width()));
    setFixedSize(frame.width() > 0 ? frame.width() : side, frame.height() > 0 ? frame.height() : side);
}

void SymbolView::setSymbol(std::string name, Adaptive colour) {
    name_ = std::move(name);
    colour_ = std::move(colour);
    update();
}

void SymbolView::setRotation(double degrees) {
    rotation_ = degrees;
    update();
}

void SymbolView::setOpacity(double opacity) {
    opacity_ = opacity;
    update();
}

void SymbolView::paintEvent(QPaintEvent*) {
    if (opacity_ <= 0) return;
    QPainter p(this);
    p.setOpacity(opacity_);
    if (rotation_ != 0) {
        const QPointF centre = QRectF(rect()).center();
        p.translate(centre);
        p.rotate(rotation_);
        p.translate(-centre);
    }
    Symbols::paint(p, QRectF(rect()), name_, colour_.resolve(), px_);
}

} // namespace sorvel::ui
