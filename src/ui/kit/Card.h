#pragma once
// The card surface that wraps most panels: content padded on all edges, a rounded
// rectangle (radius 13) filled with `fill` (Theme.glassFill when none) and a 1-px
// Theme.glassStroke border inside its edge. No shadow, no hover. Put the content in
// card->content() (a QVBoxLayout whose margins are the padding), or set your own layout
// with the same margins. setOverlayBorder adds a second border (the access banner's
// warning edge).
#include <QFrame>
#include <QVBoxLayout>

#include <optional>

#include "ui/kit/Theme.h"

namespace sorvel::ui {

class Card : public QFrame {
    Q_OBJECT
public:
    explicit Card(double padding, std::optional<Adaptive> fill = std::nullopt, QWidget* parent = nullptr);

    QVBoxLayout* content() const { return layout_; }
    void setFill(std::optional<Adaptive> fill);
    void setOverlayBorder(Adaptive colour, double width, double radius);

    static constexpr double radius = 13;
    /// The card surface painted into `rect` (for painted lists that draw their own cards).
    static void paint(QPainter& painter, const QRectF& rect, const std::optional<Adaptive>& fill = std::nullopt);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QVBoxLayout* layout_;
    std::optional<Adaptive> fill_;
    std::optional<Adaptive> overlay_;
    double overlayWidth_ = 0;
    double overlayRadius_ = 0;
};

} // namespace sorvel::ui
