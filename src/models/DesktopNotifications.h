#pragma once
// Notices through the freedesktop notification service (org.freedesktop.Notifications)
// on the session D-Bus. Without a session bus, notices are dropped silently.
#include <QByteArray>
#include <QDBusConnection>
#include <memory>
#include <optional>

#include "platform/UserNotifications.h"

namespace sorvel {

class DesktopNotifications final : public UserNotifications::Center {
public:
    /// Uses the given bus connection (tests pass a private bus).
    explicit DesktopNotifications(QDBusConnection connection);

    /// The centre of the user's session bus; silent when there is no session bus.
    static std::shared_ptr<UserNotifications::Center> session();
    /// The user's session bus; none when there is none, or when its first use finds that
    /// no thread can be started (the bus's own thread would never run, and the first call
    /// would wait on it for ever).
    static std::optional<QDBusConnection> sessionBus();

    /// Granted whenever the bus is connected: the service asks for no consent.
    bool requestAuthorization() override;
    /// Sends Notify without waiting for the reply; false when the message could not be queued.
    bool add(const UserNotifications::Request& request) override;

    /// The picture every notice carries ("image-data": RGBA, 8 bits a channel, rows of
    /// `width` * 4 bytes), set once by the window with the application's icon.
    struct Image {
        int width = 0;
        int height = 0;
        QByteArray rgba;
    };
    static void setImage(Image image);

private:
    QDBusConnection connection_;
};

} // namespace sorvel
