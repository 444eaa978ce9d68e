#include "ui/tools/Coalescer.h"

#include <QTimer>

namespace sorvel::ui {

Coalescer::Coalescer(std::function<void()> work, QObject* parent) : QObject(parent), work_(std::move(work)) {}

void Coalescer::request() {
    if (pending_) return;
    pending_ = true;
    QTimer::singleShot(0, this, [this] { flush(); });
}

void Coalescer::flush() {
    if (!pending_) return;
    pending_ = false;
    work_();
}

} // namespace sorvel::ui
