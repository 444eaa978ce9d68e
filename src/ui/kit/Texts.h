#pragma once
// Ready-made texts in the house styles: plain, wrapping, monospaced, a path, a caption, a
// figure, and selectable labels. `q` turns the core's UTF-8 strings into QString.
#include <QLabel>
#include <QString>

#include <string>

#include "ui/kit/Fonts.h"
#include "ui/kit/Text.h"
#include "ui/kit/Theme.h"

namespace sorvel::ui {

inline QString q(const std::string& text) { return QString::fromStdString(text); }

namespace Texts {

Text* text(const QString& text, double px, Fonts::Weight weight, const Adaptive& colour, QWidget* parent = nullptr);
/// Wraps to as many lines as the width needs and is never cut.
Text* wrapping(const QString& text, double px, const Adaptive& colour, QWidget* parent = nullptr,
               Fonts::Weight weight = Fonts::Weight::regular);
/// Wrapping text in a given font whose height the layout gives for its width.
Text* wrapping(const QString& text, const QFont& font, const Adaptive& colour, QWidget* parent = nullptr);
Text* mono(const QString& text, double px, Fonts::Weight weight, const Adaptive& colour, QWidget* parent = nullptr);
/// A path with the home folder as "~", monospaced, one line, elided in the middle; the
/// whole path in the tooltip.
Text* path(const std::string& path, double px, const Adaptive& colour, QWidget* parent = nullptr);
/// A caption in the label style.
Text* caption(const QString& text, double px, Fonts::Weight weight, const Adaptive& colour,
              QWidget* parent = nullptr);
/// A fixed-width figure aligned to the trailing edge.
Text* figure(const QString& text, double px, Fonts::Weight weight, const Adaptive& colour, int width,
             QWidget* parent = nullptr);
/// A warning line for a model's `saveError`: the removal happened, its record did not (or
/// nothing moved, because it could not be recorded first).
Text* saveError(const std::string& message, QWidget* parent = nullptr);
/// A warning line for a model's `failure`: work that stopped before it finished, and why.
Text* failure(const std::string& message, QWidget* parent = nullptr);
/// A label of selectable plain text in a theme colour.
QLabel* selectable(const QString& text, const QFont& font, const Adaptive& colour, QWidget* parent = nullptr);

} // namespace Texts
} // namespace sorvel::ui
