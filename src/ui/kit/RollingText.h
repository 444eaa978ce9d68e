#pragma once
// A one-line Text whose changed characters roll upward into place: in each character's cell
// the old one slides up and out while the new one comes in from below. text() is the new
// text at once; only the drawing moves, and characters that stay the same stay still.
// With animations off, or while hidden, the new text is drawn at once.
#include <QVariantAnimation>

#include <vector>

#include "ui/kit/Text.h"

namespace sorvel::ui {

class RollingText : public Text {
    Q_OBJECT
public:
    RollingText(QString text, QFont font, Adaptive colour, QWidget* parent = nullptr);

    void setText(const QString& text) override;
    /// The roll in progress (stopped when every character is in place).
    QVariantAnimation* roll() const { return roll_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Where a cell's new character is now, in cell heights below its resting place; the old
    // one is drawn one cell height above it.
    double offset(size_t cell) const;

    struct Cell {
        QChar from;         // the character rolling out; null when none
        double start = 0.0; // offset of the new character when the roll began; 0 = still
    };
    std::vector<Cell> cells_;
    QVariantAnimation* roll_;
};

} // namespace sorvel::ui
