#pragma once
#include <QLabel>

#include "ui/kit/Theme.h"

namespace sorvel::ui {

/// Selectable one-line text cut in the middle (or another place) to its width; the whole
/// text stays in the tooltip.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    ElidedLabel(QString text, const QFont& font, const Adaptive& colour, Qt::TextElideMode mode,
                bool selectable, QWidget* parent = nullptr);
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent*) override;

private:
    void refit();
    QString full_;
    Qt::TextElideMode mode_;
};

} // namespace sorvel::ui
