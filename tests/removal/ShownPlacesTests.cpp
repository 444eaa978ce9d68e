// Protection follows the user's data: a covered Trash is found by its path, what a mount in a protected
// place shows is part of it. Real mounts in a namespace; FUSE through a hand-made table.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "MountRig.h"

using namespace sorvel;
using sorvel::CleanupGuard::Refusal;
using test::bindAt;
using test::tmpfsAt;

TEST(ShownPlaces, AProtectedPlaceIsFoundByItsPathAndThroughWhatAMountInItShows) {
    test::Home t;
    const std::string c = t.h + "/Library/Caches/", data = t.h + "/.local/share", trash = data + "/Trash";
    const std::string uid = std::to_string(::geteuid()), vol = t.m + "/vol", shared = t.m + "/d/vol";
    const std::string usb = t.m + "/usb", disk = t.m + "/disk";
    const std::string photo = "/files/old/photo.jpg", volTrash = "/.Trash-" + uid, sharedTrash = "/.Trash/" + uid;
    const std::string phone = t.pictures + "/phone", stick = t.pictures + "/usb", config = t.h + "/.config/sorvel/k";
    test::writeFile(trash + photo, "trashed, not gone");
    test::writeFile(trash + "/info/old.trashinfo", "[Trash Info]\nPath=/x\nDeletionDate=2026-01-01T00:00:00\n");
    test::writeFile(disk + "/2024/r.jpg", "only copy");
    for (const auto& d :
         {c + "tf", c + "tb", c + "vf", c + "vs", vol, shared, usb, phone, stick, trash + "/files/k", config})
        test::makeDirs(d);
    const auto volume = [&](const std::string& at, const std::string& inner) { // with a trashed item at inner
        if (!tmpfsAt(at)) return false;
        test::writeFile(at + inner + photo, "trashed on a volume");
        return inner != sharedTrash || ::chmod((at + "/.Trash").c_str(), 01777) == 0;
    };
    struct Row {
        const char* name;
        std::function<bool()> mount;               // in the child
        std::string folder, sub, verb, place = ""; // the item is folder + sub; no place: a Trash
    } const rows[] = {
        {"the Trash's files bound, its data folder covered",
         [&] { return bindAt(trash + "/files", c + "tf") && tmpfsAt(data); }, c + "tf", "/old", "is inside"},
        {"the whole Trash bound, ~/.local covered", [&] { return bindAt(trash, c + "tb") && tmpfsAt(t.h + "/.local"); },
         c + "tb", "/info", "is"},
        {"a volume's own Trash bound, the volume's point covered",
         [&] { return volume(vol, volTrash) && bindAt(vol + volTrash + "/files", c + "vf") && tmpfsAt(vol); }, c + "vf",
         "/old", "is inside"},
        {"a volume's shared Trash bound, a folder above the volume covered",
         [&] { return volume(shared, sharedTrash) && bindAt(shared + sharedTrash, c + "vs") && tmpfsAt(t.m + "/d"); },
         c + "vs", "/files/old", "is"},
        {"a folder bound into the pictures", [&] { return bindAt(disk, phone); }, disk, "/2024", "is", phone},
        {"a whole file system in the pictures, mounted elsewhere too",
         [&] { return volume(usb, "/dcim") && bindAt(usb, stick); }, usb + "/dcim", "/files", "is inside", stick},
        {"an image file mounted in the pictures",
         [&, img = t.m + "/img/pics.img"] {
             test::writeFileOfSize(img, 4 << 20);
             return test::runCommand({"/usr/sbin/mkfs.ext4", "-q", "-F", img}).status == 0 &&
                    test::runCommand({"/usr/bin/mount", "-o", "loop", img, stick}).status == 0;
         },
         t.m + "/img", "/pics.img", "holds", stick},
        {"a folder bound into the Trash", [&] { return bindAt(disk, trash + "/files/k"); }, disk, "/2024", "is"},
        {"a folder bound into the settings folder", [&] { return bindAt(disk, config); }, disk, "/2024", "is", config},
    };
    int ran = 0;
    std::string notRun; // rows that could not be set up here: the test is then a skip
    for (const auto& row : rows) { // a sweep taking nothing leaves what lies beneath any cover
        const auto says =
            row.verb + " a " +
            (row.place.empty() ? "Trash folder" : "protected location (" + tildeAbbreviated(row.place) + ")");
        const auto refusal = row.place.empty() ? Refusal::insideTrash() : Refusal::protectedPath(row.place);
        const int status = test::inMountNamespace([&] {
            return row.mount() ? test::refusedEverywhere(row.folder, row.folder + row.sub, says, refusal)
                               : test::kSkipped;
        });
        if (status == test::kSkipped) notRun += std::string(row.name) + "; ";
        ran += status != test::kSkipped;
        EXPECT_TRUE(status == 0 || status == test::kSkipped) << row.name;
    }
    EXPECT_EQ(test::readFile(trash + photo), "trashed, not gone");
    if (ran == 0) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
    if (!notRun.empty()) GTEST_SKIP() << "rows not run here (cannot be set up): " << notRun;
}

// A Trash not made yet (a new user, a volume never trashed into) refuses nothing.
TEST(ShownPlaces, ATrashThatIsNotThereRefusesNothing) {
    test::Home t;
    const std::string data = t.h + "/.local/share", vol = t.m + "/vol";
    for (const auto& d : {data + "/app/old", vol}) test::makeDirs(d);
    const int status = test::inMountNamespace([&] {
        if (!tmpfsAt(vol)) return test::kSkipped;
        test::makeDirs(vol + "/old/x");
        const auto policy = CleanupPolicy::standard().allowing({data, vol});
        for (const auto& [folder, item] : {std::pair{data, data + "/app/old"}, std::pair{vol, vol + "/old/x"}}) {
            // The data folder is no own folder for the keyrings it holds, never for a Trash.
            const auto own = OwnFolder::refusal(folder);
            if (own && (folder == vol || own->find("Trash") != std::string::npos)) return 1;
            if (CleanupGuard::check(item, 0, policy, {})) return 2;
        }
        return 0;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
    EXPECT_EQ(status, 0);
}

// FUSE shows a folder only its source's text names. Where that text cannot be confirmed as the
// mount's root (a made-up table, a list of folders, an archive, a bare word), every move off the
// mount is fenced; one naming no local folder (a network share, a phone), one in no protected place,
// and the host disk mounted in the system's folders add nothing: the rest, and the caches, still move.
TEST(ShownPlaces, StackedFileSystemsWhoseSourceIsNotConfirmedFenceEveryMove) {
    test::Home t;
    const std::string more = t.m + "/more", other = t.m + "/other", pics = t.pictures + "/more", zip = t.m + "/a.zip";
    const std::string cache = t.h + "/Library/Caches/app/old";
    for (const auto& d : {more + "/x", other + "/old", cache, pics, t.h + "/GoogleDrive"}) test::makeDirs(d);
    test::writeFile(zip, "the pictures, packed");
    const auto table = parseMountTable(test::readFile("/proc/self/mountinfo"));
    const auto host = std::find_if(table.begin(), table.end(),
                                   [&](const MountEntry& m) { return m.id == test::namedByListing(table, t.m); });
    ASSERT_NE(host, table.end());
    struct Case { // the mount's point, type and source; the item judged, its folder as an own folder
        std::string point, type, source, item;
        bool fenced;
        std::string device = "0:990";
    } const cases[] = {
        {pics, "fuse.bindfs", more, more + "/x", true},
        {pics, "fuse.bindfs", more, other + "/old", true},
        {pics, "fuse.bindfs", "bindfs", other + "/old", true},
        {pics, "fuse.mergerfs", other + "/none:" + more, more + "/x", true},
        {pics, "fuse.fuse-zip", zip, zip, true},
        {pics, "fuse.sshfs", "ann@nas:/photos", other + "/old", false},
        {pics, "fuse.jmtpfs", "jmtpfs", other + "/old", false},
        {t.h + "/GoogleDrive", "fuse.rclone", more, other + "/old", false}, // its source itself: ShownAnywhere
        {"/run/host", "ext4", "/dev/sda1", other + "/old", false,
         std::to_string(major(host->device)) + ":" + std::to_string(minor(host->device))},
    };
    for (const auto& c : cases) {
        test::TempDir tables;
        ASSERT_TRUE(test::pretendMount(tables.path(), c.point, c.type, c.source, c.device)) << c.point;
        const std::string folder = deletingLastPathComponent(c.item);
        const auto judged = CleanupGuard::check(c.item, 0, CleanupPolicy::standard().allowing({folder}), {});
        const auto cached = CleanupGuard::check(cache, 0, CleanupPolicy::standard(), {});
        const auto reason = OwnFolder::refusal(folder).value_or("");
        EXPECT_EQ(reason.find("from a source Sorvel cannot confirm") != std::string::npos, c.fenced)
            << c.type << " " << folder << ": " << reason;
        for (const auto& got : {judged, cached})
            EXPECT_EQ(got.has_value(), c.fenced) << c.type << " " << c.source << ": "
                                                 << (got ? got->description() : "passed");
        if (c.fenced) {
            EXPECT_EQ(judged->description(),
                      "outside the " + c.type + " file system mounted at " + tildeAbbreviated(pics) +
                          " in a protected location (" + tildeAbbreviated(t.pictures) + "), which shows another folder's contents from a source Sorvel cannot confirm "
                      "(given as " + tildeAbbreviated(c.source) + "): where your protected locations lie on disk "
                      "could not be worked out");
        }
        setMountTablePath("/proc/self/mountinfo");
        setMountNaming(nullptr);
    }
}
