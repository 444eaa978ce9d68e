// Every mover judges a target by where it really lies, never by its spelling, and History
// puts back what moved however the home was spelled: homes and rule folders behind links,
// and mounts at a rule's own folder. Real links, real mounts, each row in a child of its own.
#include <gtest/gtest.h>

#include <functional>
#include <sys/mount.h>
#include <unistd.h>

#include "platform/MountTable.h"
#include "platform/Path.h"
#include "removal/CleanupExecutor.h"
#include "removal/ManualRun.h"
#include "removal/RestoreExecutor.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

// A home whose path passes through a link: <top>/home -> <top>/data/home, HOME=<top>/home/u.
struct LinkedHome {
    test::FakeHome fake;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    test::TempDir top, outside;
    std::string real = resolvingExistingPart(top.path()) + "/data/home/u";
    std::string h = top.path() + "/home/u";
    std::string o = resolvingExistingPart(outside.path());
    std::optional<test::ScopedEnv> home;
    LinkedHome() {
        test::makeDirs(real + "/.local/share/Trash");
        test::makeDirs(real + "/Documents");
        if (::symlink((top.path() + "/data/home").c_str(), (top.path() + "/home").c_str()) == 0) home.emplace("HOME", h);
    }
};

bool link(const std::string& target, const std::string& at) {
    test::makeDirs(target);
    return ::symlink(target.c_str(), at.c_str()) == 0;
}
bool bindAt(const std::string& from, const std::string& to) {
    test::makeDirs(to);
    return ::mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr) == 0;
}

// 0 when a dry run and a real move under the policy both refuse the target with `says`, and it stays.
int refusedBoth(const std::string& target, const CleanupPolicy& policy, const std::string& says) {
    const auto dry = CleanupExecutor::run({{target, 0}}, CleanupExecutor::Mode::dryRun, policy, std::nullopt);
    const auto real = CleanupExecutor::run({{target, 0}}, CleanupExecutor::Mode::moveToTrash, policy, std::nullopt);
    for (const auto* out : {&dry, &real})
        if (out->size() != 1 || !(*out)[0].refusal() || (*out)[0].refusal()->description().find(says) == std::string::npos) {
            std::fprintf(stderr, "%s: %s\n", target.c_str(),
                         out->size() == 1 && (*out)[0].refusal() ? (*out)[0].refusal()->description().c_str() : "let through");
            return 1;
        }
    return test::exists(target) ? 0 : 2;
}

} // namespace

TEST(WhereItReallyLies, ATargetBehindALinkOrShownByAMountAtARuleFolderIsRefusedByEveryMover) {
    struct Row {
        const char* name;
        std::function<bool(LinkedHome&)> make; // in the child
        std::string target;                    // below the spelled home
        std::string says;
        bool searched = false; // under the duplicates screen's policy, widened with ~/.cache
    } const rows[] = {
        {"the cache folder a link to a folder holding the home",
         [](LinkedHome& t) { return ::symlink(deletingLastPathComponent(t.real).c_str(), (t.real + "/.cache").c_str()) == 0 && (test::writeFile(deletingLastPathComponent(t.real) + "/pip/w", "x"), true); },
         ".cache/pip", "lies behind ~/.cache, a link to "},
        {"a developer tool's folder a link into the downloads",
         [](LinkedHome& t) { return link(t.real + "/Downloads/gradle", t.real + "/.gradle") && (test::writeFile(t.real + "/Downloads/gradle/caches/c", "x"), true); },
         ".gradle/caches", "lies behind ~/.gradle, a link to "},
        {"the cache folder a link to the documents",
         [](LinkedHome& t) { return link(t.real + "/Documents", t.real + "/.cache") && (test::writeFile(t.real + "/Documents/work/a", "x"), true); },
         ".cache/work", "lies behind ~/.cache, a link to ~/Documents that"},
        {"the documents written as themselves",
         [](LinkedHome& t) { return (test::writeFile(t.real + "/Documents/work/a", "x"), true); },
         "Documents/work", "outside the folders Sorvel is allowed to touch"},
        {"a bind of a document folder at a developer folder",
         [](LinkedHome& t) {
             test::writeFile(t.real + "/Documents/work/big.bin", "x");
             return bindAt(t.real + "/Documents/work", t.real + "/.cache/pip");
         },
         ".cache/pip/big.bin", ".cache/pip shows (a bind mount)"},
        {"a folder holding the home bound at a developer folder",
         [](LinkedHome& t) {
             test::writeFile(deletingLastPathComponent(t.real) + "/other/a", "x");
             return bindAt(deletingLastPathComponent(t.real), t.real + "/.cache/pip");
         },
         ".cache/pip/other/a", ".cache/pip shows (a bind mount)"},
        {"a bind of the documents at a developer folder, for duplicates",
         [](LinkedHome& t) {
             test::writeFile(t.real + "/Documents/report.docx", "x");
             return bindAt(t.real + "/Documents", t.real + "/.cache/bazel");
         },
         ".cache/bazel/report.docx", ".cache/bazel shows (a bind mount)", true},
    };
    int ran = 0;
    for (const auto& row : rows) {
        LinkedHome t;
        if (!t.home) GTEST_SKIP() << "cannot make a link here";
        const int status = test::inMountNamespace([&] {
            if (!row.make(t)) return test::kSkipped;
            const auto standard = CleanupPolicy::standard();
            const auto policy = row.searched ? standard.allowing({t.h + "/.cache"}) : standard;
            // Spelled through the linked home and as it really lies: judged alike.
            return refusedBoth(t.h + "/" + row.target, policy, row.says) |
                   refusedBoth(t.real + "/" + row.target, policy, row.says);
        });
        if (status == test::kSkipped) continue;
        ++ran;
        EXPECT_EQ(status, 0) << row.name;
    }
    if (ran == 0) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
}

TEST(WhereItReallyLies, WhatMovesFromAHomeBehindALinkGoesBackWhereItWas) {
    struct Row {
        const char* name;
        bool spelledReal; // the item named as it really lies, not through the link
        bool olderRecord; // History names it as spelled, as earlier versions wrote it
    } const rows[] = {
        {"named through the link", false, false},
        {"named as it really lies", true, false},
        {"recorded as spelled by an earlier version", false, true},
    };
    for (const auto& row : rows) {
        LinkedHome t;
        if (!t.home) GTEST_SKIP() << "cannot make a link here";
        const std::string base = row.spelledReal ? t.real : t.h;
        const std::string item = base + "/.cache/thumbnails";
        test::writeFile(item + "/large/a.png", "png");
        const auto outcomes = CleanupExecutor::run({{item, 0}}, CleanupExecutor::Mode::moveToTrash,
                                                   CleanupPolicy::standard(), std::nullopt);
        ASSERT_EQ(outcomes.size(), 1u) << row.name;
        ASSERT_TRUE(outcomes[0].moved()) << row.name << ": "
                                         << (outcomes[0].refusal() ? outcomes[0].refusal()->description() : "failed");
        SweepRun run = ManualRun::make(outcomes, "test", std::nullopt);
        ASSERT_EQ(run.moved.size(), 1u);
        EXPECT_EQ(run.moved[0].originalPath, t.real + "/.cache/thumbnails") << row.name << ": the real place is recorded";
        EXPECT_EQ(tildeAbbreviated(run.moved[0].originalPath), "~/.cache/thumbnails") << row.name;
        if (row.olderRecord) run.moved[0].originalPath = item;
        const auto back = RestoreExecutor::run(run.moved, RestoreExecutor::policyFor(run));
        ASSERT_EQ(back.size(), 1u);
        EXPECT_TRUE(back[0].restored()) << row.name << ": "
                                        << (back[0].refusal() ? back[0].refusal()->description() : "failed");
        EXPECT_TRUE(test::exists(t.h + "/.cache/thumbnails/large/a.png")) << row.name;
    }
}
