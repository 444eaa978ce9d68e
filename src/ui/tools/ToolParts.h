#pragma once
// Small pieces the tool screens share: texts in the theme's colours, paths shown with "~"
// and elided in the middle, captions in the label style, borderless text buttons,
// clickable cards, symbols, pulsing placeholder bars and a coalesced rebuild.
#include <QAbstractButton>
#include <QBoxLayout>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>

#include "ui/kit/Card.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Text.h"
#include "ui/kit/Theme.h"

class QVariantAnimation;
class QPainter;

namespace sorvel::ui::ToolParts {

inline QString q(const std::string& text) { return QString::fromStdString(text); }

Text* text(const QString& text, double px, Fonts::Weight weight, const Adaptive& colour, QWidget* parent = nullptr);
/// Wraps to as many lines as the width needs.
Text* wrapping(const QString& text, double px, const Adaptive& colour, QWidget* parent = nullptr,
               Fonts::Weight weight = Fonts::Weight::regular);
Text* mono(const QString& text, double px, Fonts::Weight weight, const Adaptive& colour, QWidget* parent = nullptr);
/// A path with the home folder as "~", monospaced, one line, elided in the middle.
Text* path(const std::string& path, double px, const Adaptive& colour, QWidget* parent = nullptr);
/// A caption in the label style.
Text* caption(const QString& text, double px, Fonts::Weight weight, const Adaptive& colour,
              QWidget* parent = nullptr);
/// A fixed-width figure aligned to the trailing edge.
Text* figure(const QString& text, double px, Fonts::Weight weight, const Adaptive& colour, int width,
             QWidget* parent = nullptr);

/// A warning line for a model's `saveError`: the removal happened, its record did not.
Text* saveError(const std::string& message, QWidget* parent = nullptr);

QHBoxLayout* row(int spacing, QWidget* parent = nullptr);
QVBoxLayout* column(int spacing, QWidget* parent = nullptr);
/// A widget holding `layout` with no margins.
QWidget* wrap(QLayout* layout, QWidget* parent = nullptr);
/// Takes every item out of the layout and deletes its widgets later.
void clear(QLayout* layout);

/// A borderless text button ("Reveal", "Remove", "Use all").
class TextButton : public QAbstractButton {
    Q_OBJECT
public:
    TextButton(const QString& title, QFont font, Adaptive colour, QWidget* parent = nullptr);
    void setColour(const Adaptive& colour);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QFont font_;
    Adaptive colour_;
};

/// Paints a symbol, with the few names only these screens use drawn here.
void paintSymbol(QPainter& painter, const QRectF& rect, const std::string& name, const QColor& colour, double px);

/// A symbol in a colour, in a square of its text size (or a fixed width).
class SymbolView : public QWidget {
    Q_OBJECT
public:
    SymbolView(std::string name, double px, Adaptive colour, int width = 0, QWidget* parent = nullptr);
    void setRotation(double degrees);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::string name_;
    double px_;
    Adaptive colour_;
    int width_;
    double rotation_ = 0;
};

/// A card whose whole rectangle takes the click.
class ClickCard : public Card {
    Q_OBJECT
public:
    explicit ClickCard(double padding, std::optional<Adaptive> fill = std::nullopt, QWidget* parent = nullptr);
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

/// A plain area whose whole rectangle takes the click; paints nothing itself unless a
/// fill is set (a rounded rectangle of `radius`).
class ClickArea : public QWidget {
    Q_OBJECT
public:
    explicit ClickArea(QWidget* parent = nullptr);
    /// `bordered` adds a 1-px hairline inside the edge.
    void setFill(std::optional<Adaptive> fill, double radius = 0, bool bordered = false);
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent*) override;

private:
    std::optional<Adaptive> fill_;
    double radius_ = 0;
    bool bordered_ = false;
};

/// A surface painted in Theme.window (settings window, tray panel).
class Surface : public QWidget {
    Q_OBJECT
public:
    explicit Surface(QWidget* parent = nullptr) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent*) override;
};

/// A rounded placeholder bar that pulses while animations are on.
class PlaceholderBar : public QWidget {
    Q_OBJECT
public:
    PlaceholderBar(int height, double radius, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    double radius_;
    double opacity_ = 1;
    QVariantAnimation* animation_;
};

/// Runs `work` once at the next turn of the event loop, however often it is asked before.
class Coalescer : public QObject {
    Q_OBJECT
public:
    Coalescer(std::function<void()> work, QObject* parent);
    void request();
    /// Runs a pending request now (tests, and screens that must be current at once).
    void flush();

private:
    std::function<void()> work_;
    bool pending_ = false;
};

} // namespace sorvel::ui::ToolParts
