#include "ui/shell/TrayItem.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QWidget>

#include "ui/kit/Symbols.h"
#include "ui/kit/Theme.h"
#include "ui/shell/PageFactory.h"
#include "ui/shell/WindowBackground.h"

namespace sorvel::ui {

QIcon TrayItem::trayIcon() {
    QIcon icon;
    for (int side : {16, 22, 24, 32, 48}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        Symbols::paint(p, QRectF(0, 0, side, side), "wind", Theme::appearance() == Appearance::dark ? Qt::white : Qt::black);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

TrayItem::TrayItem(const AppModels& models, QObject* parent) : QObject(parent), models_(models), icon_(new QSystemTrayIcon(this)) {
    icon_->setIcon(trayIcon());
    icon_->setToolTip("Sorvel");
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context) showPanel(false);
    });
    icon_->show();
}

TrayItem::~TrayItem() { delete panel_; }

void TrayItem::showPanel(bool asWindow) {
    if (!panel_) {
        auto* frame = new WindowBackground;
        frame->setWindowTitle("Sorvel");
        frame->setAttribute(Qt::WA_DeleteOnClose);
        auto* layout = new QVBoxLayout(frame);
        layout->setContentsMargins(0, 0, 0, 0);
        // The panel's height follows its content: when findings leave, the window shrinks.
        layout->setSizeConstraint(QLayout::SetFixedSize);
        if (QWidget* content = PageFactory::trayPanel(models_, frame)) layout->addWidget(content);
        panel_ = frame;
    }
    panel_->setWindowFlags(asWindow ? Qt::Window : (Qt::Popup | Qt::FramelessWindowHint));
    panel_->adjustSize();
    if (!asWindow) {
        // Near the tray icon: its geometry when the desktop tells it, else the pointer.
        QRect anchor = icon_->geometry();
        if (!anchor.isValid()) anchor = QRect(QCursor::pos(), QSize(1, 1));
        QPoint at(anchor.center().x() - panel_->width() / 2, anchor.bottom() + 6);
        if (QScreen* screen = QGuiApplication::screenAt(anchor.center())) {
            const QRect area = screen->availableGeometry();
            if (at.y() + panel_->height() > area.bottom()) at.setY(anchor.top() - 6 - panel_->height());
            at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - panel_->width())));
            at.setY(std::max(at.y(), area.top()));
        }
        panel_->move(at);
    }
    panel_->show();
    panel_->raise();
    panel_->activateWindow();
}

} // namespace sorvel::ui
