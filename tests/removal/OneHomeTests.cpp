// One home however it is reached: a folder a person names is read where its links lead, an
// item moved under one spelling of the home is put back under another, and a run's rule
// folders stay rule folders at put back. Real links and binds, each row in a child of its own.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "platform/MountTable.h"
#include "platform/Path.h"
#include "removal/CleanupExecutor.h"
#include "removal/ManualRun.h"
#include "removal/RestoreExecutor.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

// The home really lies at <top>/data/home/u; each row reaches it some other way.
struct Layout {
    test::FakeHome fake;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    std::string top = resolvingExistingPart(fake.path());
    std::string real = top + "/data/home/u";
    Layout() {
        test::makeDirs(real + "/.local/share/Trash");
        test::makeDirs(real + "/Documents");
    }
};

bool linkAt(const std::string& target, const std::string& at) {
    test::makeDirs(deletingLastPathComponent(at));
    return ::symlink(target.c_str(), at.c_str()) == 0;
}

bool bindAt(const std::string& from, const std::string& to) {
    test::makeDirs(to);
    return ::mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr) == 0;
}

int says(bool ok, const std::string& what) {
    if (!ok) std::fprintf(stderr, "%s\n", what.c_str());
    return ok ? 0 : 1;
}

// Two copies in ~/docs; `--duplicates` and `--insights` of `folder` under HOME=`home`.
int readThrough(const Layout& t, const std::string& home, const std::string& folder) {
    test::writeFile(t.real + "/docs/a.bin", std::string(1'200'000, 'd'));
    test::writeFile(t.real + "/docs/b.bin", std::string(1'200'000, 'd'));
    const std::map<std::string, std::string> env{{"HOME", home}, {"SORVEL_SYSTEM_ROOT", t.fake.systemRoot()}};
    const auto dups = test::runSorvel({"--duplicates", folder}, env);
    const auto insights = test::runSorvel({"--insights", folder}, env);
    return says(dups.status == 0 && dups.out.find("  2 files considered") != std::string::npos &&
                    dups.out.find("1 group of identical files") != std::string::npos,
                dups.out + dups.err) |
           says(insights.status == 0 && insights.out.find(" \u00B7 2 files \u00B7 ") != std::string::npos,
                insights.out + insights.err);
}

// ~/.cache/thumbnails moved under HOME=`moved` by a run of `allowed` roots, then put back
// under HOME=`back` after `meanwhile`. The put back's refusal, or "" when it came back.
std::string moveAndPutBack(const std::string& moved, const std::string& back,
                           std::optional<std::vector<std::string>> allowed,
                           const std::function<void()>& meanwhile = [] {}) {
    ::setenv("HOME", moved.c_str(), 1);
    test::writeFile(moved + "/.cache/thumbnails/large/a.png", "png");
    const auto policy = allowed ? CleanupPolicy::standard().allowing(*allowed) : CleanupPolicy::standard();
    const auto out = CleanupExecutor::run({{moved + "/.cache/thumbnails", 0}}, CleanupExecutor::Mode::moveToTrash,
                                          policy, std::nullopt);
    if (out.size() != 1 || !out[0].moved()) return "not moved";
    SweepRun run = ManualRun::make(out, "test", allowed ? std::optional(policy.allowedRoots) : std::nullopt);
    meanwhile();
    ::setenv("HOME", back.c_str(), 1);
    const auto outcomes = RestoreExecutor::run(run.moved, RestoreExecutor::policyFor(run));
    if (outcomes.size() != 1) return "no outcome";
    if (outcomes[0].restored()) return "";
    return outcomes[0].refusal() ? outcomes[0].refusal()->description() : *outcomes[0].failure();
}

int backAt(const Layout& t, const std::string& refusal) {
    return says(refusal.empty() && test::exists(t.real + "/.cache/thumbnails/large/a.png"), "put back: " + refusal);
}

// A link made after the move in front of ~/.cache, into the documents: nothing goes there.
int refusedBehindLink(const Layout& t, std::optional<std::vector<std::string>> allowed) {
    const std::string refusal = moveAndPutBack(t.real, t.real, std::move(allowed), [&] {
        std::filesystem::remove_all(t.real + "/.cache");
        linkAt(t.real + "/Documents/cache", t.real + "/.cache");
        test::makeDirs(t.real + "/Documents/cache");
    });
    return says(refusal == "cannot be written back there \u2014 lies behind ~/.cache, a link to ~/Documents/cache "
                           "that Sorvel does not follow" &&
                    !test::exists(t.real + "/Documents/cache/thumbnails"),
                "put back: " + refusal);
}

} // namespace

TEST(OneHome, AHomeReachedAnyWayIsReadAndPutBackAsItself) {
    struct Row {
        const char* name;
        std::function<int(Layout&)> body; // in the child; test::kSkipped when it cannot be set up
    } const rows[] = {
        {"--duplicates and --insights of a home that is a link",
         [](Layout& t) {
             if (!linkAt(t.real, t.top + "/home/u")) return test::kSkipped;
             return readThrough(t, t.top + "/home/u", "~");
         }},
        {"--duplicates and --insights of a home below a linked folder",
         [](Layout& t) {
             if (!linkAt(t.top + "/data/home", t.top + "/home")) return test::kSkipped;
             return readThrough(t, t.top + "/home/u", "~");
         }},
        {"--duplicates and --insights of a folder in the home that is a link",
         [](Layout& t) {
             if (!linkAt(t.real + "/docs", t.real + "/datalink")) return test::kSkipped;
             return readThrough(t, t.real, t.real + "/datalink");
         }},
        {"moved through the home's link, put back at its real path",
         [](Layout& t) {
             if (!linkAt(t.real, t.top + "/home/u")) return test::kSkipped;
             return backAt(t, moveAndPutBack(t.top + "/home/u", t.real, std::nullopt));
         }},
        {"moved at the real path, put back through a chain of links",
         [](Layout& t) {
             if (!linkAt(t.top + "/data", t.top + "/d2") || !linkAt(t.top + "/d2/home", t.top + "/home"))
                 return test::kSkipped;
             return backAt(t, moveAndPutBack(t.real, t.top + "/home/u", std::nullopt));
         }},
        {"moved through a bind of the home, put back at the real path",
         [](Layout& t) {
             if (!bindAt(t.real, t.top + "/bound/u")) return test::kSkipped;
             return backAt(t, moveAndPutBack(t.top + "/bound/u", t.real, std::nullopt));
         }},
        {"moved by a sweep of an added folder, ~/.cache a link to the documents since",
         [&](Layout& t) { return refusedBehindLink(t, std::vector<std::string>{t.real + "/Downloads"}); }},
        {"moved from the window, ~/.cache a link to the documents since",
         [&](Layout& t) { return refusedBehindLink(t, std::nullopt); }},
    };
    int ran = 0;
    for (const auto& row : rows) {
        Layout t;
        const int status = test::inMountNamespace([&] { return row.body(t); });
        if (status == test::kSkipped) continue;
        ++ran;
        EXPECT_EQ(status, 0) << row.name;
    }
    if (ran == 0) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
}
