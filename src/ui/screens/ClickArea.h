#pragma once
// A plain button whose whole rectangle takes the click and whose look is its children
// (the heads of collapsible cards and rows).
#include <QAbstractButton>
#include <QHBoxLayout>

namespace sorvel::ui {

class ClickArea : public QAbstractButton {
    Q_OBJECT
public:
    explicit ClickArea(QWidget* parent = nullptr);
    QHBoxLayout* row() const { return row_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override {}

private:
    QHBoxLayout* row_;
};

} // namespace sorvel::ui
