#pragma once
// A column of rows laid out whole (in a page that scrolls) that is one Tab stop, as a long
// list is: Tab enters it at the row last focused (else its first), Up, Down, Home, End, Page
// Up and Page Down move the focus among its rows, and Tab leaves it for the control after
// it, however many rows it holds. A row is any widget in it that takes the focus.
#include <QPointer>
#include <QWidget>

class QKeyEvent;

namespace sorvel::ui {

class RowColumn : public QWidget {
    Q_OBJECT
public:
    explicit RowColumn(QWidget* parent = nullptr);

    /// Its rows in reading order.
    QWidgetList rows() const;
    /// What Tab stops at in the column: its current row.
    QWidgetList tabStops() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow(QWidget* now);
    bool move(QWidget* from, const QKeyEvent* key);

    QPointer<QWidget> current_;
};

} // namespace sorvel::ui
