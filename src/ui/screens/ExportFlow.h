#pragma once
// Saving the scan report from the window: a save dialog proposing
// "sorvel-scan-YYYY-MM-DD-HHmm.json", an atomic write, the file revealed on success, and
// the window-modal alert "Could not write the report" on failure. A cancelled dialog is
// silent.
#include <QWidget>

#include "engine/ScanResult.h"

class QMessageBox;

namespace sorvel::ui {

class DesktopServices;

namespace ExportFlow {

/// Runs the flow; returns the alert when one was opened (for tests), else null.
QMessageBox* run(QWidget* parent, const ScanResult& result, DesktopServices& desktop);

} // namespace ExportFlow
} // namespace sorvel::ui
