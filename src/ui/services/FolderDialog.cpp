#include "ui/services/FolderDialog.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>

namespace sorvel::ui::FolderDialog {

std::unique_ptr<QFileDialog> make(QWidget* parent, const Request& request) {
    auto dialog = std::make_unique<QFileDialog>(parent, request.title, request.startDirectory);
    // Qt's own dialog on every desktop, so the message has a place to stand.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, request.accept);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout()); grid && !request.message.isEmpty()) {
        auto* message = new QLabel(request.message, dialog.get());
        message->setObjectName("folderDialogMessage");
        message->setWordWrap(true);
        grid->addWidget(message, grid->rowCount(), 0, 1, grid->columnCount());
    }
    return dialog;
}

std::optional<std::string> choose(QWidget* parent, const Request& request) {
    const auto dialog = make(parent, request);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
    return dialog->selectedFiles().front().toStdString();
}

} // namespace sorvel::ui::FolderDialog
