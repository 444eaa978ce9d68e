#pragma once
// The settings window ("Sorvel Settings"): the sweep schedule, the rules and the user's
// own folders a sweep looks at, what a sweep may touch, and the daily update check.
// Every control writes straight into its model; nothing waits for a Save.
#include <QScrollArea>

#include <functional>
#include <optional>
#include <string>

#include "removal/SweepSchedule.h"
#include "ui/services/FolderDialog.h"

class QVBoxLayout;

namespace sorvel {
class ScanCoordinator;
class SweepScheduler;
class UpdateChecker;
} // namespace sorvel

namespace sorvel::ui {

class Coalescer;

class SweepSettingsView : public QScrollArea {
    Q_OBJECT
public:
    /// Asks for one folder to add ("Add to sweep"); none when dismissed.
    using FolderChooser = std::function<std::optional<std::string>(QWidget* parent)>;

    static constexpr const char* windowTitleText = "Sorvel Settings";

    SweepSettingsView(ScanCoordinator& coordinator, SweepScheduler& scheduler, UpdateChecker& updates,
                      QWidget* parent = nullptr);

    void setFolderChooser(FolderChooser chooser) { chooser_ = std::move(chooser); }
    /// Runs the folder chooser and adds its folder, unless refused or already listed.
    void addFolder();
    void flush();
    int builds() const { return builds_; }
    /// The last refusal of "Add folder…", shown under the folders heading: the window's own
    /// (by the path as written), else the scheduler's once its check has come back.
    std::optional<std::string> folderMessage() const;

    /// The real chooser: a folder dialog opening at the home folder.
    static std::optional<std::string> chooseWithDialog(QWidget* parent);
    /// What the folder dialog of "Add folder…" shows.
    static FolderDialog::Request folderRequest();
    /// The top-level window titled "Sorvel Settings", if one exists.
    static QWidget* findWindow();

    /// How often "last checked …" is worked out again while the window is shown: within a minute.
    static constexpr int kRelativeRefreshMs = 30'000;
    void setRelativeRefresh(int ms);

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refocusAdd();
    void rebuild();
    void refreshLastChecked();
    void refreshNextSweep();
    QWidget* frequencySection();
    QWidget* rulesSection();
    QWidget* foldersSection();
    QWidget* protectionNote();
    QWidget* updatesSection();
    void write(const SweepSchedule& schedule);

    ScanCoordinator& coordinator_;
    SweepScheduler& scheduler_;
    UpdateChecker& updates_;
    QWidget* page_;
    QVBoxLayout* layout_;
    Coalescer* rebuild_;
    FolderChooser chooser_;
    std::optional<std::string> folderMessage_;
    bool refocusAdd_ = false; // the folder dialog closed: "Add folder…" gets the focus back
    class Text* lastChecked_ = nullptr;
    class Text* nextSweep_ = nullptr;
    class QTimer* relativeRefresh_;
    class NextSweepTicker* nextSweepTicker_;
    int builds_ = 0;
};

} // namespace sorvel::ui
