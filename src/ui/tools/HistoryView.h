#pragma once
// The history page ("tool:history"): the trends card, then every removal run newest
// first, each opening to the paths it took and a button that puts them all back, with a
// summary of the last restore and "Clear log". Runs are read afresh from the stored
// history each time the page is shown.
#include <QPointer>
#include <QWidget>

#include <optional>
#include <vector>

#include "platform/UUID.h"

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
    /// The card of a run on the page, if listed (tests).
    QWidget* card(const UUID& id) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void rebuildLedger();
    QWidget* runCard(size_t index);
    /// Opens or closes a run: the card's height eases over 0.12 s.
    void toggleRun(const UUID& id);

    struct ListedCard {
        UUID id;
        QPointer<QWidget> card;
        QPointer<QWidget> header;
    };
    std::vector<ListedCard> cards_;
    std::optional<UUID> opening_; // a run whose card unfolds once rebuilt
    HistoryModel& history_;
    StorageTrendsCard* trends_;
    QVBoxLayout* header_;
    QVBoxLayout* ledger_;
    Coalescer* rebuild_;
    int builds_ = 0;
};

} // namespace sorvel::ui
