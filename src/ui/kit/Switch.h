#pragma once
// A painted on/off switch: a capsule track and a round knob (Theme.raised, hairline
// border, soft shadow) that slides to the trailing end when on. The track is Theme.accent
// when on and Theme.inset (hairline border) when off, unless setTrackColours says
// otherwise; each end may carry a symbol on the knob (the appearance toggle's sun and
// moon). Checkable QAbstractButton: toggled(bool), setChecked(). The knob glides when
// animations are on.
#include <QAbstractButton>
#include <QVariantAnimation>

#include <optional>
#include <string>

#include "ui/kit/Theme.h"

namespace sorvel::ui {

class Switch : public QAbstractButton {
    Q_OBJECT
public:
    explicit Switch(QSize size = QSize(36, 20), QWidget* parent = nullptr);

    struct KnobSymbol {
        std::string name;
        Adaptive colour;
    };
    void setKnobSymbols(std::optional<KnobSymbol> off, std::optional<KnobSymbol> on);
    void setTrackColours(Adaptive off, Adaptive on);
    /// Where the knob is: 0 at the leading end, 1 at the trailing end.
    double knobPosition() const { return position_; }
    QSize sizeHint() const override { return size_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void checkStateSet() override;
    void nextCheckState() override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    void moveKnob();
    QRectF trackRect() const;

    QSize size_;
    std::optional<KnobSymbol> offSymbol_;
    std::optional<KnobSymbol> onSymbol_;
    Adaptive trackOff_;
    Adaptive trackOn_;
    double position_ = 0;
    bool hovering_ = false;
    QVariantAnimation* animation_;
};

} // namespace sorvel::ui
