// Every wait on a lock of Sorvel's own ends: another process holding it (stopped, as a
// suspended Sorvel or one held in a debugger, or merely slow) leaves a write not saved, as
// busy, with nothing changed; once it lets go the same write lands.
#include <gtest/gtest.h>

#include <sys/file.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>

#include "platform/JsonListStream.h"
#include "platform/RunLock.h"
#include "platform/UserDefaults.h"
#include "support/LockHolder.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace std::chrono_literals;
using How = test::LockHolder::How;

namespace {

struct Writer {
    const char* name;
    std::function<SaveStatus(UserDefaults&)> write;
};

const Writer kWriters[] = {
    {"a set", [](UserDefaults& d) { return d.set("k", 2); }},
    {"a removal", [](UserDefaults& d) { return d.remove("k"); }},
    {"a list edit",
     [](UserDefaults& d) {
         JsonListStream::Edit edit;
         edit.head = [] { return std::vector<nlohmann::json>{2}; };
         edit.each = [](nlohmann::json&) { return true; };
         edit.changed = [] { return true; };
         return d.modifyList("list", nullptr, edit, [](std::optional<nlohmann::json>& v) {
             v = nlohmann::json::array({2, 1});
             return true;
         });
     }},
};

} // namespace

TEST(LockWait, AWriteAnotherProcessHoldsOffEndsBusyAndLandsOnceItLetsGo) {
    const test::ShortLockWait shortWait;
    for (const How how : {How::stopped, How::waiting}) {
        for (const auto& writer : kWriters) {
            SCOPED_TRACE(std::string(test::name(how)) + ", " + writer.name);
            test::TempDir dir;
            UserDefaults defaults(dir / "defaults.json");
            ASSERT_TRUE(defaults.set("k", 1));
            ASSERT_TRUE(defaults.set("list", nlohmann::json::array({1})));
            const std::string before = test::readFile(defaults.filePath());
            test::LockHolder holder(defaults.filePath() + ".lock", how);
            ASSERT_TRUE(holder.holding());
            const auto status = test::within([&] { return writer.write(defaults); }, holder);
            ASSERT_TRUE(status.has_value()) << "waited past its deadline";
            EXPECT_TRUE(status->busy());
            EXPECT_FALSE(status->saved());
            EXPECT_EQ(test::readFile(defaults.filePath()), before) << "nothing changed";
            EXPECT_NE(status->reason().find("another Sorvel is writing the file"), std::string::npos)
                << status->reason();
            holder.release();
            EXPECT_TRUE(writer.write(defaults));
            EXPECT_NE(test::readFile(defaults.filePath()), before);
        }
    }
}

// A writer of this very process that holds the file past the wait (its change still under
// way) holds off another thread's write the same way.
TEST(LockWait, AWriteOfThisProcessHeldPastTheWaitEndsBusy) {
    const test::ShortLockWait shortWait;
    test::TempDir dir;
    UserDefaults defaults(dir / "defaults.json");
    std::mutex m;
    std::condition_variable cv;
    bool inside = false, letGo = false;
    std::thread holder([&] {
        UserDefaults mine(defaults.filePath());
        (void)mine.modify("k", [&](std::optional<nlohmann::json>& v) {
            std::unique_lock lock(m);
            inside = true;
            cv.notify_all();
            cv.wait_for(lock, 30s, [&] { return letGo; });
            v = 1;
            return true;
        });
    });
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, 30s, [&] { return inside; }));
    }
    const auto release = [&] {
        const std::lock_guard lock(m);
        letGo = true;
        cv.notify_all();
    };
    auto writing = std::async(std::launch::async, [&] { return defaults.set("other", 2); });
    const bool ended = writing.wait_for(20s) == std::future_status::ready;
    release(); // also frees a write that waited on, so the test fails rather than hangs
    const SaveStatus status = writing.get();
    holder.join();
    ASSERT_TRUE(ended) << "waited past its deadline";
    EXPECT_TRUE(status.busy());
    EXPECT_FALSE(defaults.value("other").has_value());
    EXPECT_EQ(defaults.value("k"), nlohmann::json(1));
}

TEST(LockWait, TheWaitIsAFewSeconds) {
    EXPECT_GE(UserDefaults::lockWait(), 2s);
    EXPECT_LE(UserDefaults::lockWait(), 10s);
}

// How a failed write is said: busy in its own words, a save tried again as such.
TEST(LockWait, ABusyWriteIsSaidAsSuch) {
    struct Case {
        SaveStatus status;
        const char* expected;
    };
    const Case cases[] = {
        {SaveStatus::failed(SaveStatus::kBusy),
         "Sorvel could not save X (another Sorvel is writing the file and did not let go of it in time), so Y."},
        {SaveStatus{SaveStatus::kBusy, true},
         "Sorvel could not save X yet: another Sorvel is writing the settings. Sorvel tries again every few "
         "seconds until it is saved."},
        {SaveStatus::failed(EACCES), "Sorvel could not save X (Permission denied), so Y."},
    };
    for (const auto& c : cases) EXPECT_EQ(c.status.notSaved("Sorvel could not save X", "so Y"), c.expected);
}

// A run's lock held by a stopped process is given up within its own wait, not waited on.
TEST(LockWait, ARunLockAStoppedProcessHoldsIsGivenUp) {
    test::FakeHome home;
    test::ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    const std::string name = "run";
    {
        const RunLock::Held first(name); // makes the folder and the file
        ASSERT_TRUE(first.held());
    }
    test::LockHolder holder(RunLock::folderPath() + "/run-" + name + ".lock", How::stopped);
    ASSERT_TRUE(holder.holding());
    EXPECT_EQ(RunLock::state(name), RunLock::State::held);
    const auto error = test::within([&] { return RunLock::Held(name).error(); }, holder);
    ASSERT_TRUE(error.has_value()) << "waited past its deadline";
    EXPECT_EQ(*error, EWOULDBLOCK);
}
