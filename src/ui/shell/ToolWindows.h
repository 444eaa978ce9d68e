#pragma once
// The settings window beside the main one: one window titled "Sorvel Settings", opened
// by "Settings…" in the menu and in the sweep panel, and the folder chooser the
// duplicates page asks through its model.
#include <QWidget>

#include "models/DuplicatesModel.h"
#include "ui/services/AppModels.h"
#include "ui/services/FolderDialog.h"

namespace sorvel::ui::ToolWindows {

/// Shows the settings window, making it when there is none (over the main window, its whole
/// frame inside the screen's available area), and brings it forward.
QWidget* openSettings(const AppModels& models);
/// Where a window frame of `frame` size goes: centred on `centre`, then moved inside
/// `available` (to its top-left corner where it is larger).
QPoint framePosition(QSize frame, QPoint centre, QRect available);
/// The settings window, when one exists.
QWidget* settingsWindow();
/// The sweep panel's way to the settings window: open it, then a moment later bring
/// forward whichever window carries the title "Sorvel Settings".
void openSettingsFromPanel(const AppModels& models);
/// Shows the main window: the application's own hook when it has one, else the
/// top-level widget named "main".
void openMain(const AppModels& models);

/// What the duplicates page's folder dialog shows.
FolderDialog::Request folderRequest(const DuplicatesModel::FolderRequest& request);
/// A folder dialog for "Choose folder…" of the duplicates page, over `window`.
void installFolderChooser(const AppModels& models, QWidget& window);

} // namespace sorvel::ui::ToolWindows
