#pragma once
// Quitting Sorvel (Quit, Ctrl+Q, "Quit Sorvel", closing the last window): the process ends
// only when no move to the Trash is in flight. While one runs, a notice says so and the
// process ends as soon as it has finished (the user may take the quit back); a move is
// never abandoned halfway. Before ending, the sweep schedule is disarmed and every
// window closes, whatever window is open.
#include <QObject>
#include <QPointer>

#include <functional>

#include <QMessageBox>
class QTimer;

namespace sorvel::ui {

class QuitFlow : public QObject {
    Q_OBJECT
public:
    /// How many moves to the Trash (or back out of it) run now in the process.
    using MovesInFlight = std::function<int()>;

    static constexpr int pollMs = 100;
    static const char* const waitingText;
    static const char* const takeBackText;

    /// `beforeExit` runs once, right before the event loop is told to end.
    QuitFlow(MovesInFlight moves, std::function<void()> beforeExit, QObject* parent = nullptr);

    /// Ends the process now, or once the moves in flight have finished.
    void request();
    /// The notice shown while waiting, if any.
    QMessageBox* notice() const { return notice_; }
    /// Whether the flow has told the event loop to end.
    bool hasEnded() const { return ended_; }
    /// Whether it waits for moves in flight to end.
    bool isWaiting() const { return waiting_; }

signals:
    void waitingChanged();

private:
    void poll();
    void end();
    void stopWaiting();

    MovesInFlight moves_;
    std::function<void()> beforeExit_;
    QTimer* timer_;
    QPointer<QMessageBox> notice_;
    bool waiting_ = false;
    bool ended_ = false;
};

} // namespace sorvel::ui
