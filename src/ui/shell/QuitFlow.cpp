#include "ui/shell/QuitFlow.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace sorvel::ui {

const char* const QuitFlow::waitingText =
    "Sorvel is still moving items. It will quit as soon as the move has finished, so nothing is left halfway.";
const char* const QuitFlow::takeBackText = "Don't Quit";

QuitFlow::QuitFlow(MovesInFlight moves, std::function<void()> beforeExit, QObject* parent)
    : QObject(parent), moves_(std::move(moves)), beforeExit_(std::move(beforeExit)), timer_(new QTimer(this)) {
    timer_->setInterval(pollMs);
    connect(timer_, &QTimer::timeout, this, &QuitFlow::poll);
}

void QuitFlow::request() {
    if (ended_) return;
    if (!moves_ || moves_() == 0) {
        end();
        return;
    }
    if (!waiting_) {
        waiting_ = true;
        timer_->start();
        emit waitingChanged();
    }
    if (!notice_) {
        auto* box = new QMessageBox(QMessageBox::Information, "Quitting Sorvel", waitingText, QMessageBox::NoButton);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        QPushButton* back = box->addButton(takeBackText, QMessageBox::RejectRole);
        connect(back, &QPushButton::clicked, this, &QuitFlow::stopWaiting);
        notice_ = box;
    }
    notice_->show();
    notice_->raise();
}

void QuitFlow::poll() {
    if (moves_ && moves_() > 0) return;
    end();
}

void QuitFlow::stopWaiting() {
    timer_->stop();
    if (!waiting_) return;
    waiting_ = false;
    emit waitingChanged();
}

void QuitFlow::end() {
    if (ended_) return;
    ended_ = true;
    timer_->stop();
    if (notice_) notice_->close();
    if (beforeExit_) beforeExit_();
    // Not QApplication::quit(): that asks every window to close and gives up when one
    // keeps itself (the main window hides to the tray), so Quit sometimes did nothing.
    QCoreApplication::exit(0);
}

} // namespace sorvel::ui
