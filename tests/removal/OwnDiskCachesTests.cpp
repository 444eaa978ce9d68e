// A cache folder kept on a disk of its own (a bind or a link at it, a btrfs subvolume, a
// second disk) is planned, swept and put back there; where it cannot be, the plan already
// says so with the move's own sentence. Every walk measures such a place whole (a btrfs
// subvolume in it too) and leaves out, saying so, any mount below it. As an unprivileged
// user, through the binary where a user would run it, each row in a mount namespace of its own.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "removal/RestoreExecutor.h"
#include "removal/SweepHistory.h"
#include "removal/SweepRunner.h"
#include "support/ReflinkVolume.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

constexpr const char* kUser = "65534";
constexpr const char* kMounted = "Not counted: 1 folder where a file system or a folder is mounted";

bool contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

bool run(const std::vector<std::string>& command) { return test::runCommand(command).status == 0; }

// A disk of its own at `at`, its top folder the user's unless `rootsTop`.
bool diskAt(const std::string& at, bool rootsTop = false) {
    test::makeDirs(at);
    return ::mount("tmpfs", at.c_str(), "tmpfs", 0, rootsTop ? "size=64m,mode=0755" : "size=64m") == 0 &&
           (rootsTop || run({"/bin/chown", std::string(kUser) + ":" + kUser, at}));
}

bool caches(const std::string& folder) {
    for (const char* app : {"app1", "app2"}) test::writeFileOfSize(folder + "/" + app + "/blob", 6'000'000);
    return true;
}

bool bindAt(const std::string& from, const std::string& to) {
    test::makeDirs(to);
    return ::mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr) == 0;
}

// `at` (an empty folder) made a link to `to`.
bool linkAt(const std::string& to, const std::string& at) {
    return ::rmdir(at.c_str()) == 0 && ::symlink(to.c_str(), at.c_str()) == 0;
}

struct Place {
    std::string h, d; // the home, and a disk beside it (or the btrfs volume's top)
};

struct Row {
    const char* name;
    bool btrfs;
    std::function<bool(const Place&)> make; // as root; the home is then the user's, but for `rootOwns`
    std::vector<std::string> args;          // of the binary; "~" for the home
    std::vector<std::string> says;          // in its output, "{d}" for the disk
    int moved;                              // by a sweep of the cache rule, each put back after
    std::string reason;                     // in the sweep's receipt when it moved nothing
    std::string never;                      // relative to the disk: never made
    std::string rootOwns = {};              // relative to the home: left root's (after `sudo pip`)
    bool asRoot = false;                    // run as root rather than as the user
    std::string trashed = {};               // relative to the home: where the sweep put an item
};

// A folder of the home's own file system shown a second time inside a measured place.
bool documentsBoundInCache(const Place& p) {
    test::writeFileOfSize(p.h + "/Documents/scans/big", 25'000'000);
    return caches(p.h + "/.cache") && bindAt(p.h + "/Documents", p.h + "/.cache/bound");
}

// "{d}" in a text for the disk; a leading "~" of an argument for the home.
std::string filled(std::string text, const Place& p, bool argument = false) {
    if (argument && text.rfind("~", 0) == 0) text.replace(0, 1, p.h);
    if (const size_t at = text.find("{d}"); at != std::string::npos) text.replace(at, 3, p.d);
    return text;
}

// As the user: the binary's words, a sweep, and then in a new process (a restart) its put back.
int asUser(const Row& r, const Place& p) {
    const auto as = [&](const std::function<int()>& body) {
        return r.asRoot ? test::runInChild(body) : test::runAsUnprivileged(body);
    };
    const int swept = as([&] {
        std::vector<std::string> args;
        for (const auto& arg : r.args) args.push_back(filled(arg, p, true));
        const auto out = test::runSorvel(args);
        int wrong = 0;
        for (const auto& word : r.says)
            if (!contains(out.out, filled(word, p))) ++wrong, std::fprintf(stderr, "%s: no \"%s\"\n", r.name, word.c_str());
        if (wrong) std::fprintf(stderr, "%s%s", out.out.c_str(), out.err.c_str());
        if (r.moved < 0) return wrong;
        SweepSchedule s;
        s.rules = SweepSchedule::RuleSelection::only({"user-caches"}), s.action = SweepSchedule::Action::clean;
        const auto sweep = SweepRunner::run(s, SweepRun::Trigger::scheduled, CloudStatus{});
        const std::string reason = sweep.receipt.withheldReason.value_or("");
        if (!r.trashed.empty() && !test::exists(p.h + "/" + r.trashed))
            ++wrong, std::fprintf(stderr, "%s: nothing at ~/%s\n", r.name, r.trashed.c_str());
        if (sweep.receipt.movedCount != r.moved || (r.moved == 0 && !contains(reason, filled(r.reason, p)))) {
            std::fprintf(stderr, "%s: swept %lld: %s\n", r.name, static_cast<long long>(sweep.receipt.movedCount),
                         reason.c_str());
            for (const auto& o : sweep.outcomes)
                std::fprintf(stderr, "  %s: %s\n", o.path.c_str(),
                             o.refusal() ? o.refusal()->description().c_str() : o.failure() ? o.failure()->c_str() : "");
            ++wrong;
        }
        return wrong;
    });
    if (swept != 0 || r.moved <= 0) return swept;
    return as([&] {
        const auto runs = SweepHistory::load();
        if (runs.empty()) return 1;
        const auto back = RestoreExecutor::run(runs[0].moved, RestoreExecutor::policyFor(runs[0]));
        int restored = 0;
        for (const auto& o : back) {
            restored += o.restored();
            if (!o.restored())
                std::fprintf(stderr, "%s: %s\n", r.name,
                             o.refusal() ? o.refusal()->description().c_str() : o.failure() ? o.failure()->c_str() : "");
        }
        const bool inPlace = test::exists(p.h + "/.cache/app1/blob") && test::exists(p.h + "/.cache/app2/blob");
        return restored == r.moved && inPlace ? 0 : 1;
    });
}

} // namespace

TEST(OwnDiskCaches, ACacheOnADiskOfItsOwnIsCleanedAndPutBackThereOrRefusedInThePlanWithTheMovesSentence) {
    const Row rows[] = {
        {"a bind at ~/.cache of another disk, a file manager's Trash at its top", false,
         [](const Place& p) {
             return diskAt(p.d) && caches(p.d + "/cache") &&
                    (test::makeDirs(p.d + "/cache/.Trash-65534/files"), test::makeDirs(p.d + "/cache/.Trash-65534/info"),
                     run({"/bin/chown", "-R", std::string(kUser) + ":" + kUser, p.d + "/cache"})) &&
                    ::chmod((p.d + "/cache/.Trash-65534").c_str(), 0700) == 0 && bindAt(p.d + "/cache", p.h + "/.cache");
         },
         {"--plan"}, {"2 of 2 targets passed"}, 2, "", ""},
        {"~/.cache a link to another disk", false,
         [](const Place& p) {
             return diskAt(p.d) && caches(p.d + "/cache") &&
                    run({"/bin/chown", "-R", std::string(kUser) + ":" + kUser, p.d + "/cache"}) &&
                    linkAt(p.d + "/cache", p.h + "/.cache");
         },
         {"--plan"}, {"2 of 2 targets passed"}, 2, "", ""},
        {"~/.cache a link into the documents", false,
         [](const Place& p) {
             return caches(p.h + "/Documents/cache") && linkAt(p.h + "/Documents/cache", p.h + "/.cache");
         },
         {"--plan"}, {"0 of 1 targets passed", "lies behind ~/.cache, a link to ~/Documents/cache that Sorvel does not follow"},
         0, "lies behind ~/.cache, a link to ~/Documents/cache", ""},
        {"~/.cache a link elsewhere in the home", false,
         [](const Place& p) { return caches(p.h + "/big/cache") && linkAt(p.h + "/big/cache", p.h + "/.cache"); },
         {"--plan"}, {"2 of 2 targets passed"}, 2, "", "", {}, false, ".local/share/Trash/files/app1/blob"},
        {"a bind at ~/.cache of a folder elsewhere in the home", false,
         [](const Place& p) { return caches(p.h + "/big/cache") && bindAt(p.h + "/big/cache", p.h + "/.cache"); },
         {"--plan"}, {"2 of 2 targets passed"}, 2, "", "", {}, false, ".cache/.Trash-65534/files/app1/blob"},
        {"~/.gradle a link elsewhere in the home", false,
         [](const Place& p) {
             test::writeFileOfSize(p.h + "/tools/gradle-home/caches/modules-2/blob", 6'000'000);
             return ::symlink((p.h + "/tools/gradle-home").c_str(), (p.h + "/.gradle").c_str()) == 0;
         },
         {"--plan"}, {"1 of 1 targets passed", "~/.gradle/caches"}, -1, "", ""},
        {"~/.cache a link to the home", false,
         [](const Place& p) { return caches(p.h) && linkAt(p.h, p.h + "/.cache"); },
         {"--plan"}, {"0 of 1 targets passed", "lies behind ~/.cache, a link to ~ that Sorvel does not follow"},
         0, "lies behind ~/.cache, a link to ~ that", ""},
        {"~/.cache a link to a folder in the home holding the documents", false,
         [](const Place& p) {
             test::writeFile(p.h + "/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/stuff/Documents\"\n");
             test::makeDirs(p.h + "/stuff/Documents");
             return caches(p.h + "/stuff") && linkAt(p.h + "/stuff", p.h + "/.cache");
         },
         {"--plan"}, {"0 of 1 targets passed", "lies behind ~/.cache, a link to ~/stuff that Sorvel does not follow"},
         0, "lies behind ~/.cache, a link to ~/stuff that", ""},
        {"the cache folder on a second disk whose top the user cannot write", false,
         [](const Place& p) {
             return diskAt(p.d, true) && caches(p.d + "/cache") &&
                    run({"/bin/chown", "-R", std::string(kUser) + ":" + kUser, p.d + "/cache"}) &&
                    ::setenv("XDG_CACHE_HOME", (p.d + "/cache").c_str(), 1) == 0;
         },
         {"--plan"}, {"0 of 2 targets passed", "The Trash ({d}/.Trash-65534) could not be created: Permission denied."},
         0, "could not be created: Permission denied", ".Trash-65534"},
        {"the home's Trash a link", false,
         [](const Place& p) {
             caches(p.h + "/.cache");
             test::makeDirs(p.d + "/elsewhere/files"), test::makeDirs(p.d + "/elsewhere/info");
             return ::symlink((p.d + "/elsewhere").c_str(), (p.h + "/.local/share/Trash").c_str()) == 0;
         },
         {"--plan"}, {"0 of 2 targets passed", "The Trash (~/.local/share/Trash) is a symbolic link, so nothing is moved into it."},
         0, "is a symbolic link", ""},
        {"a cache the user cannot write in the report's figure", false,
         [](const Place& p) {
             test::writeFileOfSize(p.h + "/.cache/app1/blob", 6'000'000);
             test::writeFileOfSize(p.h + "/.cache/pip/http/blob", 60'000'000);
             return true;
         },
         {"--report"}, {"Safe to reclaim: 6 MB"}, -1, "", "", ".cache/pip"},
        {"~/.cache a btrfs subvolume in a btrfs home", true,
         [](const Place& p) {
             return run({"/bin/btrfs", "subvolume", "create", p.h + "/.cache"}) && caches(p.h + "/.cache");
         },
         {"--plan"}, {"2 of 2 targets passed"}, 2, "", ".Trash-65534"},
        {"~/.cache a btrfs subvolume in a btrfs home, as root", true,
         [](const Place& p) {
             return run({"/bin/btrfs", "subvolume", "create", p.h + "/.cache"}) && caches(p.h + "/.cache");
         },
         {"--plan"}, {"2 of 2 targets passed"}, 2, "", ".Trash-0", {}, true},
        {"a nested btrfs subvolume measured with its folder", true,
         [](const Place& p) {
             return run({"/bin/btrfs", "subvolume", "create", p.h + "/.local/share/containers"}) &&
                    (test::writeFileOfSize(p.h + "/.local/share/containers/layer/blob", 25'000'000), true);
         },
         {"--size", "~/.local/share"}, {"25 MB"}, -1, "", ""},
        {"a nested btrfs subvolume in its folder's insights", true,
         [](const Place& p) {
             return run({"/bin/btrfs", "subvolume", "create", p.h + "/.local/share/containers"}) &&
                    (test::writeFileOfSize(p.h + "/.local/share/containers/layer/blob", 25'000'000), true);
         },
         {"--insights", "~/.local/share"}, {"25 MB \u00B7 1 file"}, -1, "", ""},
        {"the documents bound inside ~/.cache, its size", false, documentsBoundInCache,
         {"--size", "~/.cache"}, {"12 MB  2 files", kMounted}, -1, "", ""},
        {"the documents bound inside ~/.cache, the report", false, documentsBoundInCache,
         {"--report"}, {"User app caches \u2014 12 MB", kMounted}, -1, "", ""},
        {"~/.cache a bind of another disk, a folder of that disk bound inside it", false,
         [](const Place& p) {
             return diskAt(p.d) && caches(p.d + "/cache") && bindAt(p.d + "/cache", p.h + "/.cache") &&
                    (test::writeFileOfSize(p.d + "/kept/blob", 25'000'000), bindAt(p.d + "/kept", p.h + "/.cache/kept"));
         },
         {"--size", "~/.cache"}, {"12 MB  2 files", kMounted}, -1, "", ""},
    };
    int ran = 0;
    std::string notRun; // rows that could not run here, and why: the test is then a skip
    for (const auto& r : rows) {
        test::FakeHome home;
        test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
        test::TempDir disk;
        const auto body = [&](const std::string& volume) {
            Place p{home.path(), disk.path()};
            if (r.btrfs) {
                p = {volume + "/home/u", volume};
                for (const char* d : {"/.config", "/.local/share", "/.local/state"}) test::makeDirs(p.h + d);
                ::setenv("HOME", p.h.c_str(), 1);
            }
            if (!r.make(p) || (!r.asRoot && !run({"/bin/chown", "-R", std::string(kUser) + ":" + kUser, p.h})) ||
                (!r.rootOwns.empty() && !run({"/bin/chown", "-R", "0:0", p.h + "/" + r.rootOwns})))
                return test::kSkipped;
            int wrong = asUser(r, p);
            if (!r.never.empty() && test::exists(p.d + "/" + r.never))
                ++wrong, std::fprintf(stderr, "%s: %s/%s was left\n", r.name, p.d.c_str(), r.never.c_str());
            return wrong;
        };
        int status = 0;
        if (r.btrfs) {
            const auto volume = test::inBtrfsVolume(body);
            if (!volume.skipped.empty()) {
                notRun += std::string("; ") + r.name + ": " + volume.skipped;
                continue;
            }
            status = volume.status;
        } else {
            status = test::inMountNamespace([&] { return body({}); });
        }
        if (status == test::kSkipped) notRun += std::string("; ") + r.name + ": its set-up could not be made here";
        ran += status != test::kSkipped;
        EXPECT_TRUE(status == 0 || status == test::kSkipped) << r.name;
    }
    if (ran == 0) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
    if (!notRun.empty()) GTEST_SKIP() << ran << " rows passed; not run" << notRun;
}
