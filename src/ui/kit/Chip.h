#pragma once
// A small capsule tag: text in 9.5 bold with letter spacing 0.7 (case kept), padded 9x4.5,
// on a filled capsule. Use the widget in layouts, or Chip::paint/Chip::size inside painted
// areas (rows, treemap tiles).
#include <QWidget>

#include "ui/kit/Theme.h"

namespace sorvel::ui {

class Chip : public QWidget {
    Q_OBJECT
public:
    Chip(QString text, Adaptive ink, Adaptive fill, QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return text_; }
    void setColours(const Adaptive& ink, const Adaptive& fill);
    QSize sizeHint() const override;

    static QFont font();
    static QSizeF size(const QString& text);
    /// Paints the chip with its top-left corner at `topLeft`.
    static void paint(QPainter& painter, QPointF topLeft, const QString& text, const QColor& ink, const QColor& fill);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString text_;
    Adaptive ink_;
    Adaptive fill_;
};

} // namespace sorvel::ui
