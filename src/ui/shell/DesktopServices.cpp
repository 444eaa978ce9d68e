#include "ui/shell/DesktopServices.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>

namespace sorvel::ui {

namespace {

class SystemDesktop final : public DesktopServices {
public:
    void reveal(const std::string& path) override {
        const QString p = QString::fromStdString(path);
        const QString uri = QUrl::fromLocalFile(p).toString();
        QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                           "org.freedesktop.FileManager1", "ShowItems");
        call << QStringList{uri} << QString();
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
        if (reply.type() == QDBusMessage::ReplyMessage) return;
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(p).absolutePath()));
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
};

} // namespace

std::unique_ptr<DesktopServices> DesktopServices::system() { return std::make_unique<SystemDesktop>(); }

} // namespace sorvel::ui
