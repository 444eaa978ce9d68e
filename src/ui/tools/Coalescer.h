#pragma once
// Runs `work` once at the next turn of the event loop, however often it is asked before.
#include <QObject>

#include <functional>

namespace sorvel::ui {

class Coalescer : public QObject {
    Q_OBJECT
public:
    Coalescer(std::function<void()> work, QObject* parent);
    void request();
    /// Runs a pending request now (tests, and screens that must be current at once).
    void flush();

private:
    std::function<void()> work_;
    bool pending_ = false;
};

} // namespace sorvel::ui
