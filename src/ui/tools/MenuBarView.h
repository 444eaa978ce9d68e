#pragma once
// The menu-bar panel: sweep status and the next sweep, the last sweep's receipt, the
// findings of the last sweep to tick and move to the Trash, how often and how sweeps
// run, "Sweep now", and the ways to the settings window, the main window and out. Reads
// and changes only the sweep scheduler.
#include "ui/kit/ClickArea.h"
#include "ui/kit/Surface.h"
#include "ui/kit/Text.h"
#include "ui/tools/Coalescer.h"

#include <functional>
#include <map>
#include <string>

class QVBoxLayout;

namespace sorvel {
class SweepScheduler;
}

namespace sorvel::ui {

class MenuBarView : public Surface {
    Q_OBJECT
public:
    /// What the panel asks of the application.
    struct Actions {
        std::function<void()> openSettings; // brings the window titled "Sorvel Settings" forward
        std::function<void()> openMain;     // shows the main window
        std::function<void()> quit;
    };

    static constexpr int width = 380;

    MenuBarView(SweepScheduler& scheduler, Actions actions, QWidget* parent = nullptr);

    void flush();
    int builds() const { return builds_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void rebuild();
    /// Ticks change in place, so a scrolled findings list keeps its place.
    void refreshTicks();
    QWidget* header();
    QWidget* lastSweep();
    QWidget* findings();
    QWidget* schedule();
    QWidget* actions();

    SweepScheduler& scheduler_;
    Actions actions_;
    QVBoxLayout* layout_;
    Coalescer* rebuild_;
    struct Row {
        ClickArea* area;
        class CheckBox* box;
        Text* size;
    };
    std::map<std::string, Row> rows_;
    class QAbstractButton* selectAll_ = nullptr;
    class Button* move_ = nullptr;
    int builds_ = 0;
};

} // namespace sorvel::ui
