#include "ui/tools/NextSweepTicker.h"

#include "models/SweepScheduler.h"
#include "ui/tools/MenuBarRules.h"

namespace sorvel::ui {

NextSweepTicker::NextSweepTicker(SweepScheduler& scheduler, std::function<void()> refresh, QObject* parent)
    : QObject(parent), scheduler_(scheduler), refresh_(std::move(refresh)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer); // the figure changes on the second
    connect(&timer_, &QTimer::timeout, this, &NextSweepTicker::tick);
}

void NextSweepTicker::start() { tick(); }

void NextSweepTicker::stop() { timer_.stop(); }

void NextSweepTicker::tick() {
    refresh_();
    timer_.start(MenuBarRules::nextSweepRefreshMs(scheduler_.nextSweep().at, scheduler_.now()));
}

} // namespace sorvel::ui
