#include "ui/screens/ExportFlow.h"

#include <QMessageBox>

#include "cli/ReportExporter.h"
#include "ui/services/DesktopServices.h"

namespace sorvel::ui::ExportFlow {

QMessageBox* run(QWidget* parent, const ScanResult& result, DesktopServices& desktop) {
    const auto path = desktop.chooseSaveLocation(parent, "Export scan report",
                                                 QString::fromStdString(ReportExporter::defaultFilename()));
    if (!path) return nullptr;
    const auto failure = ReportExporter::write(result, *path);
    if (!failure) {
        desktop.reveal(*path);
        return nullptr;
    }
    auto* alert = new QMessageBox(QMessageBox::Warning, "Sorvel", QString::fromStdString(failure->message), QMessageBox::Ok, parent);
    alert->setInformativeText(QString::fromStdString(failure->detail));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    alert->open();
    return alert;
}

} // namespace sorvel::ui::ExportFlow
