#pragma once
// What the window asks of the desktop: reveal a file in the file manager, open an
// address, copy text, choose where to save a file. Behind one interface so tests record
// what was revealed, opened or copied, and answer save dialogs.
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QWidget;

namespace sorvel::ui {

class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    /// Shows the item selected in the file manager (org.freedesktop.FileManager1
    /// ShowItems), else opens its parent folder; tells the user when neither works.
    virtual void reveal(const std::string& path) = 0;
    virtual void openURL(const QString& url) = 0;
    /// Replaces the clipboard with plain text.
    virtual void copy(const QString& text) = 0;
    /// A save dialog proposing `suggestedName`; none when the user cancels.
    virtual std::optional<std::string> chooseSaveLocation(QWidget* parent, const QString& title,
                                                          const QString& suggestedName) = 0;

    /// How the real desktop reveals an item; an empty step takes the desktop's own.
    struct RevealSteps {
        /// The file manager's ShowItems call with one file URI; true when it answered.
        std::function<bool(const QString& uri)> showItems;
        /// Opens a folder with the desktop's launcher; true when one took it.
        std::function<bool(const QString& folder)> openFolder;
        /// Shows a message to the user (a warning box over the active window).
        std::function<void(const QString& message)> tell;
    };

    /// The real desktop.
    static std::unique_ptr<DesktopServices> system(RevealSteps steps = {});
    /// The message shown when `path` could not be revealed at all.
    static QString revealFailedMessage(const std::string& path);
};

} // namespace sorvel::ui
