#pragma once
// The bar above the detail pages: navigation, the scope picker with the headline byte
// count, the capacity bar, the appearance toggle, Rescan/Stop and the status line.
// Refreshes in place: a progress tick updates the number, the bar and the path text only.
#include <QWidget>

#include <optional>

#include "ui/services/AppModels.h"
#include "ui/shell/HeaderText.h"

namespace sorvel::ui {

class Button;
class CapacityBar;
class MainMenu;
class NavigationControls;
class PulseDot;
class RollingText;
class SegmentedPicker;
class Switch;
class SymbolView;
class Text;

class HeaderView : public QWidget {
    Q_OBJECT
public:
    HeaderView(const AppModels& models, MainMenu& menu, QWidget* parent = nullptr);

    Button* actionButton() const { return action_; }
    Text* statusText() const { return statusText_; }
    /// The line below the status while live updates follow only part of the folders, or none.
    Text* coverageText() const { return coverage_; }
    RollingText* number() const { return number_; }
    Text* unit() const { return unit_; }
    /// Beside the dash when there is no figure: not scanned yet, or not measured.
    Text* noFigureText() const { return notScanned_; }
    CapacityBar* capacityBar() const { return bar_; }
    SegmentedPicker* scopePicker() const { return scope_; }
    /// Recomputes everything from the coordinator (also what structure signals call).
    void refresh();
    /// Shows `coverage` on the line below the status, or hides it; public so that a state
    /// as brief as a count under way can be held for tests and screenshots.
    void refreshCoverage(const std::optional<HeaderText::Coverage>& coverage);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refreshProgress();
    void refreshStatus();
    void setNumber(int64_t bytes);

    AppModels models_;
    MainMenu& menu_;
    NavigationControls* navigation_;
    SegmentedPicker* scope_;
    RollingText* number_;
    Text* unit_;
    Text* notScanned_;
    CapacityBar* bar_;
    Switch* toggle_;
    Button* action_;
    QWidget* actionBlock_;
    PulseDot* dot_;
    SymbolView* symbol_;
    Text* statusText_;
    Text* coverage_;
};

} // namespace sorvel::ui
