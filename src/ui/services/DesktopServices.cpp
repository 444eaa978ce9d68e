#include "ui/services/DesktopServices.h"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QUrl>

#include "models/DesktopNotifications.h"

namespace sorvel::ui {

namespace {

bool showItems(const QString& uri) {
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList{uri} << QString();
    const auto bus = DesktopNotifications::sessionBus();
    return bus && bus->call(call, QDBus::Block, 2000).type() == QDBusMessage::ReplyMessage;
}

bool openFolder(const QString& folder) { return QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); }

void tell(const QString& message) { QMessageBox::warning(QApplication::activeWindow(), "Sorvel", message); }

class SystemDesktop final : public DesktopServices {
public:
    explicit SystemDesktop(RevealSteps steps) : steps_(std::move(steps)) {
        if (!steps_.showItems) steps_.showItems = showItems;
        if (!steps_.openFolder) steps_.openFolder = openFolder;
        if (!steps_.tell) steps_.tell = tell;
    }

    void reveal(const std::string& path) override {
        const QString p = QString::fromStdString(path);
        if (steps_.showItems(QUrl::fromLocalFile(p).toString())) return;
        if (steps_.openFolder(QFileInfo(p).absolutePath())) return;
        // Without a file manager or a launcher nothing would happen: say so.
        steps_.tell(revealFailedMessage(path));
    }
    void openURL(const QString& url) override { QDesktopServices::openUrl(QUrl(url)); }
    void copy(const QString& text) override {
        if (QClipboard* clipboard = QGuiApplication::clipboard()) {
            clipboard->clear();
            clipboard->setText(text);
        }
    }
    std::optional<std::string> chooseSaveLocation(QWidget* parent, const QString& title,
                                                  const QString& suggestedName) override {
        const QString start = QDir::home().filePath(suggestedName);
        const QString chosen = QFileDialog::getSaveFileName(parent, title, start, "JSON (*.json)");
        if (chosen.isEmpty()) return std::nullopt;
        return chosen.toStdString();
    }

private:
    RevealSteps steps_;
};

} // namespace

std::unique_ptr<DesktopServices> DesktopServices::system(RevealSteps steps) {
    return std::make_unique<SystemDesktop>(std::move(steps));
}

QString DesktopServices::revealFailedMessage(const std::string& path) {
    return QString("Sorvel could not show \u201C%1\u201D: no file manager answered, and its folder could not be opened. "
                   "Install a file manager, or open the folder yourself.")
        .arg(QString::fromStdString(path));
}

} // namespace sorvel::ui
