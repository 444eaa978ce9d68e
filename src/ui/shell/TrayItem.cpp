#include "ui/shell/TrayItem.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QScreen>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QWidget>

#include "ui/kit/AccessibleControls.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/Theme.h"
#include "ui/shell/ToolWindows.h"
#include "ui/shell/WindowBackground.h"
#include "ui/tools/MenuBarView.h"

namespace sorvel::ui {

QIcon TrayItem::trayIcon() { return trayIcon(Theme::systemDefault() == Appearance::dark); }

QIcon TrayItem::trayIcon(bool darkTray) {
    QIcon icon;
    for (int side : {16, 22, 24, 32, 48}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        Symbols::paint(p, QRectF(0, 0, side, side), "wind", darkTray ? Qt::white : Qt::black);
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

QRect TrayItem::panelFrame(QSize content, QRect anchor, QRect area) {
    QSize size = content;
    if (area.isValid()) size = size.boundedTo(area.size());
    QPoint at(anchor.center().x() - size.width() / 2, anchor.top() + anchor.height() + 6);
    if (area.isValid()) {
        if (at.y() + size.height() > area.bottom() + 1) at.setY(anchor.top() - 6 - size.height());
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())));
        at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
    }
    return {at, size};
}

QWidget* TrayItem::panelContent(const AppModels& models, QWidget* parent) {
    MenuBarView::Actions actions;
    actions.openSettings = [models] { ToolWindows::openSettingsFromPanel(models); };
    actions.openMain = [models] { ToolWindows::openMain(models); };
    actions.quit = [models] {
        if (models.quit) models.quit();
        else QApplication::quit();
    };
    return new MenuBarView(models.sweeper, std::move(actions), parent);
}

void TrayItem::showPanel(bool asWindow) {
    if (!panel_) {
        auto* frame = new WindowBackground;
        frame->setAttribute(Qt::WA_DeleteOnClose);
        AccessibleControls::setRole(frame, QAccessible::Window); // read as the window it is
        auto* layout = new QVBoxLayout(frame);
        layout->setContentsMargins(0, 0, 0, 0);
        // The content keeps its own size; where it is taller than the screen it scrolls.
        auto* scroll = scroll_ = new QScrollArea(frame);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setFocusPolicy(Qt::NoFocus); // Tab goes to the controls, not the frame
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setWidgetResizable(false);
        scroll->setAutoFillBackground(false);
        scroll->viewport()->setAutoFillBackground(false);
        if (QWidget* content = panelContent(models_, scroll)) {
            scroll->setWidget(content);
            content_ = content;
            content->installEventFilter(this);
        }
        layout->addWidget(scroll);
        auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), frame);
        connect(close, &QShortcut::activated, frame, &QWidget::close);
        frame->installEventFilter(this);
        panel_ = frame;
    }
    asWindow_ = asWindow;
    // By the tray: a frameless window that closes when it loses the focus, as a popup does,
    // but no popup: the accessibility bus lists no popup among the application's windows,
    // and a screen reader must find the panel as it finds the one without a tray.
    panel_->setWindowFlags(asWindow ? Qt::Window
                                    : (Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));
    panel_->setWindowTitle(asWindow ? windowTitle : "Sorvel");
    fitPanel();
    panel_->show();
    panel_->raise();
    panel_->activateWindow();
    // The panel takes the keyboard as it opens: its first control has the focus.
    if (!panel_->focusWidget() || panel_->focusWidget() == panel_) {
        const QWidgetList order = FocusRing::readingOrder(panel_);
        if (!order.isEmpty()) order.front()->setFocus(Qt::ActiveWindowFocusReason);
    }
}

void TrayItem::fitPanel() {
    if (!panel_ || !content_) return;
    content_->adjustSize();
    QSize content = content_->size();
    // Near the tray icon: its geometry when the desktop tells it, else the pointer.
    QRect anchor = icon_->geometry();
    if (!anchor.isValid()) anchor = QRect(QCursor::pos(), QSize(1, 1));
    const QScreen* screen = asWindow_ ? panel_->screen() : QGuiApplication::screenAt(anchor.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    QRect area = screen ? screen->availableGeometry() : QRect();
    // A window gets its frame from the window manager: keep room for it.
    if (asWindow_ && area.isValid()) area.adjust(0, 0, -16, -48);
    if (area.isValid() && content.height() > area.height())
        content.rwidth() += scroll_->verticalScrollBar()->sizeHint().width();
    if (asWindow_) anchor = QRect(area.center().x(), area.top() - 6, 1, 1);
    const QRect frame = panelFrame(content, anchor, area);
    panel_->setFixedSize(frame.size());
    if (!asWindow_ || !panel_->isVisible()) panel_->move(frame.topLeft());
}

bool TrayItem::eventFilter(QObject* watched, QEvent* event) {
    if (watched == panel_ && event->type() == QEvent::WindowDeactivate && !asWindow_)
        QMetaObject::invokeMethod(panel_, [panel = panel_] { if (panel) panel->close(); }, Qt::QueuedConnection);
    // The panel's height follows its content: when findings come or go, the frame follows.
    if (watched == content_ && event->type() == QEvent::Resize && panel_ && panel_->isVisible())
        QMetaObject::invokeMethod(this, &TrayItem::fitPanel, Qt::QueuedConnection);
    return QObject::eventFilter(watched, event);
}

} // namespace sorvel::ui
