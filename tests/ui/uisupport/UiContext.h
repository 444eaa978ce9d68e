#pragma once
// One fake world for window tests and screenshots: HOME and the XDG folders in a
// temporary folder, the seven models with stand-in services (a scan the test drives, no
// network, no notifications), and a desktop that records what it was asked to do.
#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/ScanResult.h"
#include "models/AppsModel.h"
#include "models/DuplicatesModel.h"
#include "models/HistoryModel.h"
#include "models/ScanCoordinator.h"
#include "models/SweepScheduler.h"
#include "models/UpdateChecker.h"
#include "support/TestSupport.h"
#include "ui/kit/Animations.h"
#include "ui/kit/AppearanceSetting.h"
#include "ui/services/AppModels.h"
#include "ui/services/DesktopServices.h"

namespace sorvel::test {

/// Records reveals, opened addresses and copies; answers save dialogs with `saveAnswer`.
class RecordingDesktop final : public ui::DesktopServices {
public:
    std::vector<std::string> revealed;
    std::vector<QString> opened;
    std::vector<QString> copied;
    std::vector<QString> proposedNames;
    std::optional<std::string> saveAnswer;

    void reveal(const std::string& path) override { revealed.push_back(path); }
    void openURL(const QString& url) override { opened.push_back(url); }
    void copy(const QString& text) override { copied.push_back(text); }
    std::optional<std::string> chooseSaveLocation(QWidget*, const QString&, const QString& name) override {
        proposedNames.push_back(name);
        return saveAnswer;
    }
};

/// A scan that hands the roots it is given to the running scan, and returns the prepared
/// result when released.
class DrivenScan {
public:
    DrivenScan();
    std::function<ScanResult(ScanControl&, ScanScope)> function();
    /// Hands a finished category root to the running scan.
    void hand(const std::string& categoryID, ScanNodePtr root);
    /// A root the next stop cuts short: handed back once the scan sees the stop.
    void handOnStop(const std::string& categoryID, ScanNodePtr root);
    /// Lets the running scan return `result`.
    void release(ScanResult result);
    /// Adds to the running scan's byte count (what the header shows while scanning).
    void progress(int64_t bytes);

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<std::pair<std::string, ScanNodePtr>> toHand;
        std::vector<std::pair<std::string, ScanNodePtr>> onStop;
        int64_t bytes = 0;
        std::optional<ScanResult> result;
    };
    std::shared_ptr<State> state_;
};

class UiContext {
public:
    UiContext();
    ~UiContext();

    const std::string& home() const { return home_.path(); }
    std::string operator/(const std::string& relative) const { return home_ / relative; }

    ScanCoordinator& coordinator() { return *coordinator_; }
    ui::AppearanceSetting& appearance() { return *appearance_; }
    UpdateChecker& updates() { return *updates_; }
    RecordingDesktop& desktop() { return desktop_; }
    DrivenScan& scan() { return scan_; }
    const ui::AppModels& models() const { return *models_; }

    /// What the next finished scan recommends.
    std::vector<CleanupItem> recommendations;

    /// Starts a scan and waits until it runs (phase scanning, empty result).
    void beginScan();
    /// Starts (when needed) and finishes a scan with `result`; waits for phase done.
    void finishScan(ScanResult result);

    /// A sample System Data result: the nine categories with plausible sizes, a 1 TB volume.
    static ScanResult sampleResult();
    /// A Whole Disk result with `count` top-level folders.
    static ScanResult wholeDiskResult(int count);
    /// Recommendations that fit sampleResult (safe and review).
    static std::vector<CleanupItem> sampleRecommendations();

private:
    FakeHome home_;
    ScopedEnv config_;
    ScopedEnv data_;
    ScopedEnv cache_;
    DrivenScan scan_;
    RecordingDesktop desktop_;
    std::unique_ptr<ScanCoordinator> coordinator_;
    std::unique_ptr<ui::AppearanceSetting> appearance_;
    std::unique_ptr<SweepScheduler> sweeper_;
    std::unique_ptr<AppsModel> apps_;
    std::unique_ptr<DuplicatesModel> duplicates_;
    std::unique_ptr<HistoryModel> history_;
    std::unique_ptr<UpdateChecker> updates_;
    std::unique_ptr<ui::AppModels> models_;
};

/// Turns the event loop until `done` holds or `ms` pass.
bool waitUntil(const std::function<bool()>& done, int ms = 10'000);
/// Lays out and paints a widget offscreen at `size` (shown, events processed).
void settle(QWidget* widget, QSize size);
/// Whether `control` shows its focus ring where its present geometry puts it: placing the
/// ring afresh moves nothing.
bool ringFitsNow(const QWidget* control);
/// Each channel of `a` within `tolerance` of `b`'s.
bool nearColour(const QColor& a, const QColor& b, int tolerance = 3);
/// The sides of `shape` (in `window`'s coordinates) along which a focus ring shows in the
/// window now and not in `before`, as letters of "LTRB".
std::string ringSides(QWidget* window, const QRect& shape, const QImage& before);
/// Animations on for as long as it lives (the tests run with them off).
struct AnimationsOn {
    AnimationsOn() { ui::Animations::setEnabled(true); }
    ~AnimationsOn() { ui::Animations::setEnabled(false); }
};

/// A node with a size (and one child level when `children` > 0).
ScanNodePtr sampleNode(const std::string& path, int64_t size, int64_t files = 10);

} // namespace sorvel::test
