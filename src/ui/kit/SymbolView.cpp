#include "ui/kit/SymbolView.h"

#include <QPainter>

#include <cmath>

#include "ui/kit/Symbols.h"

namespace sorvel::ui {

SymbolView::SymbolView(std::string name, Adaptive colour, double px, QWidget* parent, QSize size)
    : QWidget(parent), name_(std::move(name)), colour_(std::move(colour)), px_(px) {
    if (!size.isValid()) {
        const int side = int(std::ceil(Symbols::size(px).width()));
        size = QSize(side, side);
    }
    setFixedSize(size);
}

void SymbolView::setSymbol(std::string name, Adaptive colour) {
    name_ = std::move(name);
    colour_ = std::move(colour);
    update();
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Symbols::paint(p, QRectF(rect()), name_, colour_.resolve(), px_);
}

} // namespace sorvel::ui
