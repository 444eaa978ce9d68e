#pragma once
// A named symbol as a widget of fixed size, for layouts (Symbols::paint for painted areas).
#include <QWidget>

#include <string>

#include "ui/kit/Theme.h"

namespace sorvel::ui {

class SymbolView : public QWidget {
    Q_OBJECT
public:
    /// `px` is the text size the symbol stands beside; `frame` the widget's size, where a
    /// side of 0 or less (the default) takes the symbol's own square.
    SymbolView(std::string name, Adaptive colour, double px, QWidget* parent = nullptr, QSize frame = {});
    void setSymbol(std::string name, Adaptive colour);
    void setRotation(double degrees);
    void setOpacity(double opacity);
    const std::string& name() const { return name_; }
    QSize sizeHint() const override { return size(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::string name_;
    Adaptive colour_;
    double px_;
    double rotation_ = 0;
    double opacity_ = 1;
};

} // namespace sorvel::ui
