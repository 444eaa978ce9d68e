#pragma once
// The volume as one bar of three rounded segments (what the scan measured, the rest of
// the used space, the free space) and a legend under it naming each with its size, and,
// where the scope lies on several disks, a line saying which disk the bar shows.
// Widths come from the pure CapacityBar::widths; they glide (0.4 s, ease out) when
// animations are on. Where the legend is wider than the bar, its entries wrap onto more
// lines, and a title alone too wide for a line is shortened; a figure is never cut.
#include <QVariantAnimation>
#include <QWidget>

#include <array>
#include <cstdint>

namespace sorvel::ui {

class CapacityBar : public QWidget {
    Q_OBJECT
public:
    struct Values {
        QString label;          // "System Data" or "Whole Disk"
        int64_t scanned = 0;    // bytes the scan found (live while scanning)
        int64_t used = 0;       // used space of the volume
        int64_t free = 0;       // available space
        bool hasScanned = false; // false: the first legend entry shows "—"
        bool volumeMeasured = true; // false: no figure for the volume, so no segments either
        QString note{};         // a line under the legend: which disk this is, what lies elsewhere
        friend bool operator==(const Values&, const Values&) = default;
    };

    /// Segment widths for a bar `width` wide: usable = width - 6 (two 3-px gaps, never
    /// below 0); each segment gets its share of scanned + other + free (divisor at least 1),
    /// and a segment with a positive count is never narrower than 4.
    static std::array<double, 3> widths(double width, int64_t scanned, int64_t used, int64_t free);
    /// used - scanned, never negative.
    static int64_t other(int64_t scanned, int64_t used);

    explicit CapacityBar(QWidget* parent = nullptr);
    void setValues(const Values& values);
    const Values& values() const { return values_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    /// Width of the legend line (three swatches, titles and figures).
    double legendWidth() const;

    /// Where a legend entry goes in a bar `width` wide: its line, its left edge and its
    /// title as drawn (shortened only when the entry alone is wider than the bar).
    struct LegendEntry {
        int line = 0;
        double x = 0;
        QString title;
        double width = 0;
    };
    std::array<LegendEntry, 3> legend(double width) const;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    static int noteHeight();
    void retarget();
    std::array<double, 3> targetWidths() const;
    QString valueText(size_t i) const;
    QString titleText(size_t i) const;
    Values values_;
    std::array<double, 3> shown_{0, 0, 0};
    std::array<double, 3> from_{0, 0, 0};
    std::array<double, 3> target_{0, 0, 0};
    QVariantAnimation* animation_;
};

} // namespace sorvel::ui
