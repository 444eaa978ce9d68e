#pragma once
// The history page ("tool:history"): the trends card, then every removal run newest
// first, each opening to the paths it took and a button that puts them all back, with a
// summary of the last restore and "Clear log". Runs are read afresh from the stored
// history each time the page is shown.
#include <QWidget>

class QVBoxLayout;

namespace sorvel {
class HistoryModel;
class ScanCoordinator;
} // namespace sorvel

namespace sorvel::ui {

class StorageTrendsCard;
class Coalescer;

class HistoryView : public QWidget {
    Q_OBJECT
public:
    HistoryView(HistoryModel& history, ScanCoordinator& coordinator, QWidget* parent = nullptr);

    void flush();
    int builds() const { return builds_; }
    StorageTrendsCard* trends() const { return trends_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void rebuildLedger();
    QWidget* runCard(size_t index);

    HistoryModel& history_;
    StorageTrendsCard* trends_;
    QVBoxLayout* header_;
    QVBoxLayout* ledger_;
    Coalescer* rebuild_;
    int builds_ = 0;
};

} // namespace sorvel::ui
