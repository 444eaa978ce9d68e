// One Sorvel per desktop session, with real second processes of the executable: on a
// session bus the second start asks the first to come to the front and ends; two started
// under `dbus-run-session` leave one running; with no bus, the run lock in the settings
// folder does the same.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QProcess>
#include <QSignalSpy>

#include <csignal>
#include <optional>
#include <string>

#include "platform/RunLock.h"
#include "ui/shell/SingleInstance.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::ui;

namespace {

// Where the tool is, or none when it is not installed.
std::optional<std::string> toolPath(const char* tool) {
    const auto r = test::runCommand({"/bin/sh", "-c", std::string("command -v ") + tool});
    const auto lines = test::lines(r.out);
    if (r.status != 0 || lines.empty()) return std::nullopt;
    return lines[0];
}

std::optional<std::string> missingTool(const char* tool) {
    if (!toolPath(tool)) return std::string(tool);
    return std::nullopt;
}

// A session bus of the test's own, ended with the object.
struct PrivateBus {
    std::string address;
    pid_t pid = -1;
    PrivateBus() {
        const auto r = test::runCommand({toolPath("dbus-daemon").value_or("dbus-daemon"), "--session", "--fork", "--print-address=1", "--print-pid=1"});
        const auto lines = test::lines(r.out);
        if (r.status != 0 || lines.size() < 2) return;
        address = lines[0];
        pid = static_cast<pid_t>(std::stol(lines[1]));
    }
    ~PrivateBus() {
        if (pid > 0) ::kill(pid, SIGTERM);
    }
};

struct Home {
    test::FakeHome home;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
};

// The executable started as a user would start it again, in `home`, on `busAddress`.
struct SecondStart {
    QProcess process;
    SecondStart(const Home& home, const std::string& busAddress) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", QString::fromStdString(home.home.path()));
        env.remove("XDG_CONFIG_HOME");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromStdString(busAddress));
        process.setProcessEnvironment(env);
        process.start(SORVEL_BINARY, {});
    }
    ~SecondStart() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    bool endedWithin(int ms) {
        return test::waitUntil([&] { return process.state() == QProcess::NotRunning; }, ms);
    }
    std::string err() { return process.readAllStandardError().toStdString(); }
};

constexpr int kFewSeconds = 15'000; // a second start ends well within this, even under load

} // namespace

TEST(SingleInstance, ASecondStartOnTheSessionBusBringsTheFirstForwardAndEnds) {
    if (auto tool = missingTool("dbus-daemon")) GTEST_SKIP() << *tool << " is not installed (scripts/bootstrap installs it)";
    const PrivateBus bus;
    ASSERT_FALSE(bus.address.empty());
    Home home;
    QDBusConnection connection = QDBusConnection::connectToBus(QString::fromStdString(bus.address), "sorvel-first");
    ASSERT_TRUE(connection.isConnected());
    {
        SingleInstance first(connection);
        ASSERT_EQ(first.role(), SingleInstance::Role::first);
        QSignalSpy activated(&first, &SingleInstance::activated);

        SecondStart second(home, bus.address);
        ASSERT_TRUE(second.endedWithin(kFewSeconds)) << second.err();
        EXPECT_EQ(second.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.process.exitCode(), 0);
        EXPECT_NE(second.err().find("already running in this session"), std::string::npos);
        ASSERT_TRUE(test::waitUntil([&] { return activated.count() == 1; }, kFewSeconds));
        // No window, no settings: it ended before it made anything.
        EXPECT_FALSE(test::exists(home.home / ".config/sorvel/history.json"));
    }
    // The first gone, the name is free again: the next start is the first.
    SingleInstance next(connection);
    EXPECT_EQ(next.role(), SingleInstance::Role::first);
    QDBusConnection::disconnectFromBus("sorvel-first");
}

// With no bus to meet on, the run lock in the settings folder: held, a second start ends.
TEST(SingleInstance, WithoutABusTheLockInTheSettingsFolderKeepsToOne) {
    Home home;
    std::optional<SingleInstance> first(std::in_place, std::nullopt);
    ASSERT_EQ(first->role(), SingleInstance::Role::first);
    EXPECT_EQ(RunLock::state(SingleInstance::kLockName), RunLock::State::held);
    {
        SecondStart second(home, "unix:path=" + home.home / "no-bus-here");
        ASSERT_TRUE(second.endedWithin(kFewSeconds)) << second.err();
        EXPECT_EQ(second.process.exitCode(), 0);
        EXPECT_NE(second.err().find("already running for this user"), std::string::npos);
    }
    first.reset();
    EXPECT_EQ(RunLock::state(SingleInstance::kLockName), RunLock::State::free);
    SingleInstance again(std::nullopt);
    EXPECT_EQ(again.role(), SingleInstance::Role::first);
}

// Two real windows started one after the other in one desktop session: the second ends
// within a few seconds, the first keeps running and keeps the name.
TEST(SingleInstance, TwoStartsUnderOneSessionLeaveOneRunning) {
    for (const char* tool : {"dbus-run-session", "dbus-send"})
        if (auto missing = missingTool(tool)) GTEST_SKIP() << *missing << " is not installed (scripts/bootstrap installs it)";
    Home home;
    const std::string steps = R"sh(
owner() { dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner string:org.sorvel.Sorvel 2>/dev/null | grep -q 'boolean true'; }
"$SORVEL" 2>"$HOME/first.txt" & first=$!
trap 'kill $first 2>/dev/null; wait' EXIT
for i in $(seq 1 300); do owner && break; kill -0 $first 2>/dev/null || break; sleep 0.1; done
owner && echo "first: owns the name"
timeout 20 "$SORVEL" 2>"$HOME/second.txt"; echo "second: ended $?"
kill -0 $first 2>/dev/null && echo "first: running"
owner && echo "first: still owns the name"
cat "$HOME/second.txt"
)sh";
    test::TempDir scripts;
    const std::string path = test::writeScript(scripts, "two.sh", steps);
    const auto r = test::runCommand({*toolPath("dbus-run-session"), "--", "/bin/sh", path},
                                    {{"HOME", home.home.path()}, {"SORVEL", SORVEL_BINARY}, {"QT_QPA_PLATFORM", "offscreen"}});
    EXPECT_NE(r.out.find("first: owns the name"), std::string::npos) << r.out << r.err;
    EXPECT_NE(r.out.find("second: ended 0"), std::string::npos) << r.out << r.err;
    EXPECT_NE(r.out.find("first: running"), std::string::npos) << r.out << r.err;
    EXPECT_NE(r.out.find("first: still owns the name"), std::string::npos) << r.out << r.err;
    EXPECT_NE(r.out.find("already running in this session"), std::string::npos) << r.out << r.err;
}
