#pragma once
// Runs an external tool without a shell and collects what it prints. Both pipes are
// drained together, so a tool that fills one of them cannot stall; a tool that outlives
// its deadline is terminated, then killed, and always reaped.
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace sorvel::ProcessRunner {

struct Options {
    std::chrono::milliseconds deadline{10'000};
    /// Time between the polite request to stop and the kill.
    std::chrono::milliseconds killGrace{200};
    /// Bytes kept per stream; the rest is read and dropped.
    size_t outputLimit = 16u * 1024 * 1024;
};

struct Result {
    bool launched = false;  // false: nothing was started (missing or not executable)
    bool timedOut = false;  // the deadline passed and the tool was stopped
    int exitStatus = -1;    // the exit code when the tool exited by itself
    int signal = 0;         // the signal that ended it, when one did
    std::string out;
    std::string err;

    /// Launched, finished in time and exited with status 0.
    bool succeeded() const { return launched && !timedOut && signal == 0 && exitStatus == 0; }
};

/// `executable` must be an absolute path to an executable regular file; arguments are
/// passed as they are. Standard input is the null device. The tool runs in its own
/// process group, so a stop reaches whatever it started, and ends when this process does.
Result run(const std::string& executable, const std::vector<std::string>& arguments,
           const Options& options = {});

/// Makes an interrupt, a termination, a hang-up or a quit that ends this process end the
/// tools it is running too, with whatever they started in their groups. A tool always
/// ends with this process, even one killed outright; this reaches its own children too.
void endToolsWithProcess();

/// True when the path names a regular file this process may execute.
bool isExecutableFile(const std::string& path);

/// The first executable file called `name` in the folders of PATH, as a shell would find
/// it (absolute folders only); none when there is none or `name` holds a slash.
std::optional<std::string> findOnPath(const std::string& name);

} // namespace sorvel::ProcessRunner
