#pragma once
// "What is growing": the newest storage measurement of the current scope against an
// older one chosen by a period of 7, 30 or 90 days. Keeps only the period; everything
// else is read from the coordinator whenever it publishes.
#include <QWidget>

class QVBoxLayout;

namespace sorvel {
class ScanCoordinator;
}

namespace sorvel::ui {

class SegmentedPicker;

class StorageTrendsCard : public QWidget {
    Q_OBJECT
public:
    explicit StorageTrendsCard(ScanCoordinator& coordinator, int days = 30, QWidget* parent = nullptr);

    int days() const { return days_; }
    void setDays(int days);
    /// Draws the card again from the coordinator.
    void refresh();

private:
    ScanCoordinator& coordinator_;
    int days_;
    SegmentedPicker* picker_;
    QVBoxLayout* body_;
};

} // namespace sorvel::ui
