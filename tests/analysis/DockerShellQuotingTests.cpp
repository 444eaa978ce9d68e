// The remove commands offered for Docker's entries are pasted into a shell: whatever an
// entry is called, the shell must run that one command with the name as one argument.
#include <gtest/gtest.h>

#include <vector>

#include "analysis/DockerInspector.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

// The arguments a stand-in `docker` received when `command` ran under /bin/sh, one per
// NUL-terminated record, and whether anything else ran (the marker file).
struct Ran {
    std::vector<std::string> arguments;
    bool injected = false;
};

Ran runInShell(const TempDir& dir, const std::string& command) {
    writeScript(dir, "docker", "printf '%s\\0' \"$@\" > '" + dir / "args" + "'");
    const auto r = runCommand({"/bin/sh", "-c", command}, {{"PATH", dir.path() + ":/usr/bin:/bin"}, {"MARK", dir / "mark"}});
    Ran ran;
    const std::string raw = exists(dir / "args") ? readFile(dir / "args") : "";
    for (size_t start = 0; start < raw.size();) {
        const size_t end = raw.find('\0', start);
        ran.arguments.push_back(raw.substr(start, end - start));
        start = end + 1;
    }
    ran.injected = exists(dir / "mark");
    return ran;
}

} // namespace

TEST(DockerShellQuoting, AnyNameStaysOneArgumentOfOneCommand) {
    const std::vector<std::string> names{
        "orphan-cache", "with space", "it's", "'; touch \"$MARK\"; '", "$(touch \"$MARK\")", "`touch \"$MARK\"`",
        "a;touch \"$MARK\"", "a && touch \"$MARK\"", "line\ntouch \"$MARK\"", "a|tee \"$MARK\"", "> \"$MARK\"",
        "*", "~", "$HOME", "back\\slash", "\t", "caf\xc3\xa9", "-rf", "--help", ""};
    for (const auto& name : names) {
        TempDir dir;
        const std::string command = DockerInspector::detail::withOperand("docker volume rm", name);
        const Ran ran = runInShell(dir, command);
        EXPECT_FALSE(ran.injected) << command;
        std::vector<std::string> expected{"volume", "rm"};
        if (!name.empty() && name[0] == '-') expected.push_back("--");
        expected.push_back(name);
        EXPECT_EQ(ran.arguments, expected) << command;
    }
    // Plain names read as they are; others in single quotes.
    EXPECT_EQ(DockerInspector::detail::shellQuoted("pgdata_1.2:latest"), "pgdata_1.2:latest");
    EXPECT_EQ(DockerInspector::detail::shellQuoted("it's"), "'it'\\''s'");
    EXPECT_EQ(DockerInspector::detail::shellQuoted(""), "''");
}

TEST(DockerShellQuoting, TheInspectorQuotesWhatTheToolNames) {
    TempDir dir;
    const std::string hostile = "x; touch \\\"$MARK\\\"";
    writeFile(dir / "answers.df",
              R"J({"Active":"1","Reclaimable":"50MB (62%)","Size":"80MB","TotalCount":"2","Type":"Local Volumes"})J"
              "\n");
    writeFile(dir / "answers.volumes", "{\"Driver\":\"local\",\"Name\":\"" + hostile + "\",\"Size\":\"50MB\"}\n");
    const std::string tool = writeScript(dir, "fake-docker",
                                         "case \"$*\" in\n"
                                         "  'system df --format {{json .}}') cat '" + dir / "answers.df" + "' ;;\n"
                                         "  'volume ls --format {{json .}}') cat '" + dir / "answers.volumes" + "' ;;\n"
                                         "  *) exit 0 ;;\n"
                                         "esac");
    const auto usage = DockerInspector::inspect(tool);
    const DockerUsage::Entry* volume = nullptr;
    for (const auto& g : usage.groups)
        if (g.id == "volumes" && !g.entries.empty()) volume = &g.entries.front();
    ASSERT_NE(volume, nullptr);
    ASSERT_TRUE(volume->removeCommand.has_value());
    EXPECT_EQ(*volume->removeCommand, "docker volume rm 'x; touch \"$MARK\"'");
    const Ran ran = runInShell(dir, *volume->removeCommand);
    EXPECT_FALSE(ran.injected);
    EXPECT_EQ(ran.arguments, (std::vector<std::string>{"volume", "rm", "x; touch \"$MARK\""}));
}
