#include "models/DesktopNotifications.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include <mutex>
#include <system_error>
#include <thread>

namespace sorvel {

namespace {
std::mutex imageMutex;
DesktopNotifications::Image& sharedImage() {
    static DesktopNotifications::Image image;
    return image;
}
} // namespace

void DesktopNotifications::setImage(Image image) {
    std::lock_guard lock(imageMutex);
    sharedImage() = std::move(image);
}

DesktopNotifications::DesktopNotifications(QDBusConnection connection) : connection_(std::move(connection)) {}

std::optional<QDBusConnection> DesktopNotifications::sessionBus() {
    static std::mutex opening;
    static bool opened = false; // the bus's thread runs from the first use on
    {
        std::lock_guard lock(opening);
        if (!opened) {
            try {
                std::thread([] {}).join();
            } catch (const std::system_error&) {
                return std::nullopt; // tried again at the next use
            }
            (void)QDBusConnection::sessionBus();
            opened = true;
        }
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return std::nullopt;
    return bus;
}

std::shared_ptr<UserNotifications::Center> DesktopNotifications::session() {
    const auto bus = sessionBus();
    if (!bus) return UserNotifications::none();
    return std::make_shared<DesktopNotifications>(*bus);
}

bool DesktopNotifications::requestAuthorization() { return connection_.isConnected(); }

bool DesktopNotifications::add(const UserNotifications::Request& request) {
    if (!connection_.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                                       QStringLiteral("/org/freedesktop/Notifications"),
                                                       QStringLiteral("org.freedesktop.Notifications"),
                                                       QStringLiteral("Notify"));
    // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout)
    QVariantMap hints;
    {
        std::lock_guard lock(imageMutex);
        const Image& image = sharedImage();
        if (image.width > 0 && image.height > 0 && image.rgba.size() == qsizetype(image.width) * image.height * 4) {
            // (iiibiiay): width, height, row stride, alpha, bits per sample, channels, bytes.
            QDBusArgument data;
            data.beginStructure();
            data << image.width << image.height << image.width * 4 << true << 8 << 4 << image.rgba;
            data.endStructure();
            hints.insert(QStringLiteral("image-data"), QVariant::fromValue(data));
        }
    }
    call << QStringLiteral("Sorvel") << uint(0) << QString() << QString::fromStdString(request.title)
         << QString::fromStdString(request.body) << QStringList() << hints << int(-1);
    return connection_.send(call);
}

} // namespace sorvel
