#pragma once
// A named symbol as a widget of fixed size, for layouts (Symbols::paint for painted areas).
#include <QWidget>

#include <string>

#include "ui/kit/Theme.h"

namespace sorvel::ui {

class SymbolView : public QWidget {
    Q_OBJECT
public:
    /// `px` is the text size the symbol stands beside; `size` the frame (default: the
    /// symbol's own square).
    SymbolView(std::string name, Adaptive colour, double px, QWidget* parent = nullptr, QSize size = {});
    void setSymbol(std::string name, Adaptive colour);
    const std::string& name() const { return name_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::string name_;
    Adaptive colour_;
    double px_;
};

} // namespace sorvel::ui
