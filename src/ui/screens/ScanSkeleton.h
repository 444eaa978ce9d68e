#pragma once
// A grey placeholder treemap of fixed weights shown before a scan has a result; while
// scanning a bright band sweeps across it from left to right (1.8 s, for ever). Each tile's
// opacity is 0.55 + 0.45 * max(0, 1 - 3 * |centre - phase|).
#include <QVariantAnimation>
#include <QWidget>

#include <vector>

namespace sorvel::ui {

class ScanSkeleton : public QWidget {
    Q_OBJECT
public:
    ScanSkeleton(bool isScanning, double phase, std::vector<double> weights, QWidget* parent = nullptr);
    double phase() const { return phase_; }
    /// A tile's opacity for its horizontal centre `c` (in widths) and band position.
    static double opacity(double c, double phase);

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    bool isScanning_;
    double start_;
    double phase_;
    std::vector<double> weights_;
    QVariantAnimation* sweep_;
};

} // namespace sorvel::ui
