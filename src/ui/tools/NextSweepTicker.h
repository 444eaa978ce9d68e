#pragma once
// Keeps what a view shows of the next sweep true while it is shown: worked out again the
// moment its countdown's figure changes or the sweep falls due, and at least every second,
// so a clock set forward or back is followed within one.
#include <QObject>
#include <QTimer>

#include <functional>

namespace sorvel {
class SweepScheduler;
}

namespace sorvel::ui {

class NextSweepTicker final : public QObject {
public:
    NextSweepTicker(SweepScheduler& scheduler, std::function<void()> refresh, QObject* parent);
    /// Refreshes now, then whenever the shown time may have changed, until `stop`.
    void start();
    void stop();

private:
    void tick();

    SweepScheduler& scheduler_;
    std::function<void()> refresh_;
    QTimer timer_;
};

} // namespace sorvel::ui
