#pragma once
// Tiles laid out by Treemap::layout and painted as rounded, tinted faces with the name and
// size (when the tile reaches minimumLabelSize), an optional badge chip (tiles at least
// 110 wide and 130 high), a hover border in the tint's dot colour, a tooltip
// "name — size" and a click action. Tiles 2 px or less across are not drawn. A tile not
// measured has no size to weigh: it gets a small share of the area, so it can say so.
#include <QVariantAnimation>
#include <QWidget>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/kit/Theme.h"

namespace sorvel::ui {

struct TreemapTile {
    std::string id;
    QString name;
    int64_t size = 0;
    TintColours tint;
    std::optional<QString> badge;
    std::function<void()> onTap;
    bool partial = false; // a stop cut its walk short: the size covers only part of it
    /// A stop came before it counted a byte: no figure, and an area that stands for none.
    bool notMeasured = false;

    /// "name — size", with " · partial" for a partial one.
    QString description() const;
    /// The size as drawn on the tile: with " · partial" for a partial one; "not measured"
    /// in place of the size for one not measured.
    QString sizeText() const;
};

class TreemapView : public QWidget {
    Q_OBJECT
public:
    explicit TreemapView(QSizeF minimumLabelSize, QWidget* parent = nullptr);

    void setTiles(std::vector<TreemapTile> tiles);
    const std::vector<TreemapTile>& tiles() const { return tiles_; }
    const std::optional<std::string>& hovered() const { return hovered_; }

    /// Layout rectangles of the tiles in widget coordinates (before the 5-px gaps).
    std::vector<QRectF> rects() const;
    /// Index of the drawn tile under a point, or -1.
    int tileAt(QPointF point) const;
    /// What a tile of layout size `z` shows.
    static bool showsLabel(QSizeF z, QSizeF minimum) { return minimum.width() <= z.width() && minimum.height() <= z.height(); }
    static bool showsBadge(QSizeF z) { return z.height() >= 130 && z.width() >= 110; }
    /// The weight of a tile not measured, as a share of the measured tiles' total: enough
    /// for its name and "not measured" on a map of the overview's width.
    static constexpr double kNotMeasuredShare = 0.18;

    /// Pointer bookkeeping, public so tests can drive it: entering sets the hover, leaving
    /// clears it only when it still names the tile left.
    void enterTile(const std::string& id);
    void leaveTile(const std::string& id);

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void leaveEvent(QEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    /// The arrows move the current tile through the tiles, largest first; Space and Return
    /// open it as a click does.
    void keyPressEvent(QKeyEvent*) override;
    void focusInEvent(QFocusEvent*) override;
    bool event(QEvent*) override;

private:
    void paintTile(QPainter& p, const TreemapTile& tile, const QRectF& r) const;
    /// What is drawn: the layout, or on the way to it while the tiles glide.
    std::vector<QRectF> shownRects() const;

    QSizeF minimumLabelSize_;
    std::vector<TreemapTile> tiles_;
    std::optional<std::string> hovered_;
    // Tiles glide from where they were (0.4 s) when the total changes.
    QVariantAnimation* glide_;
    std::map<std::string, QRectF> from_;
    int64_t total_ = 0;
    int current_ = -1; // the tile the keyboard is on
};

} // namespace sorvel::ui
