// Nothing in a folder a sync client keeps in step is moved or offered by any mover (the
// sweep of an added folder, the cleanup rules through `--plan`, `--duplicates`), and each
// refusal names the client. The client is known by its settings, its markers or its mount;
// settings it cannot parse leave its default folder protected. Mounts in a new process with
// a namespace of its own.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sched.h>
#include <sys/mount.h>

#include "MountRig.h"
#include "engine/Bytes.h"
#include "support/ChildProcess.h"

using namespace sorvel;

namespace {

constexpr const char* kRole = "synced-tree-";
constexpr size_t kCopy = 1'200'000;

// Makes a synced folder in the home `h` and what tells it synced; returns the folder, or
// "" when it cannot be made here.
using Make = std::string (*)(const std::string& h);

std::string markedBySyncthing(const std::string& h) {
    test::makeDirs(h + "/Shared/Phone/.stfolder"), test::makeDirs(h + "/Shared/Phone/.stversions");
    return h + "/Shared/Phone";
}
std::string listedBySyncthing(const std::string& h) {
    // The template of new folders names the home: it is no synced folder.
    test::writeFile(h + "/.local/state/syncthing/config.xml",
                    "<configuration version=\"37\">\n  <folder id=\"cam-1\" label=\"K&amp;M\" path=\"~/Shared/K&amp;M\" "
                    "type=\"sendreceive\">\n  </folder>\n  <defaults>\n    <folder id=\"\" path=\"~\"></folder>\n"
                    "  </defaults>\n</configuration>\n");
    return h + "/Shared/K&M";
}
std::string markedByNextcloud(const std::string& h) {
    test::writeFile(h + "/.config/Nextcloud/nextcloud.cfg", "[Accounts\n\x01\xff=\\x\n"); // unparsable
    test::writeFile(h + "/Shared/Cloud/.sync_5f1e2a9c3b7d.db", "x");
    return h + "/Shared/Cloud";
}
std::string listedByNextcloud(const std::string& h) {
    test::writeFile(h + "/.config/Nextcloud/nextcloud.cfg",
                    "[Accounts]\n0\\Folders\\1\\localPath=" + h + "/Shared/Uni/\n0\\Folders\\1\\targetPath=/\n");
    return h + "/Shared/Uni";
}
std::string markedByOldClient(const std::string& h) {
    test::writeFile(h + "/Shared/Old/._sync_a1b2c3.db", "x");
    return h + "/Shared/Old";
}
std::string listedByDropbox(const std::string& h) {
    test::writeFile(h + "/.dropbox/info.json", "{\"personal\": {\"path\": \"" + h + "/Shared/Work Dropbox\", \"host\": 7}}");
    return h + "/Shared/Work Dropbox";
}
std::string dropboxUnreadable(const std::string& h) {
    test::writeFile(h + "/.dropbox/info.json", "{\"personal\": {\"path\": "); // cut short: the default stands
    return h + "/Dropbox";
}
std::string markedByMega(const std::string& h) {
    test::makeDirs(h + "/Shared/MEGA Sync/.debris");
    return h + "/Shared/MEGA Sync";
}
std::string listedBySeafile(const std::string& h) {
    test::writeFile(h + "/.ccnet/seafile.ini", h + "/Shared/Libraries/.seafile-data\n");
    return h + "/Shared/Libraries";
}
std::string markedByInsync(const std::string& h) {
    test::makeDirs(h + "/Shared/Drive/.insync-trash");
    return h + "/Shared/Drive";
}
std::string pcloudDefault(const std::string& h) {
    test::makeDirs(h + "/.pcloud");
    return h + "/pCloudDrive";
}
std::string markedByResilio(const std::string& h) {
    test::writeFile(h + "/Shared/Team/.sync/ID", "x");
    return h + "/Shared/Team";
}
std::string listedByOneDrive(const std::string& h) {
    test::writeFile(h + "/.config/onedrive/config", "# comment\nsync_dir = \"~/Shared/OneDrive\"\n");
    return h + "/Shared/OneDrive";
}
// A FUSE file system of the given type showing `source` at `point`; "" when none can be had.
std::string fuseOf(const std::string& type, const std::string& source, const std::string& point) {
    test::makeDirs(source), test::makeDirs(point);
    if (::access("/usr/bin/bindfs", X_OK) != 0) return "";
    return test::runCommand({"/usr/bin/bindfs", "-o", "subtype=" + type, source, point}).status == 0 ? point : "";
}
std::string mountedByRclone(const std::string& h) { return fuseOf("rclone", h + "/.remote", h + "/Shared/gdrive"); }
std::string onlineAccount(const std::string& h) {
    const std::string account = "google-drive:host=gmail.com,user=ann";
    test::makeDirs(h + "/.gvfs-source/" + account);
    return fuseOf("gvfsd-fuse", h + "/.gvfs-source", h + "/Shared/gvfs").empty() ? "" : h + "/Shared/gvfs/" + account;
}

struct Row {
    const char* service;
    Make make;
    bool mounts = false;
};
const Row kRows[] = {
    {"Syncthing", markedBySyncthing},        {"Syncthing", listedBySyncthing},
    {"Nextcloud", markedByNextcloud},        {"Nextcloud", listedByNextcloud},
    {"Nextcloud or ownCloud", markedByOldClient}, {"Dropbox", listedByDropbox},
    {"Dropbox", dropboxUnreadable},          {"MEGA", markedByMega},
    {"Seafile", listedBySeafile},            {"Insync", markedByInsync},
    {"pCloud", pcloudDefault},               {"Resilio Sync", markedByResilio},
    {"OneDrive", listedByOneDrive},          {"rclone", mountedByRclone, true},
    {"Google Drive", onlineAccount, true},
};

bool has(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

// Every mover on the synced folder: what failed, one line each; empty when none did.
std::string moversOn(const std::string& h, const std::string& tree, const std::string& service, bool mounted) {
    std::string failed;
    const auto expect = [&failed](bool ok, const std::string& what) {
        if (!ok) failed += what + "\n";
    };
    const std::string says = "synced by " + service;
    const std::string copy(kCopy, 'c');
    test::writeFile(tree + "/Fotos vom Handy/IMG_0001.jpg", copy);
    test::writeFile(tree + "/Scans/IMG_0001 copy.jpg", copy);
    test::writeFileOfSize(tree + "/cache/app/blob", 6'000'000);
    const std::string parent = deletingLastPathComponent(tree);
    const bool besideOther = parent == h + "/Shared" && !mounted; // a folder holding a FUSE mount is never swept
    if (besideOther) test::writeFile(parent + "/Other/notes.txt", "mine");

    // The sweep of the folder itself, and of the folder around it.
    std::vector<std::string> folders{tree};
    if (besideOther) folders.push_back(parent);
    const auto swept = test::sweepOnly(folders, SweepSchedule::Action::clean);
    std::string said = swept.receipt.withheldReason.value_or("");
    for (const auto& o : swept.outcomes)
        if (const auto* refusal = o.refusal()) said += "\n" + refusal->description();
    expect(test::exists(tree + "/Fotos vom Handy/IMG_0001.jpg") && test::exists(tree + "/Scans"), "sweep moved it");
    expect(has(said, says), "sweep said: " + said);
    if (besideOther) expect(!test::exists(parent + "/Other"), "sweep left the folder beside it");

    // The rules, with the cache folder inside it (no rule offers what a FUSE mount serves).
    const std::map<std::string, std::string> env{{"HOME", h}, {"XDG_CACHE_HOME", tree + "/cache"}};
    const auto plan = test::runSorvel({"--plan"}, env);
    expect(mounted || (plan.status == 0 && has(plan.out, "0 of 1 targets passed") && has(plan.out, says)),
           "--plan:\n" + plan.out + plan.err);

    // The duplicates: the search's figures, or on a FUSE mount (whose files its walk does not
    // ask for) the move its screen makes.
    if (mounted) {
        const std::string copy2 = tree + "/Scans/IMG_0001 copy.jpg";
        const auto out = CleanupExecutor::run({{copy2, 0}}, CleanupExecutor::Mode::moveToTrash,
                                              CleanupPolicy::standard().allowing({tree}), CloudStatus{});
        expect(out.size() == 1 && out[0].refusal() && has(out[0].refusal()->description(), says) && test::exists(copy2),
               "duplicate removal moved it");
        return failed;
    }
    const auto duplicates = test::runSorvel({"--duplicates", tree}, {{"HOME", h}});
    expect(duplicates.status == 0 && has(duplicates.out, "never moved: " + says) &&
               has(duplicates.out, "Genuinely reclaimable   " + Bytes::format(0) + "\n"),
           "--duplicates:\n" + duplicates.out + duplicates.err);
    return failed;
}

int rowInNamespace(const Row& row) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return test::kSkipped;
    const std::string h = homeDirectory();
    const std::string tree = row.make(h);
    if (tree.empty()) return test::kSkipped;
    const std::string failed = moversOn(h, tree, row.service, true);
    std::fputs(failed.c_str(), stderr);
    for (const char* point : {"/Shared/gdrive", "/Shared/gvfs"}) ::umount((h + point).c_str()); // the daemon ends

    return failed.empty() ? 0 : 1;
}

} // namespace

TEST(SyncedTrees, NoMoverTakesAnythingOfASyncedFolderAndEachNamesTheClient) {
    if (const std::string role = test::testRole(); role.starts_with(kRole) && test::isRole(role))
        test::endAs(rowInNamespace(kRows[std::stoul(role.substr(std::strlen(kRole)))]));
    int skipped = 0;
    for (size_t index = 0; index < std::size(kRows); ++index) {
        const Row& row = kRows[index];
        SCOPED_TRACE(std::string(row.service) + " #" + std::to_string(index));
        test::Home t;
        if (row.mounts) {
            const int status = test::runTestInNewProcess(kRole + std::to_string(index), std::chrono::minutes(2));
            if (status == test::kSkipped) ++skipped;
            else EXPECT_EQ(status, 0);
            continue;
        }
        const std::string tree = row.make(t.h);
        EXPECT_EQ(moversOn(t.h, tree, row.service, false), "");
    }
    if (skipped) GTEST_SKIP() << skipped << " rows need bindfs and a mount namespace";
}
