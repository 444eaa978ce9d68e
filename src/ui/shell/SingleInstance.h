#pragma once
// One Sorvel per desktop session. The first window takes a name of its own on the session
// bus, as desktop applications do; a second start finds the name taken, asks its owner to
// come to the front, and ends. Where there is no session bus, the first holds a run lock in
// Sorvel's settings folder instead, and a second start finds it held and ends.
#include <QDBusConnection>
#include <QObject>

#include <memory>
#include <optional>
#include <string>

#include "platform/RunLock.h"

namespace sorvel::ui {

class SingleInstance final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.sorvel.Sorvel")

public:
    static constexpr const char* kServiceName = "org.sorvel.Sorvel";
    static constexpr const char* kObjectPath = "/org/sorvel/Sorvel";
    static constexpr const char* kInterface = "org.sorvel.Sorvel";
    /// The run lock's name where there is no bus.
    static constexpr const char* kLockName = "window";

    enum class Role {
        first,          // this process is the session's Sorvel
        handedOver,     // another is; it was asked to come to the front
        alreadyRunning, // another holds the lock (no bus): nothing could be asked of it
    };

    /// Claims the session on `bus` (none, or not connected: the lock instead).
    explicit SingleInstance(std::optional<QDBusConnection> bus, QObject* parent = nullptr);
    ~SingleInstance() override;

    Role role() const { return role_; }
    /// The line a second start leaves on standard error; empty for the first.
    std::string message() const;

public slots:
    /// Called over the bus by a second start.
    Q_SCRIPTABLE void Activate();

signals:
    /// A second start asked this one to come to the front.
    void activated();

private:
    bool claimBus(QDBusConnection& bus);
    Role role_ = Role::first;
    std::optional<QDBusConnection> bus_;
    std::unique_ptr<RunLock::Held> lock_;
};

} // namespace sorvel::ui
