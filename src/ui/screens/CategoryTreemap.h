#pragma once
// The treemap of a category's own level: its first 24 rows as tiles in the category's
// colour, fading from full strength to 0.45; a click opens the row like the list does.
#include <QWidget>

#include <functional>
#include <vector>

#include "engine/ScanNode.h"
#include "engine/Tint.h"

namespace sorvel::ui {

class CategoryTreemap : public QWidget {
    Q_OBJECT
public:
    struct Tile {
        BrowseRow row;
        QString name;
        int64_t size = 0;
        double opacity = 1;
    };

    explicit CategoryTreemap(QWidget* parent = nullptr);
    void setRows(const std::vector<BrowseRow>& rows, size_t count, const Tint& tint);
    const std::vector<Tile>& tiles() const { return tiles_; }
    std::function<void(const BrowseRow&)> onOpen;
    /// Where each tile lies in the current size.
    std::vector<QRectF> tileRects() const;
    int tileAt(QPointF point) const;

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void leaveEvent(QEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    std::vector<Tile> tiles_;
    Tint tint_;
    int hovered_ = -1;
};

} // namespace sorvel::ui
