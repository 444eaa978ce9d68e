#pragma once
// The four painted button styles. The label is upper case with letter spacing (label
// style); the fill changes only while the button is held down; the whole padded rectangle
// takes the click. A disabled button looks the same: screens dim it themselves
// (setOpacity) where they want to.
//   accent      11 bold, white on Theme.accent (0.82 while pressed), padding 18x9, radius 9
//   softAccent  11 bold, accentInk on accentWash (0.75 pressed), padding 16x9, radius 9
//   outline     11 bold, accentInk on glassFill (accentWash pressed), accent@0.55 border 1.2
//   subtle      10.5 semibold, secondaryText on glassFill (inset pressed), hairline border 1
// Use it as any QAbstractButton (clicked(), setEnabled(), setToolTip(), setDefault via
// the owning dialog's key handling).
#include <QAbstractButton>

#include <optional>
#include <string>

#include "ui/kit/Theme.h"

namespace sorvel::ui {

class Button : public QAbstractButton {
    Q_OBJECT
public:
    enum class Style { accent, softAccent, outline, subtle };

    Button(const QString& title, Style style, QWidget* parent = nullptr);

    Style style() const { return style_; }
    void setStyle(Style style);
    /// A symbol drawn before the title.
    void setSymbol(std::string name);
    /// Paint opacity of the whole button (for screens that dim a disabled button).
    void setOpacity(double opacity);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    struct Look {
        double size;
        int weight;
        Adaptive label;
        double padX, padY, radius;
        Adaptive rest, pressed;
        std::optional<Adaptive> border;
        double borderWidth;
    };
    Look look() const;
    QFont labelFont() const;

    Style style_;
    std::string symbol_;
    double opacity_ = 1.0;
};

} // namespace sorvel::ui
