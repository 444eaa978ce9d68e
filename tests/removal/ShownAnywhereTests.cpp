// What any mount shows is never a cache, wherever the mount's point is: a bind's folder, a
// bindfs source, an overlay's layers, a disk image. The guard refuses it naming the mount, no
// rule offers it, a move and a sweep (of the rules, of a folder the user added) leave it.
// Real mounts, each row in a namespace of its own.
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <algorithm>
#include <functional>

#include "MountRig.h"
#include "engine/MultiRootScan.h"
#include "removal/OfferScreen.h"
#include "removal/RestoreGuard.h"

using namespace sorvel;

namespace {

bool overlay(const std::string& layers, const std::string& point) {
    for (const char* d : {"/low", "/up", "/work"}) test::makeDirs(layers + d);
    test::writeFileOfSize(layers + "/low/p.jpg", 3'000'000);
    test::writeFileOfSize(layers + "/up/q.jpg", 3'000'000);
    const std::string options = "lowerdir=" + layers + "/low,upperdir=" + layers + "/up,workdir=" + layers + "/work";
    return ::mount("overlay", point.c_str(), "overlay", 0, options.c_str()) == 0;
}

bool image(const std::string& file, const std::string& point) {
    test::writeFileOfSize(file, 6 << 20);
    // Kept whole (no discard), so the folder holding it is worth offering.
    return test::runCommand({"/usr/sbin/mkfs.ext4", "-q", "-F", "-E", "nodiscard", file}).status == 0 &&
           test::runCommand({"/usr/bin/mount", "-o", "loop", file, point}).status == 0;
}

// Where a target of the offers over a fresh scan went: "offered", its refusal's text, or "".
std::string offerOf(const std::string& path) {
    ScanControl control;
    const ScanResult result = MultiRootScan::scanSynchronously(control, ScanScope::systemData);
    for (const auto& item : OfferScreen::recommendations(result)) {
        for (const auto& t : item.targets)
            if (t.path == path) return "offered";
        for (const auto& t : item.refused)
            if (t.path == path) return t.detail.value_or("refused without a reason");
    }
    return "";
}

} // namespace

TEST(ShownAnywhere, WhatAnyMountShowsIsRefusedByEveryMoverNamingTheMount) {
    struct Row {
        const char* name;
        std::function<bool(const std::string& c, const std::string& docs, const std::string& own)> mount;
        std::string point;  // of the mount, below the home
        std::string folder; // the target: below the cache folder, or the user's own folder
        std::string inside; // a file in what the mount shows, below the same
        std::string says;   // after the folder's path
        std::string saysInside;
        bool added = false; // the folder lies in a folder the user added to sweep
    };
    const std::string bind = "~/Documents shows (a bind mount), so it is not a cache";
    const Row rows[] = {
        {"a cache folder holding a bind's source",
         [](auto& c, auto& docs, auto&) { return test::bindAt(c + "/store/docs", docs); }, "Documents", "store",
         "store/docs/thesis.odt", "is what " + bind, "is inside what " + bind},
        {"a disk image mounted in the documents",
         [](auto& c, auto& docs, auto&) { return image(c + "/vm/photos.img", docs + "/vault"); }, "Documents/vault",
         "vm", "vm/photos.img", "is what ~/Documents/vault shows (a disk image), so it is not a cache",
         "is what ~/Documents/vault shows (a disk image), so it is not a cache"},
        {"an overlay's layers", [](auto& c, auto& docs, auto&) { return overlay(c + "/ov", docs + "/merged"); },
         "Documents/merged", "ov", "ov/low/p.jpg",
         "is what ~/Documents/merged shows (an overlay's upper layer), so it is not a cache",
         "is inside what ~/Documents/merged shows (an overlay's lower layer), so it is not a cache"},
        {"a bindfs source",
         [](auto& c, auto& docs, auto&) {
             return test::runCommand({"/usr/bin/bindfs", c + "/bf", docs + "/v"}).status == 0;
         },
         "Documents/v", "bf", "bf/thesis.odt", "is what ~/Documents/v shows (a FUSE mount), so it is not a cache",
         "is inside what ~/Documents/v shows (a FUSE mount), so it is not a cache"},
        {"a bind's source in a folder the user added",
         [](auto&, auto& docs, auto& own) { return test::bindAt(own + "/store/docs", docs); }, "Documents", "store",
         "store/docs/thesis.odt", "is what " + bind, "is inside what " + bind, true},
    };
    int ran = 0;
    for (const auto& row : rows) {
        test::Home t;
        const std::string c = t.h + "/.cache", docs = t.h + "/Documents", own = t.m + "/own";
        const std::string base = row.added ? own : c, folder = base + "/" + row.folder, inside = base + "/" + row.inside;
        for (const auto& d : {docs + "/vault", docs + "/merged", docs + "/v", c + "/vm", c + "/bf", own}) test::makeDirs(d);
        if (inside.ends_with(".odt")) test::writeFileOfSize(inside, 6'000'000);
        const int status = test::inMountNamespace([&] {
            if (!row.mount(c, docs, own)) return test::kSkipped;
            const auto policy = row.added ? CleanupPolicy::standard().allowing({own}) : CleanupPolicy::standard();
            int wrong = 0;
            auto expect = [&](bool ok, const std::string& what) {
                if (!ok) std::fprintf(stderr, "%s: %s\n", row.name, what.c_str());
                wrong += !ok;
            };
            for (const auto& [path, says] : {std::pair{folder, row.says}, std::pair{inside, row.saysInside}}) {
                const auto judged = CleanupGuard::check(path, 0, policy, {});
                expect(judged && judged->description() == says,
                       "the guard on " + path + ": " + (judged ? judged->description() : std::string("passed")));
            }
            if (!row.added) expect(offerOf(folder) == row.says, "the offers: " + offerOf(folder));
            const auto moved = CleanupExecutor::run({{folder, 6'000'000}, {inside, 6'000'000}},
                                                    CleanupExecutor::Mode::moveToTrash, policy, {});
            for (const auto& o : moved) expect(o.refusal() != nullptr, "a real run took " + o.path);
            SweepSchedule s;
            s.rules = SweepSchedule::RuleSelection::only({"user-caches"});
            s.action = SweepSchedule::Action::clean;
            if (row.added) s.folders = {own};
            for (const auto& o : SweepRunner::run(s, SweepRun::Trigger::scheduled, CloudStatus{}).outcomes)
                expect(!o.moved() || !isPathInside(inside, o.path), "a sweep took " + o.path);
            expect(test::exists(inside), "gone: " + inside);
            ::umount2((t.h + "/" + row.point).c_str(), MNT_DETACH);
            return wrong;
        });
        if (status == test::kSkipped) continue;
        ++ran;
        EXPECT_EQ(status, 0) << row.name;
    }
    if (ran == 0) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
}

// A mount that shows nothing elsewhere leaves the caches alone: a disk's own root, a bind of a
// folder holding the home (the home is guarded by its own rules), the cache folder kept on
// another disk through a bind.
TEST(ShownAnywhere, AMountShowingNothingElseRefusesNoCache) {
    test::Home t;
    const std::string c = t.h + "/.cache";
    test::writeFileOfSize(c + "/app/blob", 6'000'000);
    const std::string vol = t.m + "/vol", above = t.m + "/above", ssd = t.m + "/ssd";
    for (const auto& d : {vol, above}) test::makeDirs(d);
    test::writeFileOfSize(ssd + "/app/blob", 6'000'000);
    const std::function<bool()> mounts[] = {
        [&] { return test::tmpfsAt(vol); },
        [&] { return test::bindAt(deletingLastPathComponent(t.h), above); },
        [&] { return test::bindAt(ssd, c); },
    };
    int ran = 0;
    for (const auto& mount : mounts) {
        const int status = test::inMountNamespace([&] {
            if (!mount()) return test::kSkipped;
            const auto judged = CleanupGuard::check(c + "/app", 0, CleanupPolicy::standard(), {});
            if (judged) std::fprintf(stderr, "refused: %s\n", judged->description().c_str());
            return judged ? 1 : 0;
        });
        ran += status != test::kSkipped;
        EXPECT_TRUE(status == 0 || status == test::kSkipped);
    }
    if (ran == 0) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
}

// A FUSE mount anywhere shows a folder only its source's text names: one named is protected as
// shown, one whose text names nothing now may be any folder and fences every move; a portal's
// or a network share's name shows no local folder. Through a hand-made table.
TEST(ShownAnywhere, AStackedMountsSourceIsProtectedOrFencesWhereItNamesNothing) {
    test::Home t;
    const std::string src = t.m + "/src", cache = t.h + "/.cache/app", point = t.m + "/point";
    for (const auto& d : {src, cache, point}) test::makeDirs(d);
    struct Case {
        std::string type, source;
        std::string src, cache; // what the guard says of each; empty: it passes
    } const cases[] = {
        {"fuse.bindfs", src, "is what " + tildeAbbreviated(point) + " shows (a bindfs mount), so it is not a cache", ""},
        {"fuse.bindfs", t.m + "/gone",
         "outside the fuse.bindfs file system mounted at " + tildeAbbreviated(point) + ", whose source given as " +
             tildeAbbreviated(t.m + "/gone") + " names nothing now, so any folder may be what that mount shows",
         "same"},
        {"fuse.portal", "portal", "", ""},
        {"fuse.sshfs", "ann@nas:" + src, "", ""},
    };
    for (const auto& c : cases) {
        test::TempDir tables;
        ASSERT_TRUE(test::pretendMount(tables.path(), point, c.type, c.source)) << c.type;
        const auto policy = CleanupPolicy::standard().allowing({t.m});
        const auto onSource = CleanupGuard::check(src, 0, policy, {});
        const auto onCache = CleanupGuard::check(cache, 0, policy, {});
        EXPECT_EQ(onSource ? onSource->description() : "", c.src) << c.type << " " << c.source;
        EXPECT_EQ(onCache ? onCache->description() : "", c.cache == "same" ? c.src : c.cache) << c.type << " " << c.source;
        setMountTablePath("/proc/self/mountinfo");
        setMountNaming(nullptr);
    }
}

// Put back never writes into what a mount shows: the folder an item came from, bound over
// since with the documents, is theirs now.
TEST(ShownAnywhere, PutBackIntoWhatAMountShowsIsRefused) {
    test::Home t;
    const std::string docs = t.h + "/Documents", from = t.h + "/.cache/docs";
    test::makeDirs(docs);
    test::writeFile(from + "/old.txt", "cached");
    const auto moved = CleanupExecutor::run({{from + "/old.txt", 0}}, CleanupExecutor::Mode::moveToTrash,
                                            CleanupPolicy::standard(), {});
    ASSERT_TRUE(moved.size() == 1 && moved[0].moved());
    const auto& trashed = std::get<CleanupOutcome::MovedToTrash>(moved[0].result);
    const MovedItem item{from + "/old.txt", trashed.trashPath, 0, trashed.identity};
    const int status = test::inMountNamespace([&] {
        if (!test::bindAt(docs, from)) return test::kSkipped;
        const auto refusal = RestoreGuard::check(item, CleanupPolicy::standard());
        const auto says = refusal ? refusal->description() : std::string("passed");
        if (says == "cannot be written back there \u2014 is inside what ~/.cache/docs shows (a bind mount), so it is "
                    "not a cache")
            return 0;
        std::fprintf(stderr, "%s\n", says.c_str());
        return 1;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
    EXPECT_EQ(status, 0);
    // Without the mount it goes back (looked at here only now: the child's table is its own).
    EXPECT_EQ(RestoreGuard::check(item, CleanupPolicy::standard()), std::nullopt);
}
