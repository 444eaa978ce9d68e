#include "ui/shell/SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include <cerrno>

namespace sorvel::ui {

namespace {
// How long a second start waits for the first to answer: a first that hangs does not keep
// the second for long, and it ends all the same.
constexpr int kAnswerWaitMs = 3000;
} // namespace

SingleInstance::SingleInstance(std::optional<QDBusConnection> bus, QObject* parent) : QObject(parent) {
    if (bus && bus->isConnected() && bus->interface() && claimBus(*bus)) return;
    // No bus to meet on: the first to hold the lock is the one.
    lock_ = std::make_unique<RunLock::Held>(kLockName);
    if (!lock_->held() && (lock_->error() == EWOULDBLOCK || lock_->error() == EAGAIN)) role_ = Role::alreadyRunning;
}

SingleInstance::~SingleInstance() {
    if (role_ == Role::first && bus_) {
        bus_->unregisterObject(QString::fromLatin1(kObjectPath));
        if (bus_->interface()) bus_->interface()->unregisterService(QString::fromLatin1(kServiceName));
    }
}

// True once the bus has decided: this process holds the name, or another does and was
// asked to come forward. False when the bus could not be asked.
bool SingleInstance::claimBus(QDBusConnection& bus) {
    const QString service = QString::fromLatin1(kServiceName);
    // The object first, so a second start that finds the name finds it answering.
    const bool exported = bus.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportScriptableSlots);
    const auto reply = bus.interface()->registerService(service, QDBusConnectionInterface::DontQueueService,
                                                        QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        if (exported) bus.unregisterObject(QString::fromLatin1(kObjectPath));
        return false;
    }
    if (reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        bus_ = bus;
        role_ = Role::first;
        return true;
    }
    if (exported) bus.unregisterObject(QString::fromLatin1(kObjectPath));
    const QDBusMessage call = QDBusMessage::createMethodCall(service, QString::fromLatin1(kObjectPath),
                                                             QString::fromLatin1(kInterface), QStringLiteral("Activate"));
    (void)bus.call(call, QDBus::Block, kAnswerWaitMs);
    role_ = Role::handedOver;
    return true;
}

void SingleInstance::Activate() { emit activated(); }

std::string SingleInstance::message() const {
    switch (role_) {
    case Role::first: return {};
    case Role::handedOver: return "sorvel: Sorvel is already running in this session; its window was brought to the front.";
    case Role::alreadyRunning:
        return "sorvel: Sorvel is already running for this user (it holds its lock in " + RunLock::folderPath() +
               "), so this one ends.";
    }
    return {};
}

} // namespace sorvel::ui
