// What the user is told when a sweep ends: the withheld reason, else the headline, and
// nothing after a report that found nothing; and the desktop notification service itself.
#include <gtest/gtest.h>

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QProcess>
#include <QStandardPaths>
#include <QVariantMap>

#include "engine/Bytes.h"
#include "models/DesktopNotifications.h"
#include "models/SweepSchedulerFixtures.h"

using namespace sorvel;
using Action = SweepSchedule::Action;

namespace {

// Runs one sweep that answers with `receipt` and returns the notices posted after it.
std::vector<UserNotifications::Request> noticesAfter(SweepReceipt receipt, bool granted = true) {
    test::SchedulerRig rig;
    rig.center->granted = granted;
    rig.sweeps->receipt = std::move(receipt);
    SweepScheduler scheduler(rig.dependencies());
    scheduler.run(SweepRun::Trigger::manual);
    EXPECT_TRUE(test::sweepDone(scheduler));
    return rig.center->added;
}

SweepReceipt receiptOf(Action action, int64_t found, int64_t movedBytes = 0, int64_t movedCount = 0) {
    SweepReceipt r;
    r.action = action;
    r.foundBytes = found;
    r.movedBytes = movedBytes;
    r.movedCount = movedCount;
    return r;
}

} // namespace

TEST(SweepSchedulerNotice, AReportThatFoundNothingIsNotAnnounced) {
    EXPECT_TRUE(noticesAfter(receiptOf(Action::report, 0)).empty());
    SweepReceipt nothingSelected = receiptOf(Action::report, 0);
    nothingSelected.withheldReason = SweepRunner::kNothingSelectedReason;
    EXPECT_TRUE(noticesAfter(nothingSelected).empty());
}

TEST(SweepSchedulerNotice, TheHeadlineIsTheBodyWhenNothingWasWithheld) {
    auto report = noticesAfter(receiptOf(Action::report, 1));
    ASSERT_EQ(report.size(), 1u);
    EXPECT_EQ(report[0].title, "Sorvel");
    EXPECT_EQ(report[0].body, "Found " + Bytes::format(1) + " that could be cleaned");
    EXPECT_TRUE(UUID::parse(report[0].identifier));

    auto cleanNothing = noticesAfter(receiptOf(Action::clean, 0));
    ASSERT_EQ(cleanNothing.size(), 1u);
    EXPECT_EQ(cleanNothing[0].body, "Nothing needed cleaning");

    auto moved = noticesAfter(receiptOf(Action::clean, 9'000'000, 9'000'000, 3));
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].body, "Moved " + Bytes::format(9'000'000) + " to the Trash");
}

TEST(SweepSchedulerNotice, AWithheldReasonReplacesTheHeadline) {
    SweepReceipt capped = receiptOf(Action::report, 30'000'000'000);
    capped.withheldReason = SweepRunner::withheldReason(30'000'000'000, 25'000'000'000);
    auto notices = noticesAfter(capped);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].body, *capped.withheldReason);
    EXPECT_EQ(notices[0].body.rfind("Found ", 0), 0u);

    SweepReceipt nothingSelected = receiptOf(Action::clean, 0);
    nothingSelected.withheldReason = SweepRunner::kNothingSelectedReason;
    notices = noticesAfter(nothingSelected);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].body, SweepRunner::kNothingSelectedReason);
}

TEST(SweepSchedulerNotice, WithoutAuthorisationNothingIsAdded) {
    EXPECT_TRUE(noticesAfter(receiptOf(Action::report, 5), /*granted=*/false).empty());
}

TEST(DesktopNotificationService, WithoutABusNothingIsShownAndNothingFails) {
    DesktopNotifications center(QDBusConnection(QStringLiteral("sorvel-never-connected")));
    EXPECT_FALSE(center.requestAuthorization());
    EXPECT_FALSE(center.add(UserNotifications::Request::make("body")));
    EXPECT_FALSE(UserNotifications::post(*UserNotifications::none(), UserNotifications::Request::make("x")));
}

TEST(DesktopNotificationService, AnUnreachableSessionBusGivesTheSilentCentre) {
    test::ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/sorvel-test-bus");
    auto center = DesktopNotifications::session();
    ASSERT_TRUE(center);
    EXPECT_FALSE(center->requestAuthorization());
    EXPECT_FALSE(UserNotifications::post(*center, UserNotifications::Request::make("body")));
}

namespace {

// The service end of org.freedesktop.Notifications, as a desktop would provide it.
class FakeNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString app, icon, summary, body;
        uint replaces = 99;
        QStringList actions;
        QVariantMap hints;
        int timeout = 0;
    };
    std::vector<Call> calls;

public slots:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap& hints, int timeout) {
        calls.push_back({app, icon, summary, body, replaces, actions, hints, timeout});
        return static_cast<uint>(calls.size());
    }
};

// A private message bus for the test, ended when the test ends.
struct PrivateBus {
    QProcess daemon;
    QString address;
    PrivateBus() {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (program.isEmpty()) return;
        daemon.start(program, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (!daemon.waitForStarted(5000)) return;
        test::waitUntil([&] { return daemon.canReadLine() || daemon.state() != QProcess::Running; }, 5000);
        address = QString::fromUtf8(daemon.readLine()).trimmed();
    }
    ~PrivateBus() {
        if (daemon.state() == QProcess::Running) {
            daemon.terminate();
            daemon.waitForFinished(3000);
        }
    }
};

} // namespace

TEST(DesktopNotificationService, ANoticeReachesTheServiceOnTheBus) {
    PrivateBus bus;
    if (bus.address.isEmpty()) GTEST_SKIP() << "no dbus-daemon to run a private bus";
    {
        QDBusConnection service = QDBusConnection::connectToBus(bus.address, QStringLiteral("sorvel-test-service"));
        QDBusConnection client = QDBusConnection::connectToBus(bus.address, QStringLiteral("sorvel-test-client"));
        ASSERT_TRUE(service.isConnected());
        ASSERT_TRUE(client.isConnected());
        FakeNotificationService fake;
        ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                           QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.Notifications")));

        DesktopNotifications center(client);
        EXPECT_TRUE(center.requestAuthorization());
        const std::string body = "Found 1.2 GB that could be cleaned \u2014 caf\u00e9";
        EXPECT_TRUE(UserNotifications::post(center, UserNotifications::Request::make(body)));
        ASSERT_TRUE(test::waitUntil([&] { return !fake.calls.empty(); }, 5000));
        const auto& call = fake.calls[0];
        EXPECT_EQ(call.app, "Sorvel");
        EXPECT_EQ(call.summary, "Sorvel");
        EXPECT_EQ(call.body.toStdString(), body);
        EXPECT_EQ(call.replaces, 0u);
        EXPECT_TRUE(call.actions.isEmpty());
        EXPECT_EQ(call.timeout, -1);
        // With the application's picture set, the next notice carries it.
        const QByteArray pixels(4 * 3 * 4, char(0x7f));
        DesktopNotifications::setImage({4, 3, pixels});
        EXPECT_TRUE(UserNotifications::post(center, UserNotifications::Request::make(body)));
        ASSERT_TRUE(test::waitUntil([&] { return fake.calls.size() == 2; }, 5000));
        DesktopNotifications::setImage({});
        ASSERT_TRUE(fake.calls[1].hints.contains("image-data")) << "the notice carries no icon";
        const QDBusArgument image = fake.calls[1].hints.value("image-data").value<QDBusArgument>();
        int width = 0, height = 0, stride = 0, bits = 0, channels = 0;
        bool alpha = false;
        QByteArray bytes;
        image.beginStructure();
        image >> width >> height >> stride >> alpha >> bits >> channels >> bytes;
        image.endStructure();
        EXPECT_EQ(std::vector<int>({width, height, stride, bits, channels}), std::vector<int>({4, 3, 16, 8, 4}));
        EXPECT_TRUE(alpha);
        EXPECT_EQ(bytes, pixels);
        service.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("sorvel-test-service"));
    QDBusConnection::disconnectFromBus(QStringLiteral("sorvel-test-client"));
}

#include "SweepSchedulerNoticeTests.moc"
