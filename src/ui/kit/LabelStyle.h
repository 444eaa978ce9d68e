#pragma once
// The small-caption style used across the window: the system face at a size and weight,
// upper case, letter spacing 1.1.
#include <QFont>

#include "ui/kit/Fonts.h"

namespace sorvel::ui::LabelStyle {

QFont font(double px, Fonts::Weight weight);

} // namespace sorvel::ui::LabelStyle
