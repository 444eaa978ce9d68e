// What the command line prints when names are hostile or the surroundings fail: control
// characters never reach the terminal raw, a path that is not there is an error, and an
// output that cannot be written is a failure (a reader that left, a quiet one).
#include <gtest/gtest.h>

#include <climits>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cli/DockerCommand.h"
#include "cli/HistoryCommand.h"
#include "cli/ReportOutput.h"
#include "cli/TextLayout.h"
#include "platform/Text.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

extern char** environ;

namespace {

bool hasRawControl(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\n') || c == 0x7F) return true;
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) <= 0x9F)
            return true;
    }
    return false;
}

const std::string kNewlineName = "two\nlines";
const std::string kEscapeName = "red\x1b[31mtext";

// Runs sorvel with its standard output on a pipe nobody reads any more; its standard
// error goes to `errorFile`.
int runWithReaderGone(const std::vector<std::string>& args, const std::string& errorFile,
                      const std::string& home) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    ::close(fds[0]);
    const int err = ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err, 2);
    std::vector<std::string> argv{SORVEL_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    std::vector<std::string> env{"HOME=" + home, "PATH=/usr/bin:/bin", "LC_ALL=C.UTF-8"};
    std::vector<char*> rawEnv;
    for (auto& e : env) rawEnv.push_back(e.data());
    rawEnv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, SORVEL_BINARY, &actions, nullptr, raw.data(), rawEnv.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    ::close(err);
    if (spawned != 0) return -1;
    return test::waitForChild(pid, test::kChildDeadline);
}

} // namespace

TEST(CommandOutputSafety, PrintableEscapesEveryControlCharacter) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"plain name.txt", "plain name.txt"},
        {"a\nb", "a\\nb"},
        {"tab\there", "tab\\there"},
        {"cr\rback", "cr\\rback"},
        {"\x1b[2J", "\\x1b[2J"},
        {std::string("nul\0x", 5), "nul\\x00x"},
        {"del\x7f", "del\\x7f"},
        {"csi\xc2\x9b" "31m", "csi\\u009b31m"},
        {"back\\slash", "back\\\\slash"},
        {"caf\xc3\xa9 \xe2\x80\x94 \xf0\x9f\x93\x81", "caf\xc3\xa9 \xe2\x80\x94 \xf0\x9f\x93\x81"},
        {"bad\xff", "bad\xef\xbf\xbd"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(printable(c.in), c.out) << c.in;
        EXPECT_EQ(TextLayout::shown(c.in), c.out) << c.in;
        EXPECT_FALSE(hasRawControl(printable(c.in))) << c.in;
    }
    EXPECT_EQ(TextLayout::shownPath("/x/" + kNewlineName), "/x/two\\nlines");
}

TEST(CommandOutputSafety, CommandsPrintHostileNamesEscaped) {
    FakeHome home;
    const std::string content(1'200'000, 'q');
    for (const auto& name : {kNewlineName, kEscapeName}) {
        writeFile(home / ("d/" + name), content);
        writeFile(home / ("d/sub " + name + "/f"), "x");
    }
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--size", home / "d"}, {"--duplicates", home / "d"}, {"--insights", home / "d"}}) {
        const auto r = runSorvel(args, {{"HOME", home.path()}});
        ASSERT_EQ(r.status, 0) << args[0] << r.err;
        EXPECT_FALSE(hasRawControl(r.out)) << args[0] << ":\n" << r.out;
        EXPECT_NE(r.out.find("two\\nlines"), std::string::npos) << args[0] << ":\n" << r.out;
        EXPECT_NE(r.out.find("red\\x1b[31mtext"), std::string::npos) << args[0] << ":\n" << r.out;
    }
    // A path given on the command line is shown escaped in the complaint too.
    const auto r = runSorvel({"--size", home / ("gone" + kEscapeName)}, {{"HOME", home.path()}});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(hasRawControl(r.err)) << r.err;

    // Reports built from other programs' answers and stored history.
    DockerUsage usage;
    usage.state = DockerUsage::State::ready;
    usage.groups.push_back({"volumes", "Volumes", 10, 10,
                            {{kEscapeName, kNewlineName, std::string("a\tb"), 10, true, std::nullopt}},
                            "docker volume prune"});
    SweepRun run;
    run.scope = "own folder " + kNewlineName;
    for (const std::string& text : {HeadlessReport::dockerReport(usage), HeadlessReport::historyReport({run})}) {
        EXPECT_FALSE(hasRawControl(text)) << text;
        EXPECT_NE(text.find("two\\nlines"), std::string::npos) << text;
    }
}

TEST(CommandOutputSafety, MissingOrUnreadablePathsAreErrors) {
    FakeHome home;
    makeDirs(home / "locked");
    writeFile(home / "locked/f", "x");
    ::chmod((home / "locked").c_str(), 0700);
    for (const char* command : {"--duplicates", "--insights", "--size"}) {
        const auto r = runSorvel({command, "~/nowhere"}, {{"HOME", home.path()}});
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_EQ(r.err, "No such path: ~/nowhere\n") << command;
        EXPECT_EQ(r.out, "") << command;
    }
    // A folder another user cannot open (root reads everything, so drop to nobody).
    for (const char* command : {"--duplicates", "--insights", "--size"}) {
        const std::string path = home / "locked";
        const int status = runAsUnprivileged([&] {
            const auto r = runCommand({SORVEL_BINARY, command, path}, {{"HOME", "/nonexistent"}});
            if (r.status != 1) return 10;
            if (r.err.rfind("Cannot read: " + path + " (Permission denied)\n", 0) != 0) return 11;
            return r.out.empty() ? 0 : 12;
        });
        EXPECT_EQ(status, 0) << command;
    }
}

// A path longer than one system call may name is not a missing one: when it is there the
// error gives the real reason; only a path that is really absent is "No such path".
TEST(CommandOutputSafety, APathPastPathMaxIsNotCalledMissing) {
    MemoryScratch scratch;
    TempDir dir;
    makeFolderChain(dir.path(), 500, "deep-folder-name", 1);
    std::string deep = dir.path();
    for (int i = 0; i < 500; ++i) deep += "/deep-folder-name";
    ASSERT_GT(deep.size(), size_t(PATH_MAX));
    for (const char* command : {"--duplicates", "--insights", "--size"}) {
        const auto there = runSorvel({command, deep});
        EXPECT_EQ(there.status, 1) << command;
        EXPECT_EQ(there.err, "Cannot read: " + deep + " (File name too long)\n") << command;
        const auto absent = runSorvel({command, deep + "/gone"});
        EXPECT_EQ(absent.err, "No such path: " + deep + "/gone\n") << command;
    }
}

TEST(CommandOutputSafety, OutputThatCannotBeWrittenEndsEveryCommand) {
    FakeHome home;
    makeDirs(home / "d");
    // A closed standard output is a failure, said on standard error.
    for (const char* command : {"--help", "--access", "--apps", "--duplicates"}) {
        const std::string script = std::string("exec >&-; exec \"$0\" ") + command + " \"$1\"";
        const auto r = runCommand({"/bin/sh", "-c", script, SORVEL_BINARY, home / "d"}, {{"HOME", home.path()}});
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.err.find("sorvel: could not write the report: "), std::string::npos) << command << r.err;
    }
    // A reader that went away (`| head -1`) ends the command quietly, and not as a success.
    TempDir dir;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--apps"}, {"--duplicates", home / "d"}, {"--help"}, {"--size", home / "d"}}) {
        const int status = runWithReaderGone(args, dir / "err", home.path());
        EXPECT_EQ(status, ReportOutput::kReaderGone) << args[0];
        EXPECT_EQ(readFile(dir / "err"), "") << args[0];
    }
}
