// `--watch` over folders whose paths are longer than the system can watch: they are said
// on standard error, as folders past the share of watches are, never silently missed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "support/TestSupport.h"

using namespace sorvel::test;
using namespace std::chrono_literals;

namespace {

// `sorvel --watch`, its output in files; killed when the object goes away.
class Watching {
public:
    Watching(const std::string& path, const TempDir& scratch) : out_(scratch / "out"), err_(scratch / "err") {
        fflush(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(open(out_.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644), 1);
            dup2(open(err_.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644), 2);
            setenv("HOME", "/nonexistent-home", 1); // paths are shown whole
            execl(SORVEL_BINARY, SORVEL_BINARY, "--watch", path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Watching() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    // Waits up to 20 s for the file to hold `lines` whole lines; its text then.
    std::string await(const std::string& file, size_t lines) const {
        const auto until = std::chrono::steady_clock::now() + 20s;
        std::string text;
        while (std::chrono::steady_clock::now() < until) {
            text = exists(file) ? readFile(file) : "";
            if (static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) >= lines) break;
            std::this_thread::sleep_for(10ms);
        }
        return text;
    }
    std::string out(size_t lines) const { return await(out_, lines); }
    std::string err(size_t lines) const { return await(err_, lines); }

private:
    std::string out_, err_;
    pid_t pid_ = -1;
};

// Folders of 200-character names, as many as it takes for the last one's path (and only
// its) to pass the system's length.
int depthPastTheLimit(const std::string& base) {
    int depth = 1;
    while (base.size() + static_cast<size_t>(depth) * 201 < PATH_MAX) ++depth;
    return depth;
}

} // namespace

TEST(WatchLongPaths, AFolderPastTheSystemsPathLengthIsSaidAsUnwatched) {
    const struct {
        const char* name;
        bool madeBefore; // there before the watch starts, or made while it runs
    } rows[] = {{"there from the start", true}, {"made while watched", false}};
    const std::string name(200, 'n');
    for (const auto& row : rows) {
        TempDir dir, scratch;
        makeDirs(dir / "w");
        const int depth = depthPastTheLimit(dir / "w");
        if (row.madeBefore) makeFolderChain(dir / "w", depth, name, 100);
        Watching watch(dir / "w", scratch);
        ASSERT_EQ(watch.out(2).rfind("watching " + dir / "w" + "\n", 0), 0u) << row.name;
        if (!row.madeBefore) makeFolderChain(dir / "w", depth, name, 100);
        EXPECT_EQ(watch.err(1), "sorvel: changes in 1 folder under " + dir / "w" +
                                    " will not be seen: their paths are longer than the system can watch\n")
            << row.name;
    }
}
