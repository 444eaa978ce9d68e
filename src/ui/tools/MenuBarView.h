#pragma once
// The menu-bar panel: sweep status and the next sweep, the last sweep's receipt, the
// findings of the last sweep to tick and move to the Trash, how often and how sweeps
// run, "Sweep now", and the ways to the settings window, the main window and out. Reads
// and changes only the sweep scheduler.
#include "ui/kit/ClickArea.h"
#include "ui/kit/Surface.h"
#include "ui/kit/Text.h"
#include "ui/tools/Coalescer.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QVBoxLayout;

namespace sorvel {
class SweepScheduler;
struct CleanupOutcome;
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
    /// How often the status line's relative time is worked out again while the panel is
    /// shown, changes of the scheduler aside: within a minute, so "in 46 minutes" stays true.
    static constexpr int kRelativeRefreshMs = 30'000;
    void setRelativeRefresh(int ms);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void rebuild();
    void refreshStatus();
    /// Ticks change in place, so a scrolled findings list keeps its place.
    void refreshTicks();
    QWidget* header();
    QWidget* lastSweep();
    /// The findings to tick, then those the sweep moved already, in one lazy list: only
    /// the rows near its view are widgets. `listed` indexes the scheduler's findings, the
    /// first `toTick` of them those to tick.
    QWidget* findings(std::vector<uint32_t> listed, size_t toTick);
    /// The finding an entry of the list stands for; none once the findings have changed
    /// (a rebuild is then on its way).
    const CleanupOutcome* listedFinding(int index) const;
    QWidget* makeFinding(const CleanupOutcome& finding) const;
    QWidget* makeMoved(const CleanupOutcome& finding) const;
    QWidget* schedule();
    QWidget* actions();

    SweepScheduler& scheduler_;
    Actions actions_;
    QVBoxLayout* layout_;
    Coalescer* rebuild_;
    class LazyColumn* list_ = nullptr;
    size_t foundCount_ = 0; // the first entries of the list, those to tick
    std::vector<uint32_t> listed_;
    int findingsChanges_ = 0; // counted as they come, not as the rebuild runs
    int listedAt_ = 0;        // the count the list was made at
    class QAbstractButton* selectAll_ = nullptr;
    class Button* move_ = nullptr;
    class Text* status_ = nullptr;
    class QTimer* relativeRefresh_;
    class NextSweepTicker* nextSweepTicker_;
    int builds_ = 0;
};

} // namespace sorvel::ui
