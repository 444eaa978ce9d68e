#pragma once
// The four painted button styles. The label is upper case with letter spacing (label
// style); the fill changes only while the button is held down; the whole padded rectangle
// takes the click. A disabled button is drawn faint (Theme::disabledOpacity), in every style
// and on every screen alike, and ignores clicks; a busy one ("Moving…", "Checking…") is
// disabled too but keeps its full ink, as its title says what is running.
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
    /// Marks the button as standing for an operation under way: disabled, at full ink.
    void setBusy(bool busy);
    bool isBusy() const { return busy_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;
    void changeEvent(QEvent*) override;

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
    bool busy_ = false;
};

} // namespace sorvel::ui
