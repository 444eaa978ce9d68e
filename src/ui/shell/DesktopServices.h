#pragma once
// What the window asks of the desktop: reveal a file in the file manager, open an
// address, copy text, choose where to save a file. Behind one interface so tests record
// what was revealed, opened or copied, and answer save dialogs.
#include <QString>

#include <memory>
#include <optional>
#include <string>

class QWidget;

namespace sorvel::ui {

class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    /// Shows the item selected in the file manager (org.freedesktop.FileManager1
    /// ShowItems), else opens its parent folder.
    virtual void reveal(const std::string& path) = 0;
    virtual void openURL(const QString& url) = 0;
    /// Replaces the clipboard with plain text.
    virtual void copy(const QString& text) = 0;
    /// A save dialog proposing `suggestedName`; none when the user cancels.
    virtual std::optional<std::string> chooseSaveLocation(QWidget* parent, const QString& title,
                                                          const QString& suggestedName) = 0;

    /// The real desktop.
    static std::unique_ptr<DesktopServices> system();
};

} // namespace sorvel::ui
