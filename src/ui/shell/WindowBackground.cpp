#include "ui/shell/WindowBackground.h"

#include <QLinearGradient>
#include <QPainter>

#include "ui/kit/Theme.h"

namespace sorvel::ui {

WindowBackground::WindowBackground(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void WindowBackground::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Theme::window().resolve());
    QLinearGradient wash(rect().topLeft(), rect().bottomRight());
    wash.setColorAt(0, Theme::washTop().resolve());
    wash.setColorAt(1, Theme::washBottom().resolve());
    p.fillRect(rect(), wash);
}

} // namespace sorvel::ui
