// `--docker` against a stand-in docker put where Sorvel looks for it (in a mount namespace
// of the test's own): answers that are no accounting, and a docker that outlives nothing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "cli/DockerCommand.h"
#include "engine/Bytes.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

constexpr const char* kToolFolder = "/usr/local/bin";

bool contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

// In the namespace: the stand-in is the first docker Sorvel finds.
bool placeDocker(const std::string& body) {
    if (mount("tmpfs", kToolFolder, "tmpfs", 0, "mode=0755") != 0) return false;
    const std::string path = std::string(kToolFolder) + "/docker";
    writeFile(path, "#!/bin/sh\n" + body + "\n");
    return chmod(path.c_str(), 0755) == 0;
}

pid_t startSorvel(const std::string& output) {
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, STDOUT_FILENO);
        execl(SORVEL_BINARY, SORVEL_BINARY, "--docker", static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

} // namespace

TEST(DockerChild, AnAnswerThatIsNoAccountingIsNeverAConnectedZero) {
    const struct {
        const char* name;
        const char* answer; // what `docker system df` writes, exiting 0
    } rows[] = {
        {"nothing", ""},
        {"garbage", "echo 'something else entirely'"},
        {"JSON of another shape", "echo '{\"Images\":[],\"Volumes\":[]}'"},
    };
    for (const auto& row : rows) {
        TempDir dir;
        const int status = inMountNamespace([&] {
            if (!placeDocker(std::string(row.answer) + "\nexit 0")) return kSkipped;
            const pid_t sorvel = startSorvel(dir / "out");
            return waitForChild(sorvel, std::chrono::seconds(60));
        });
        if (status == kSkipped) GTEST_SKIP() << "no mount namespace can be made here";
        ASSERT_EQ(status, 0) << row.name;
        const std::string out = readFile(dir / "out");
        EXPECT_TRUE(contains(out, "Docker answered, but not with its disk accounting.")) << row.name << out;
        EXPECT_FALSE(contains(out, "Connected.")) << row.name << out;
        EXPECT_FALSE(contains(out, " total")) << row.name << out;
    }
}

TEST(DockerChild, DockerEndsWithSorvel) {
    const struct {
        const char* name;
        int signal;
    } rows[] = {{"Ctrl-C", SIGINT}, {"a kill", SIGTERM}, {"a kill it cannot catch", SIGKILL}, {"a hang-up", SIGHUP}};
    for (const auto& row : rows) {
        TempDir dir;
        // It hangs as a stuck daemon's tool does, well inside Sorvel's own deadline.
        const int status = inMountNamespace([&] {
            if (!placeDocker("echo $$ > '" + dir / "docker.pid" + "'\nexec sleep 60")) return kSkipped;
            const pid_t sorvel = startSorvel(dir / "out");
            const pid_t docker = pidInFile(dir / "docker.pid", std::chrono::seconds(20));
            if (docker <= 0) return 10;
            kill(sorvel, row.signal);
            int ended = 0;
            if (waitpid(sorvel, &ended, 0) != sorvel || !WIFSIGNALED(ended) || WTERMSIG(ended) != row.signal)
                return 11;
            if (endsWithin(docker, std::chrono::seconds(10))) return 0;
            kill(docker, SIGKILL);
            return 12;
        });
        if (status == kSkipped) GTEST_SKIP() << "no mount namespace can be made here";
        EXPECT_NE(status, 10) << row.name << ": the stand-in docker never started";
        EXPECT_NE(status, 11) << row.name << ": Sorvel did not end by the signal";
        EXPECT_NE(status, 12) << row.name << ": docker outlived Sorvel";
        EXPECT_EQ(status, 0) << row.name;
    }
}

TEST(DockerChild, SizesThatCouldNotBeReadAreSaidAndLeftOutOfTheTotals) {
    DockerUsage usage{DockerUsage::State::ready, {}, std::nullopt};
    DockerUsage::Entry known{"a", "web:1", std::nullopt, 2'000'000'000, true, "docker rmi web:1"};
    DockerUsage::Entry unknown{"b", "db:2", std::nullopt, 0, false, "docker rmi db:2"};
    unknown.sizeKnown = false;
    DockerUsage::Group images{"images", "Images", 2'000'000'000, 2'000'000'000, {known, unknown}, std::nullopt};
    images.sizesKnown = false;
    usage.groups.push_back(images);
    usage.groups.push_back(DockerUsage::Group{"volumes", "Volumes", 1'000'000'000, 0, {}, std::nullopt});
    const std::string text = HeadlessReport::dockerReport(usage);
    const std::string two = Bytes::format(2'000'000'000), three = Bytes::format(3'000'000'000);
    EXPECT_TRUE(contains(text, "\n  " + three + " total \u00B7 " + two + " reclaimable (some sizes not known)\n"))
        << text;
    EXPECT_TRUE(contains(text, "IMAGES \u2014 " + two + " total, " + two + " reclaimable (some sizes not known)\n"))
        << text;
    EXPECT_TRUE(contains(text, "VOLUMES \u2014 " + Bytes::format(1'000'000'000) + " total, " + Bytes::format(0) +
                                   " reclaimable\n"))
        << text;
    EXPECT_TRUE(contains(text, "\n      not known  db:2")) << text;
    EXPECT_FALSE(contains(text, Bytes::format(0) + "  db:2")) << text;
}
