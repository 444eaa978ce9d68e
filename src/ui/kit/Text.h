#pragma once
// A painted text in a Theme colour, resolved at paint time. One line by default: with an
// elide mode it first shrinks the font down to `minimumScale`, then elides. With
// setWrapping(true) it wraps to as many lines as the width needs (height-for-width, inside
// its contents margins; worked out once per width, as layouts ask often and shaping is the cost).
// For text the user may select, use a QLabel with TextSelectableByMouse and
// Text::styleLabel instead.
#include <QLabel>
#include <QWidget>

#include "ui/kit/Theme.h"

namespace sorvel::ui {

class Text : public QWidget {
    Q_OBJECT
public:
    Text(QString text, QFont font, Adaptive colour, QWidget* parent = nullptr);

    const QString& text() const { return text_; }
    virtual void setText(const QString& text);
    const Adaptive& colour() const { return colour_; }
    double opacity() const { return opacity_; }
    Qt::Alignment alignment() const { return alignment_; }
    void setFont(const QFont& font);
    void setColour(const Adaptive& colour);
    void setOpacity(double opacity);
    void setElide(Qt::TextElideMode mode, double minimumScale = 1.0);
    /// How a wrapping text gets its height: `claimed` sets its minimum height to what its
    /// width needs at each resize (for layouts that ask only for hints); `fromLayout` grows
    /// from its hint and leaves the rest to the layout's height-for-width.
    enum class WrapHeight { claimed, fromLayout };
    void setWrapping(bool on, WrapHeight height = WrapHeight::claimed);
    void setAlignment(Qt::Alignment alignment);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return wrapping_; }
    int heightForWidth(int width) const override;

    /// Colours a QLabel from the theme now and again at every appearance change.
    static void styleLabel(QLabel* label, const Adaptive& colour);

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void changeEvent(QEvent*) override;

private:
    QString text_;
    QFont font_;
    Adaptive colour_;
    double opacity_ = 1.0;
    Qt::TextElideMode elide_ = Qt::ElideNone;
    double minimumScale_ = 1.0;
    bool wrapping_ = false;
    WrapHeight wrapHeight_ = WrapHeight::claimed;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
    // Shaping is the cost, and layouts ask again and again, alternating between the width a
    // text would like and the one it gets: the natural width, and the heights of the last
    // few widths asked, are kept until the text or font changes.
    void forgetMeasures();
    qreal naturalWidth() const;
    static constexpr int kHeightsKept = 4;
    mutable qreal natural_ = -1;
    mutable int cachedWidths_[kHeightsKept] = {-1, -1, -1, -1};
    mutable int cachedHeights_[kHeightsKept] = {};
    mutable int nextCached_ = 0;
    // The one-line text as last fitted to the width: its font and shown (elided) text.
    int fittedWidth_ = -1;
    QString fittedFor_;
    QFont fittedFrom_;
    QFont fittedFont_;
    QString fittedText_;
};

} // namespace sorvel::ui
