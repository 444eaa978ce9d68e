#pragma once
// The dialog that asks for one folder. Its title bar carries a short title; the sentence
// that explains the choice stands inside the dialog, under the file list.
#include <QString>

#include <memory>
#include <optional>
#include <string>

class QFileDialog;
class QWidget;

namespace sorvel::ui::FolderDialog {

struct Request {
    QString title;   // "Add Folder to Sweep"
    QString message; // what choosing a folder does, one sentence
    QString accept;  // the accept button: "Add to sweep"
    QString startDirectory;
};

/// The dialog, not yet shown (tests look at it).
std::unique_ptr<QFileDialog> make(QWidget* parent, const Request& request);
/// Runs it modally; the chosen folder, or none when dismissed.
std::optional<std::string> choose(QWidget* parent, const Request& request);

} // namespace sorvel::ui::FolderDialog
