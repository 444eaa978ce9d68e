// The folder dialogs of "Add folder…" and the duplicates page: a short title in the title
// bar, the sentence inside the dialog.
#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>

#include "models/DuplicatesModel.h"
#include "ui/services/FolderDialog.h"
#include "ui/shell/ToolWindows.h"
#include "ui/tools/SweepSettingsView.h"

using namespace sorvel;
using namespace sorvel::ui;

TEST(FolderDialog, TheTitleIsATitleAndTheSentenceStandsInside) {
    DuplicatesModel duplicates;
    std::optional<DuplicatesModel::FolderRequest> asked;
    duplicates.setFolderChooser([&](const DuplicatesModel::FolderRequest& request) -> std::optional<std::string> {
        asked = request;
        return std::nullopt;
    });
    duplicates.chooseFolder();
    ASSERT_TRUE(asked);
    const struct {
        FolderDialog::Request request;
        QString title, sentence, accept;
    } rows[] = {
        {SweepSettingsView::folderRequest(), "Add Folder to Sweep",
         "Its subfolders will be swept; files lying directly in it are not. Protected locations stay protected.", "Add to sweep"},
        {ToolWindows::folderRequest(*asked), "Choose Folder to Search", "Look for duplicate files inside this folder.",
         "Scan"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.title.toStdString());
        const auto dialog = FolderDialog::make(nullptr, row.request);
        EXPECT_EQ(dialog->windowTitle(), row.title);
        EXPECT_FALSE(dialog->windowTitle().endsWith('.'));
        const auto* message = dialog->findChild<QLabel*>("folderDialogMessage");
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(message->text(), row.sentence);
        EXPECT_EQ(dialog->labelText(QFileDialog::Accept), row.accept);
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
    }
}
