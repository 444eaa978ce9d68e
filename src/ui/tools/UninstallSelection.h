#pragma once
// The pieces of the uninstaller that act on the ticks: the selection footer, the Finder
// hand-off block for bundles only an administrator can move, and the outcome rows of a
// dry run or a move.
#include <QWidget>

#include "models/AppsModel.h"
#include "removal/CleanupExecutor.h"
#include "ui/kit/Card.h"

namespace sorvel::ui {

class DesktopServices;
class Text;
class Button;

/// "N items selected", the ticked size and "Review <app>…", kept current in place.
class SelectionFooter : public Card {
    Q_OBJECT
public:
    SelectionFooter(AppsModel& apps, QWidget* parent = nullptr);
    /// Reads the ticks and the running check again.
    void refresh();

private:
    AppsModel& apps_;
    Text* count_;
    Text* size_;
    Button* review_;
};

/// The Finder hand-off block of the selected app, for its current state.
QWidget* makeHandoffBlock(AppsModel& apps, const InstalledApp& app, bool running, DesktopServices& desktop,
                          QWidget* parent);

/// One row of the outcome list.
QWidget* makeOutcomeRow(const CleanupOutcome& outcome, const InstalledApp& app, QWidget* parent);

/// The user's Trash folder as the platform keeps it.
std::string trashFolder();

} // namespace sorvel::ui
