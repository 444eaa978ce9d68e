#pragma once
// The uninstaller page ("tool:apps"): the header, the loading skeleton, the figures and
// the app list, or one app's detail when the page identifier names its bundle
// ("tool:apps#<bundle path>"). The identifier is the one source of the selection; it is
// copied into the apps model when the page is shown, when its detail changes and when
// the number of apps changes. Everything else comes from the model.
#include <QPointer>
#include <QWidget>

#include "ui/tools/AppDetailPane.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Date.h"

class QTimer;
class QVBoxLayout;

namespace sorvel {
class AppsModel;
class ScanCoordinator;
} // namespace sorvel

namespace sorvel::ui {

class DesktopServices;
class Coalescer;

class AppUninstallerView : public QWidget {
    Q_OBJECT
public:
    AppUninstallerView(AppsModel& apps, ScanCoordinator& coordinator, DesktopServices& desktop,
                       QWidget* parent = nullptr);

    /// Brings the widgets up to date now (tests; otherwise at the next event-loop turn).
    void flush();
    /// The detail pane while an app is browsed, else null.
    AppDetailPane* detailPane() const { return detail_; }
    /// How many times the body was built (a redraw of the ticks builds nothing).
    int builds() const { return builds_; }
    /// "last opened …" is worked out again this often while shown (and by this clock).
    static constexpr int kRelativeRefreshMs = 30'000;
    void setRelativeRefresh(int ms);
    void setClock(std::function<Date()> clock) { clock_ = std::move(clock); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    std::optional<std::string> pageDetail() const;
    void rebuild();
    QWidget* header();
    QWidget* skeleton();
    QWidget* list();
    void refreshSubtitles();

    AppsModel& apps_;
    ScanCoordinator& coordinator_;
    DesktopServices& desktop_;
    QVBoxLayout* layout_;
    Coalescer* rebuild_;
    QPointer<AppDetailPane> detail_;
    std::optional<std::string> lastDetail_;
    size_t lastCount_ = 0;
    std::string builtIdentity_ = "\x01"; // what the body was last built for
    int builds_ = 0;
    std::function<Date()> clock_ = [] { return now(); };
    QTimer* relativeRefresh_;
    // Each row's subtitle and the app it speaks of, to follow the clock in place.
    std::vector<std::pair<QPointer<QWidget>, std::string>> subtitles_;
};

} // namespace sorvel::ui
