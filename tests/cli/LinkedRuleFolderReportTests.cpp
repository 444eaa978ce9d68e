// `--plan` and `--duplicates` through the binary: what lies behind a link in front of a rule's
// folder that leads to no place of its own (the home, the documents), or what a bind at a
// rule's folder shows of them, is never offered nor counted, and the refusal says why. Real links and mounts, each row in a namespace of its own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "platform/MountTable.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

bool contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

bool linkTo(const std::string& target, const std::string& at) {
    makeDirs(target);
    return ::symlink(target.c_str(), at.c_str()) == 0;
}

bool bindAt(const std::string& from, const std::string& to) {
    makeDirs(to);
    return ::mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr) == 0;
}

} // namespace

TEST(LinkedRuleFolderReport, WhatLiesBehindALinkOrABindAtARuleFolderIsNeverOfferedAndSaysWhy) {
    struct Row {
        const char* name;
        std::function<bool(const FakeHome&, const std::string& outside)> make; // in the child
        std::vector<std::string> args;                                         // "~" is the home
        std::string row;  // the item's line, below the home
        std::string says; // on that line; empty when the item is not listed at all
    } const rows[] = {
        {"--plan with a tool's folder a link into the documents",
         [](const FakeHome& h, const std::string&) {
             writeFileOfSize(h / "Documents/gradle/caches/modules/blob", 6'000'000);
             return linkTo(h / "Documents/gradle", h / ".gradle");
         },
         {"--plan"}, ".gradle/caches", "lies behind ~/.gradle, a link to ~/Documents/gradle that Sorvel does not follow"},
        {"--plan with a package cache's folder a link to the home",
         [](const FakeHome& h, const std::string&) {
             writeFileOfSize(h / "_cacache/blob", 6'000'000);
             return ::symlink(h.path().c_str(), (h / ".npm").c_str()) == 0;
         },
         {"--plan"}, ".npm/_cacache", "lies behind ~/.npm, a link to ~ that Sorvel does not follow"},
        {"--plan with a document folder bound at a tool's cache folder",
         [](const FakeHome& h, const std::string&) {
             writeFileOfSize(h / "Documents/work/big.bin", 6'000'000);
             return bindAt(h / "Documents/work", h / ".cache/pip");
         },
         {"--plan"}, ".cache/pip", ""},
        {"--duplicates of the cache folder with the documents bound at a tool's cache folder",
         [](const FakeHome& h, const std::string&) {
             const std::string content(2'100'000, 'r');
             writeFile(h / ".cache/app/report.docx", content);
             struct timespec old[2] = {{1'400'000'000, 0}, {1'400'000'000, 0}};
             ::utimensat(AT_FDCWD, (h / ".cache/app/report.docx").c_str(), old, 0); // the kept copy
             writeFile(h / "Documents/report.docx", content);
             return bindAt(h / "Documents", h / ".cache/bazel");
         },
         {"--duplicates", "~/.cache"}, ".cache/bazel/report.docx",
         "never moved: is inside what ~/.cache/bazel shows (a bind mount), so it is not a cache"},
    };
    int ran = 0;
    for (const auto& r : rows) {
        FakeHome home;
        TempDir outsideDir;
        const std::string o = resolvingExistingPart(outsideDir.path());
        std::vector<std::string> args;
        for (const auto& arg : r.args) args.push_back(arg == "~/.cache" ? home / ".cache" : arg);
        std::string says = r.says;
        if (const size_t at = says.find("{o}"); at != std::string::npos) says.replace(at, 3, o);
        const int status = inMountNamespace([&] {
            if (!r.make(home, o)) return kSkipped;
            const auto run = runSorvel(args, {{"HOME", home.path()}, {"SORVEL_SYSTEM_ROOT", home.systemRoot()}});
            const std::string line = lineWith(run.out, "~/" + r.row + " ");
            const size_t offers = run.out.find("WOULD MOVE TO TRASH");
            const bool ok = run.status == 0 && (says.empty() ? line.empty() : contains(line, says)) &&
                            !contains(line, "frees ") &&
                            (offers == std::string::npos || !contains(run.out.substr(offers), "~/" + r.row));
            if (!ok) std::fprintf(stderr, "%s\n%s%s", r.name, run.out.c_str(), run.err.c_str());
            return ok ? 0 : 1;
        });
        ran += status != kSkipped;
        EXPECT_TRUE(status == 0 || status == kSkipped) << r.name;
    }
    if (ran == 0) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
}
