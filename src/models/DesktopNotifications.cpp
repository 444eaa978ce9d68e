#include "models/DesktopNotifications.h"

#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace sorvel {

DesktopNotifications::DesktopNotifications(QDBusConnection connection) : connection_(std::move(connection)) {}

std::shared_ptr<UserNotifications::Center> DesktopNotifications::session() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return UserNotifications::none();
    return std::make_shared<DesktopNotifications>(bus);
}

bool DesktopNotifications::requestAuthorization() { return connection_.isConnected(); }

bool DesktopNotifications::add(const UserNotifications::Request& request) {
    if (!connection_.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                                       QStringLiteral("/org/freedesktop/Notifications"),
                                                       QStringLiteral("org.freedesktop.Notifications"),
                                                       QStringLiteral("Notify"));
    // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout)
    call << QStringLiteral("Sorvel") << uint(0) << QString() << QString::fromStdString(request.title)
         << QString::fromStdString(request.body) << QStringList() << QVariantMap() << int(-1);
    return connection_.send(call);
}

} // namespace sorvel
