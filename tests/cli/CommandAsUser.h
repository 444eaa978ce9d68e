#pragma once
// Runs the real command as the unprivileged user in a fake home that root prepared, and
// checks what it wrote: each word present, each absent one missing, and its status.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace sorvel::test {

struct CommandAsUser {
    const char* name;
    std::vector<std::string> args;                      // the arguments as typed; "~" is the fake home
    std::function<void(const std::string& home)> setUp; // run as root before the command
    std::vector<std::string> words;                     // each somewhere in the output or the errors
    std::vector<std::string> absent;                    // none of them anywhere
    int status;
    int lines = 0; // read only the first lines (a watch runs on), 0: all
};

inline void expectCommandAsUser(const CommandAsUser& c) {
    TempDir dir;
    c.setUp(dir.path());
    std::vector<std::string> command{"/bin/bash", "-c",
                                     "timeout 20 \"$0\" \"$@\" 2>&1 | head -n " +
                                         std::to_string(c.lines > 0 ? c.lines : 1000000) +
                                         "; exit \"${PIPESTATUS[0]}\"",
                                     SORVEL_BINARY};
    command.insert(command.end(), c.args.begin(), c.args.end());
    const std::map<std::string, std::string> env{
        {"HOME", dir.path()}, {"XDG_DATA_HOME", dir / ".local/share"}, {"XDG_CONFIG_HOME", dir / ".config"}};
    const int status = runAsUnprivileged([&] {
        const auto r = runCommand(command, env);
        for (const auto& word : c.words)
            if (r.out.find(word) == std::string::npos) {
                std::fprintf(stderr, "%s: no \"%s\" in:\n%s\n", c.name, word.c_str(), r.out.c_str());
                return 100;
            }
        for (const auto& word : c.absent)
            if (r.out.find(word) != std::string::npos) {
                std::fprintf(stderr, "%s: \"%s\" in:\n%s\n", c.name, word.c_str(), r.out.c_str());
                return 102;
            }
        if (r.status != c.status) std::fprintf(stderr, "%s: status %d\n%s\n", c.name, r.status, r.out.c_str());
        return r.status == c.status ? 0 : 101;
    });
    runCommand({"chmod", "-R", "u+rwX,go+rX", dir.path()});
    EXPECT_EQ(status, 0) << c.name;
}

} // namespace sorvel::test
