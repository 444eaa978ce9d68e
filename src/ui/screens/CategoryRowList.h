#pragma once
// The rows of a category level as one painted list (up to 200): folder or file symbol,
// name, share bar, share, size and a chevron on hover. One widget with hit tests, hover
// and a context menu, so a level of 200 rows costs one paint, not 200 widgets.
#include <QWidget>

#include <functional>
#include <vector>

#include "engine/Reading.h"
#include "engine/ScanNode.h"
#include "engine/Tint.h"

class QMenu;

namespace sorvel::ui {

class CategoryRowList : public QWidget {
    Q_OBJECT
public:
    static constexpr int rowHeight = 34;
    static constexpr int spacing = 4;

    explicit CategoryRowList(QWidget* parent = nullptr);

    /// The rows drawn (the caller passes at most 200), measured against `total` (at least 1).
    void setRows(const std::vector<BrowseRow>& rows, size_t count, int64_t total, const Tint& tint);
    size_t rowCount() const { return rows_.size(); }
    const BrowseRow& row(size_t index) const { return rows_[index].row; }
    /// The words a row shows instead of a figure for a folder nothing of which was read.
    static constexpr const char* kNotReadableText = "not readable by this user";
    /// The words in place of a figure for a folder a stop cut short before it counted a byte.
    static constexpr const char* kNotMeasuredText = sorvel::kNotMeasuredText;
    /// The figure a row shows: its size, or kNotReadableText for a folder this user may not read.
    const QString& sizeText(size_t index) const { return rows_[index].size; }
    /// A folder whose walk a stop cut short: drawn with a dashed ring and its size in the
    /// warning colour.
    bool isPartial(size_t index) const { return rows_[index].partial; }
    /// The row's tooltip; empty for a row that needs none.
    QString toolTip(size_t index) const;

    std::function<void(const BrowseRow&)> onOpen;
    std::function<void(const std::string&)> onReveal;
    std::function<void(const std::string&)> onCopy;

    /// The row under a point of the widget; -1 between rows and outside.
    int rowAt(QPoint point) const;
    QRect rowRect(int index) const;
    /// The row the keyboard is on; -1 before the list had focus.
    int currentRow() const { return current_; }
    /// The row's context menu ("Reveal in File Manager", "Copy path"), owned by the caller.
    QMenu* menuFor(int index, QWidget* parent);
    /// Track of the share bar inside a row of the list's current width.
    QRectF barTrack(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void leaveEvent(QEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void contextMenuEvent(QContextMenuEvent*) override;
    /// Up, Down, Page Up, Page Down, Home and End move the current row (and the view with
    /// it); Space and Return open it.
    void keyPressEvent(QKeyEvent*) override;
    void focusInEvent(QFocusEvent*) override;
    bool event(QEvent*) override;

private:
    struct Row {
        BrowseRow row;
        QString name;
        QString share;
        QString size;
        int64_t bytes = 0;
        std::string path;
        bool blocked = false; // nothing of the folder could be read: its 0 bytes are not its size
        bool partial = false; // a folder a stop cut short: its size covers only part of it
        bool partlyRead = false; // some folder inside refused: its size is a lower bound
        bool noFigure = false;   // words in place of the size: not read, or not measured
    };
    void setHovered(int index);
    // Rows that fit in the view that scrolls the list, less one kept in sight.
    int pageRows() const;

    std::vector<Row> rows_;
    int64_t total_ = 1;
    Tint tint_;
    int hovered_ = -1;
    int pressed_ = -1;
    int current_ = -1; // the row the keyboard is on
};

} // namespace sorvel::ui
