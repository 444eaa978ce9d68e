// Sorvel's own files are plain files: with a pipe in the place of one (or of its lock),
// every writer refuses at once and says so, rather than waiting on it for ever.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "RunHome.h"
#include "platform/RunLock.h"
#include "platform/UserDefaults.h"

using namespace sorvel;

namespace {

using Write = std::function<bool(const test::RunHome&)>; // true when it said it could not save

const Write historyWrite = [](const test::RunHome&) { return !SweepHistory::store(SweepRun{}).saved(); };
// A move that could record itself nowhere does not start, and the result says so.
const Write move = [](const test::RunHome& home) {
    const auto items = home.folders(1);
    const auto result = RemovalRun::moveAndRecord(home.request(items));
    return result.saveError.has_value() && result.outcomes.size() == 1 && !result.outcomes[0].moved() &&
           test::exists(items[0].path + "/f");
};
const Write settingsWrite = [](const test::RunHome&) {
    return !UserDefaults::standard().set("SorvelAppearance", "dark").saved();
};
const Write runLock = [](const test::RunHome&) { return !RunLock::Held("run").held(); };

struct Case {
    const char* pipe; // the file a pipe stands in for
    const char* writer;
    Write write;
    bool refused;
};

const Case kCases[] = {
    {"history.json", "a history write", historyWrite, true},
    {"history.json.lock", "a history write", historyWrite, true},
    {"history.json", "a move", move, true},
    {"history.json.lock", "a move", move, true},
    {"defaults.json", "a settings write", settingsWrite, true},
    {"defaults.json.lock", "a settings write", settingsWrite, true},
    {"run-run.lock", "a run's lock", runLock, true},
    // A pipe in another file's place changes nothing.
    {"defaults.json", "a history write", historyWrite, false},
    {"history.json", "a settings write", settingsWrite, false},
};

} // namespace

TEST(OwnFiles, APipeInThePlaceOfOneIsRefusedAtOnce) {
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.writer) + " with a pipe for " + c.pipe);
        test::RunHome home;
        const std::string folder = RunLock::folderPath();
        test::makeDirs(folder);
        ASSERT_EQ(::mkfifo((folder + "/" + c.pipe).c_str(), 0600), 0);
        // A writer that waits on the pipe is stopped by the alarm rather than holding the tests.
        const int status = test::runInChild([&] {
            ::alarm(20);
            return c.write(home) ? 0 : 1;
        });
        EXPECT_EQ(status, c.refused ? 0 : 1);
    }
}
