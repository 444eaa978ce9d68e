#include "ui/kit/LabelStyle.h"

namespace sorvel::ui::LabelStyle {

QFont font(double px, Fonts::Weight weight) {
    QFont f = Fonts::system(px, weight);
    f.setCapitalization(QFont::AllUppercase);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 1.1);
    return f;
}

} // namespace sorvel::ui::LabelStyle
