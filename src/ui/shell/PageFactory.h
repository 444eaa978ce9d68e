#pragma once
// The one place where a page kind becomes a screen widget, and where the window's sheets
// and secondary windows are made. One function per kind: each area replaces its own
// function's body with its screen and leaves the others alone.
#include <QWidget>

#include <string>

#include "ui/services/AppModels.h"
#include "ui/shell/Page.h"

namespace sorvel::ui::PageFactory {

QWidget* onboarding(const AppModels& models, QWidget* parent);
QWidget* overview(const AppModels& models, QWidget* parent);
/// `categoryID` is the whole selection text; the page deals with an id it does not know.
QWidget* categoryDetail(const AppModels& models, const std::string& categoryID, QWidget* parent);
QWidget* apps(const AppModels& models, QWidget* parent);
QWidget* duplicates(const AppModels& models, QWidget* parent);
QWidget* history(const AppModels& models, QWidget* parent);

/// Dispatches on the page kind.
QWidget* make(const Page& page, const AppModels& models, QWidget* parent);

/// Opens the cleanup preview sheet for the ticked recommendations, window-modal over
/// `parent` (open(), not exec()).
void openCleanupPreview(const AppModels& models, QWidget* parent);
/// The overview's iCloud status row (shown while an account is signed in); null for none.
QWidget* cloudStatusRow(const AppModels& models, QWidget* parent);
/// The settings window's content (a top-level window when parent is null).
QWidget* settingsWindow(const AppModels& models, QWidget* parent);

} // namespace sorvel::ui::PageFactory
