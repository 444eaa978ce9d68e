// An overlay's layers, known by what the kernel shows through the mount: a layer whose
// text leads nowhere, or to another folder, is not confirmed; one reached by another name
// is. And a file found by its identity at any depth of a folder. Real mounts in a
// namespace of their own.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "platform/FileIdentity.h"
#include "platform/OverlayLayers.h"
#include "platform/Path.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

bool overlayAt(const std::string& at, const std::string& lowers, const std::string& upper, const std::string& work) {
    const std::string options = "lowerdir=" + lowers + ",upperdir=" + upper + ",workdir=" + work;
    return ::mount("overlay", at.c_str(), "overlay", 0, options.c_str()) == 0;
}

bool renamed(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

} // namespace

TEST(OverlayLayers, ALayerIsConfirmedByWhatTheMountShows) {
    test::TempDir dir;
    const std::string d = resolvingExistingPart(dir.path()), ov = d + "/ov", elsewhere = d + "/elsewhere";
    struct Row {
        const char* name;
        std::function<bool()> setUp; // in the child: the layers under d + "/l", mounted at ov
        std::vector<std::optional<std::string>> expected; // each layer's folder, upper first; none: unconfirmed
    };
    const std::string l = d + "/l";
    const auto plain = [&] { return overlayAt(ov, l + "/low", l + "/up", l + "/work"); };
    const auto tmpfsLower = [&] {
        // The lower on a file system of its own: the overlay numbers its folders itself.
        return ::mount("tmpfs", (l + "/low").c_str(), "tmpfs", 0, "size=1m") == 0 &&
               ::mkdir((l + "/low/album").c_str(), 0755) == 0 && (test::writeFile(l + "/low/album/q.jpg", "q"), true) &&
               plain();
    };
    const Row rows[] = {
        {"both layers as named", plain, {l + "/up", l + "/low"}},
        {"the upper renamed", [&] { return plain() && renamed(l + "/up", elsewhere); }, {std::nullopt, l + "/low"}},
        {"the upper renamed, a folder made at its name",
         [&] { return plain() && renamed(l + "/up", elsewhere) && ::mkdir((l + "/up").c_str(), 0755) == 0; },
         {std::nullopt, l + "/low"}},
        {"the upper renamed, a link at its name leading to it",
         [&] { return plain() && renamed(l + "/up", elsewhere) && ::symlink(elsewhere.c_str(), (l + "/up").c_str()) == 0; },
         {elsewhere, l + "/low"}},
        {"the lower renamed", [&] { return plain() && renamed(l + "/low", elsewhere); }, {l + "/up", std::nullopt}},
        {"the lower renamed, a copy made at its name",
         [&] {
             return plain() && renamed(l + "/low", elsewhere) &&
                    test::runCommand({"/bin/cp", "-a", elsewhere, l + "/low"}).status == 0;
         },
         {l + "/up", std::nullopt}},
        {"the folder holding both renamed", [&] { return plain() && renamed(l, elsewhere); },
         {std::nullopt, std::nullopt}},
        {"a lower with nothing in it",
         [&] { return test::runCommand({"/bin/rm", "-rf", l + "/low/p.jpg", l + "/low/deep"}).status == 0 && plain(); },
         {l + "/up", std::nullopt}},
        {"a lower whose every entry the upper hides",
         [&] {
             test::runCommand({"/bin/rm", "-rf", l + "/low/deep"});
             test::writeFile(l + "/up/p.jpg", "upper's own");
             return plain();
         },
         {l + "/up", std::nullopt}},
        {"a lower on another file system", tmpfsLower, {l + "/up", l + "/low"}},
        {"a lower on another file system, the upper renamed, a folder made at its name",
         [&] { return tmpfsLower() && renamed(l + "/up", elsewhere) && ::mkdir((l + "/up").c_str(), 0755) == 0; },
         {std::nullopt, l + "/low"}},
        {"two lowers",
         [&] {
             test::writeFile(l + "/low2/r.jpg", "r");
             return overlayAt(ov, l + "/low:" + l + "/low2", l + "/up", l + "/work");
         },
         {l + "/up", l + "/low", l + "/low2"}},
        {"the mount covered since", [&] { return plain() && ::mount("tmpfs", ov.c_str(), "tmpfs", 0, "size=1m") == 0; },
         {std::nullopt, std::nullopt}},
    };
    for (const auto& row : rows) {
        test::runCommand({"/bin/rm", "-rf", l, elsewhere});
        for (const auto& f : {l + "/up", l + "/work", ov}) test::makeDirs(f);
        test::writeFile(l + "/low/p.jpg", "only copy");
        test::writeFile(l + "/low/deep/er/s.jpg", "s");
        const int status = test::inMountNamespace([&] {
            // Set up before the mount, so the lower's own entries are not the ones the row changes.
            if (!row.setUp()) return test::kSkipped;
            // Listed at its point, whatever covers it since.
            std::optional<MountEntry> overlay;
            for (const auto& m : readMountTable())
                if (m.mountPoint == ov && m.fsType == "overlay") overlay = m;
            if (!overlay) return 3;
            const auto checks = confirmedLayers(*overlay);
            bool ok = checks.size() == row.expected.size();
            for (size_t i = 0; ok && i < checks.size(); ++i) ok = checks[i].folder == row.expected[i];
            if (!ok)
                for (const auto& c : checks)
                    std::fprintf(stderr, "failed: %s: %s -> %s\n", row.name, c.layer.c_str(),
                                 c.folder ? c.folder->c_str() : "unconfirmed");
            ::umount2(ov.c_str(), MNT_DETACH);
            ::umount2(ov.c_str(), MNT_DETACH);
            return ok ? 0 : 1;
        });
        if (status == test::kSkipped) GTEST_SKIP() << "cannot mount an overlay in a mount namespace here (needs root)";
        EXPECT_EQ(status, 0) << row.name;
    }
}

TEST(OverlayLayers, ATableMadeByHandConfirmsNoLayer) {
    test::TempDir dir;
    const std::string d = resolvingExistingPart(dir.path());
    test::writeFile(d + "/low/p.jpg", "p");
    test::makeDirs(d + "/up");
    MountEntry made;
    made.mountPoint = d;
    made.fsType = "overlay";
    made.superOptions = {"lowerdir=" + d + "/low", "upperdir=" + d + "/up"};
    const auto checks = confirmedLayers(made);
    ASSERT_EQ(checks.size(), 2u);
    EXPECT_EQ(checks[0].layer, d + "/up");
    EXPECT_FALSE(checks[0].folder);
    EXPECT_FALSE(checks[1].folder);
}

TEST(HoldsFile, AFileIsFoundByItsIdentityAtAnyDepth) {
    test::TempDir dir;
    const std::string d = resolvingExistingPart(dir.path()), image = d + "/image.img";
    test::writeFile(image, "disk");
    const auto id = fileIdentity(image, false);
    ASSERT_TRUE(id);
    const auto linkedAt = [&](const std::string& at) {
        test::makeDirs(deletingLastPathComponent(at));
        return ::link(image.c_str(), at.c_str()) == 0;
    };
    struct Row {
        const char* name;
        std::function<bool()> setUp;
        std::string path;
        Holding expected;
        bool unprivileged = false;
    } const rows[] = {
        {"the file itself", [] { return true; }, image, Holding::holds},
        {"a second name three folders down", [&] { return linkedAt(d + "/x/a/b/c/i.img"); }, d + "/x", Holding::holds},
        {"a second name as the folder's own entry", [&] { return linkedAt(d + "/y/i"); }, d + "/y", Holding::holds},
        {"a folder holding only a copy", [&] { return test::writeFile(d + "/z/a/i.img", "disk"), true; }, d + "/z",
         Holding::none},
        {"a folder holding a link to it",
         [&] { return test::makeDirs(d + "/s"), ::symlink(image.c_str(), (d + "/s/i").c_str()) == 0; }, d + "/s",
         Holding::none},
        {"a path that does not exist", [] { return true; }, d + "/gone", Holding::none},
        {"a folder with one folder this user cannot read",
         [&] {
             test::writeFile(d + "/u/open/f", "f");
             test::makeDirs(d + "/u/closed");
             return ::chmod((d + "/u/closed").c_str(), 0700) == 0;
         },
         d + "/u", Holding::unknown, true},
        {"a folder this user reads whole", [&] { return test::writeFile(d + "/v/open/f", "f"), true; }, d + "/v",
         Holding::none, true},
    };
    ::chmod(d.c_str(), 0755);
    for (const auto& row : rows) {
        ASSERT_TRUE(row.setUp()) << row.name;
        if (row.unprivileged) {
            const int status = test::runAsUnprivileged([&] { return holdsFile(row.path, *id) == row.expected ? 0 : 1; });
            EXPECT_EQ(status, 0) << row.name;
        } else {
            EXPECT_EQ(holdsFile(row.path, *id), row.expected) << row.name;
        }
    }
}
