#pragma once
// A choice among a few options, drawn as captions with an underline (the scope picker's
// look: label style 10.5, bold accentInk when selected, medium tertiaryText otherwise,
// a 2-px Theme.accent capsule under the selected one) or as a capsule track with a raised
// selected segment (Look::capsule). Options have a title and an optional tooltip.
// picked(index) fires on a click, also on the selected option (callers decide whether a
// repeat means anything); setCurrentIndex never emits.
#include <QString>
#include <QWidget>

#include <vector>

namespace sorvel::ui {

class SegmentedPicker : public QWidget {
    Q_OBJECT
public:
    enum class Look { underline, capsule };
    struct Option {
        QString title;
        QString tooltip;
    };

    SegmentedPicker(std::vector<Option> options, Look look = Look::underline, QWidget* parent = nullptr);

    int currentIndex() const { return current_; }
    void setCurrentIndex(int index);
    /// The option under a point, or -1.
    int indexAt(QPoint point) const;
    QRect optionRect(int index) const;
    /// The title of an option; empty outside the options.
    QString optionTitle(int index) const;
    /// The tooltip of an option; empty outside the options.
    QString optionTooltip(int index) const;
    QSize sizeHint() const override;

signals:
    void picked(int index);

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    /// The arrow keys pick the option before or after the current one; Space and Return
    /// pick the current one again.
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    std::vector<double> widths() const;
    QFont fontFor(bool selected) const;

    std::vector<Option> options_;
    Look look_;
    int current_ = 0;
};

} // namespace sorvel::ui
