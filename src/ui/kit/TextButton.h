#pragma once
// A borderless text button ("Copy", "Reveal", "Remove", "Use all"): its title in a colour,
// no surface, faded while pressed. `Fit::tight` is as tall as a line of its font (links
// inside sentences and card heads), `Fit::padded` a pixel more above and below.
#include <QAbstractButton>

#include "ui/kit/Theme.h"

namespace sorvel::ui {

class TextButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Fit { tight, padded };
    TextButton(const QString& title, QFont font, Adaptive colour, QWidget* parent = nullptr, Fit fit = Fit::padded);
    void setColour(const Adaptive& colour);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QFont font_;
    Adaptive colour_;
    Fit fit_;
};

} // namespace sorvel::ui
