#pragma once
// Pieces the category, cleanup and insight screens share on top of the kit: colours of a
// tone, a rounded surface with optional hover, a painted symbol, a selectable label and a
// plain text link.
#include <QAbstractButton>
#include <QFrame>
#include <QLabel>

#include <functional>
#include <optional>
#include <string>

#include "ui/kit/Fonts.h"
#include "ui/kit/Theme.h"
#include "ui/screens/ScreenText.h"

namespace sorvel::ui {

namespace Look {
/// The ink of a tone (text, symbols).
Adaptive ink(Tone tone);
/// The wash a chip of that tone sits on.
Adaptive wash(Tone tone);
QString q(const std::string& text);
/// A label of selectable text in a theme colour.
QLabel* selectable(const QString& text, const QFont& font, const Adaptive& colour, QWidget* parent = nullptr);
} // namespace Look

/// Text that wraps to as many lines as its width needs and is never cut. Its height for a
/// width is worked out once per width: layouts ask many times, and shaping is the cost.
class WrapText : public QWidget {
    Q_OBJECT
public:
    WrapText(QString text, QFont font, Adaptive colour, QWidget* parent = nullptr);
    const QString& text() const { return text_; }
    void setText(const QString& text);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void changeEvent(QEvent*) override;

private:
    QString text_;
    QFont font_;
    Adaptive colour_;
    mutable int cachedWidth_ = -1;
    mutable int cachedHeight_ = 0;
};

namespace Look {
/// Wrapping text (never truncated) in a theme colour.
WrapText* wrapping(const QString& text, const QFont& font, const Adaptive& colour, QWidget* parent = nullptr);
} // namespace Look

/// A rounded rectangle behind its children: fill (cardHover while hovered when asked),
/// a border drawn inside the edge.
class Surface : public QFrame {
    Q_OBJECT
public:
    Surface(double radius, Adaptive fill, std::optional<Adaptive> border, double borderWidth = 1,
            QWidget* parent = nullptr);
    void setFill(const Adaptive& fill);
    void setBorder(std::optional<Adaptive> border);
    /// Fill while the pointer is over the surface; `onHover` hears every change.
    void setHoverFill(std::optional<Adaptive> fill, std::function<void(bool)> onHover = nullptr);
    bool hovering() const { return hovering_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    double radius_;
    Adaptive fill_;
    std::optional<Adaptive> border_;
    double borderWidth_;
    std::optional<Adaptive> hoverFill_;
    std::function<void(bool)> onHover_;
    bool hovering_ = false;
};

/// One named symbol in a colour, in a fixed frame.
class SymbolIcon : public QWidget {
    Q_OBJECT
public:
    SymbolIcon(std::string name, double px, Adaptive colour, QSize frame, QWidget* parent = nullptr);
    void set(std::string name, Adaptive colour);
    void setRotation(double degrees);
    void setOpacity(double opacity);
    QSize sizeHint() const override { return frame_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::string name_;
    double px_;
    Adaptive colour_;
    QSize frame_;
    double rotation_ = 0;
    double opacity_ = 1;
};

/// A plain-style text button ("Copy", "Reveal", "All"): its text in a colour, no surface.
class TextLink : public QAbstractButton {
    Q_OBJECT
public:
    TextLink(const QString& text, QFont font, Adaptive colour, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QFont font_;
    Adaptive colour_;
};

/// Selectable one-line text cut in the middle (or another place) to its width; the whole
/// text stays in the tooltip.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    ElidedLabel(QString text, const QFont& font, const Adaptive& colour, Qt::TextElideMode mode,
                bool selectable, QWidget* parent = nullptr);
    void setFullText(const QString& text);
    const QString& fullText() const { return full_; }
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent*) override;

private:
    void refit();
    QString full_;
    Qt::TextElideMode mode_;
};

/// A filled 1-px line in Theme.hairline.
class HairlineRule : public QWidget {
    Q_OBJECT
public:
    explicit HairlineRule(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
};

} // namespace sorvel::ui
