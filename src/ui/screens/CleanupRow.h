#pragma once
// One recommendation of the safe-to-clean section: tick box (or the "reports only"
// arrow), title with its risk badge, detail, location, size and the chevron that opens the
// list of its paths (the first 40, then "+ N more"). The row keeps only hover; selection
// and expansion belong to the section and the coordinator.
#include <QWidget>

#include <functional>

#include "engine/CleanupItem.h"

class QVBoxLayout;

namespace sorvel::ui {

class DesktopServices;

class CleanupRow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kListedTargets = 40;

    CleanupRow(DesktopServices& desktop, QWidget* parent = nullptr);
    void setItem(const CleanupItem& item, bool selected, bool expanded);
    const CleanupItem& item() const { return item_; }
    /// The item can be ticked: no external action and at least one target.
    QRect checkRect() const;
    QRect chevronRect() const;
    int listedTargetRows() const;
    /// The detail as drawn: at most two lines, the second cut with "…" when it runs on.
    QStringList detailLines() const { return detailLines_; }
    /// Lays `text` out in `width` as at most `maxLines` lines, the last one elided; `cut`
    /// tells whether anything was left out.
    static QStringList wrapLines(const QString& text, const QFont& font, double width, int maxLines, bool* cut = nullptr);

signals:
    void toggleSelection();
    void toggleExpansion();

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    /// Space ticks, Return opens or closes the paths, Up and Down move to the next row.
    void keyPressEvent(QKeyEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    bool event(QEvent*) override;

private:
    void rebuildTargets();
    /// The figure as drawn: a withheld item offers nothing, nor does one that only lists what
    /// the policy refuses, so no figure stands for either.
    QString sizeText() const;
    /// It has paths to list: its offers, or what the policy refuses.
    bool opens() const;
    int targetsHeight() const;

    DesktopServices& desktop_;
    CleanupItem item_;
    bool selected_ = false;
    bool expanded_ = false;
    bool hovering_ = false;
    bool built_ = false;
    QStringList detailLines_;
    QRectF detailRect_;
    bool detailCut_ = false;
    QWidget* targets_;
    QVBoxLayout* targetLayout_;
};

} // namespace sorvel::ui
