// A tool ends with the process that runs it: killed outright, interrupted or terminated,
// Sorvel never leaves a tool (or what the tool started) running behind it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "platform/ProcessRunner.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

struct Ending {
    const char* name;
    int signal;          // sent to the process running the tool
    bool endsToolsToo;   // the process asked for its tools to end with it
    bool groupEnds;      // what the tool started must end as well
};

} // namespace

TEST(ProcessRunnerEnding, TheToolEndsWithTheProcessThatRunsIt) {
    const Ending rows[] = {
        {"killed outright", SIGKILL, false, false},
        {"terminated, no handling asked", SIGTERM, false, false},
        {"interrupted (Ctrl-C)", SIGINT, true, true},
        {"terminated", SIGTERM, true, true},
        {"hung up", SIGHUP, true, true},
    };
    for (const auto& row : rows) {
        test::TempDir dir;
        const auto tool = test::writeScript(dir, "tool",
                                            "sleep 60 & echo $! > '" + dir / "started" + "'\n"
                                            "echo $$ > '" + dir / "tool.pid" + "'\nwait");
        fflush(nullptr);
        const pid_t runner = fork();
        ASSERT_GE(runner, 0);
        if (runner == 0) {
            if (row.endsToolsToo) ProcessRunner::endToolsWithProcess();
            ProcessRunner::Options options;
            options.deadline = std::chrono::seconds(120);
            ProcessRunner::run(tool, {}, options);
            _exit(3);
        }
        const pid_t toolPid = test::pidInFile(dir / "tool.pid", std::chrono::seconds(20));
        const pid_t started = test::pidInFile(dir / "started", std::chrono::seconds(20));
        ASSERT_GT(toolPid, 0) << row.name;
        ASSERT_GT(started, 0) << row.name;
        kill(runner, row.signal);
        int status = 0;
        ASSERT_EQ(waitpid(runner, &status, 0), runner) << row.name;
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == row.signal) << row.name << ": status " << status;
        EXPECT_TRUE(test::endsWithin(toolPid, std::chrono::seconds(10))) << row.name << ": the tool outlived its runner";
        if (row.groupEnds) {
            EXPECT_TRUE(test::endsWithin(started, std::chrono::seconds(10)))
                << row.name << ": what the tool started outlived its runner";
        }
        kill(toolPid, SIGKILL);
        kill(started, SIGKILL);
    }
}

TEST(ProcessRunnerEnding, AToolThatCannotBeStartedIsNotLaunched) {
    test::TempDir dir;
    // Executable, but no interpreter: the start itself fails, as a missing file does.
    test::writeFile(dir / "broken", "#!/nonexistent/interpreter\n");
    chmod((dir / "broken").c_str(), 0755);
    const auto r = ProcessRunner::run(dir / "broken", {});
    EXPECT_FALSE(r.launched);
    EXPECT_FALSE(r.succeeded());
}
