#pragma once
// Gathers changed paths until the reports have been quiet for a while, then says so once:
// every new report restarts the wait. Lives on the main thread; its timers are children of
// the owner, so they go with it.
#include <QObject>
#include <QTimer>

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace sorvel {

class QuietPeriod {
public:
    QuietPeriod(QObject* owner, int milliseconds, std::function<void()> elapsed)
        : owner_(owner), milliseconds_(milliseconds), elapsed_(std::move(elapsed)) {}
    QuietPeriod(const QuietPeriod&) = delete;
    QuietPeriod& operator=(const QuietPeriod&) = delete;

    /// Adds the paths and starts the wait again.
    void add(const std::vector<std::string>& paths) {
        gathered_.insert(paths.begin(), paths.end());
        cancel();
        // A fresh timer each time: a timeout already on its way belongs to the old one.
        auto* timer = new QTimer(owner_);
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer); // a coarse timer may fire up to 5% early
        timer_ = timer;
        QObject::connect(timer, &QTimer::timeout, owner_, [this, timer] {
            if (timer_ == timer) timer_ = nullptr;
            timer->deleteLater();
            elapsed_();
        });
        timer->start(milliseconds_);
    }

    /// Adds the paths without starting the wait: they go with the next batch.
    void keep(const std::vector<std::string>& paths) { gathered_.insert(paths.begin(), paths.end()); }

    /// What has been gathered, which is then forgotten.
    std::set<std::string> take() { return std::exchange(gathered_, {}); }

    /// Stops the wait; what has been gathered stays.
    void cancel() {
        if (!timer_) return;
        timer_->stop();
        timer_->deleteLater();
        timer_ = nullptr;
    }

private:
    QObject* owner_;
    int milliseconds_;
    std::function<void()> elapsed_;
    std::set<std::string> gathered_;
    QTimer* timer_ = nullptr;
};

} // namespace sorvel
