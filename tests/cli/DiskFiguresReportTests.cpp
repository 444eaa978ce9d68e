// Each disk figure is the disk's: with the home on a small disk of its own, `--report` sets
// what lies on the home's disk against that disk, what lies on the root file system against
// the root file system, and Whole Disk shows the root file system's figures.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "engine/Bytes.h"
#include "support/TestSupport.h"

using namespace sorvel;
using nlohmann::json;

namespace {

int64_t totalOf(const std::string& path) {
    struct statvfs st {};
    if (statvfs(path.c_str(), &st) != 0) return -1;
    return static_cast<int64_t>(st.f_blocks * st.f_frsize);
}

const json* diskAt(const json& disks, const std::string& mountPoint) {
    for (const auto& disk : disks)
        if (disk["mountPoint"] == mountPoint) return &disk;
    return nullptr;
}

} // namespace

TEST(DiskFiguresReport, EachPlaceIsSetAgainstTheDiskItLiesOn) {
    test::TempDir dir;
    const std::string image = dir / "home.img";
    test::writeFile(image, "");
    ASSERT_EQ(truncate(image.c_str(), 64 << 20), 0);
    const auto made = test::runCommand({"/sbin/mkfs.ext4", "-q", "-F", image});
    if (made.status != 0) GTEST_SKIP() << "cannot make an ext4 image here (mkfs.ext4): " << made.err;
    // The system's places (its logs and caches) on the disk the temporary folders are on.
    test::TempDir system;
    test::writeFileOfSize(system / "var/log/syslog", 3'000'000);
    test::writeFileOfSize(system / "var/cache/apt/pkgcache.bin", 2'000'000);
    const std::string ownHome = dir / "home";

    const struct {
        const char* scope;
        const char* homeDisk; // where the home's disk is mounted
        const char* home;
        const char* ownDisk;  // the disk the scope's figures are first set against
    } table[] = {
        {"--system-data", ownHome.c_str(), "", ownHome.c_str()},
        {"--whole-disk", "/home", "/home/ann", "/"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.scope);
        const int status = test::inMountNamespace([&] {
            test::makeDirs(row.homeDisk);
            if (test::runCommand({"/bin/mount", "-o", "loop", image, row.homeDisk}).status != 0) return int(test::kSkipped);
            const std::string home = *row.home ? std::string(row.home) : std::string(row.homeDisk);
            test::writeFileOfSize(home + "/.cache/app/blob", 4'000'000);
            ::sync();
            const std::map<std::string, std::string> env{{"HOME", home}, {"SORVEL_SYSTEM_ROOT", system.path()}};
            std::vector<std::string> args{"--report", "--json"};
            if (std::string(row.scope) == "--whole-disk") args.push_back("--whole-disk");
            const auto out = test::runSorvel(args, env);
            if (out.status != 0) return 1;
            const json report = json::parse(out.out);
            const json& disks = report["disks"];
            // The scope's own disk comes first, and is the report's volume.
            if (!disks.is_array() || disks.size() < 2 || disks[0]["mountPoint"] != row.ownDisk) return 2;
            if (report["volume"]["totalBytes"] != totalOf(row.ownDisk)) return 3;
            const json* homeDisk = diskAt(disks, row.homeDisk);
            if (!homeDisk || (*homeDisk)["totalBytes"] != totalOf(row.homeDisk) || (*homeDisk)["scannedBytes"] < 4'000'000)
                return 4;
            int64_t scanned = 0;
            for (const auto& disk : disks) {
                // No figure exceeds its disk: what was measured on a disk lies in its used space.
                if (disk["scannedBytes"] > disk["usedBytes"]) return 5;
                scanned += disk["scannedBytes"].get<int64_t>();
            }
            if (scanned != report["scannedBytes"]) return 6;

            // The text names each disk with its own figures, the scope's own first.
            args.erase(args.begin() + 1);
            const auto text = test::runSorvel(args, env);
            size_t last = 0;
            for (const auto& disk : disks) {
                const std::string line = test::lineWith(text.out, "  Disk " + disk["mountPoint"].get<std::string>() + " ");
                const size_t at = text.out.find(line);
                if (line.empty() || at < last) return 7;
                last = at;
                // Its scanned figure as read by this run: the root file system changes between runs.
                if (line.find(Bytes::format(disk["totalBytes"].get<int64_t>()) + " total") == std::string::npos ||
                    line.find(" of it scanned") == std::string::npos)
                    return 8;
            }
            test::runCommand({"/bin/umount", row.homeDisk});
            return 0;
        });
        if (status == test::kSkipped) GTEST_SKIP() << "cannot loop-mount in a mount namespace here";
        EXPECT_EQ(status, 0) << "1: report failed, 2: disks, 3: volume, 4: home's disk, 5: beyond its disk, "
                                "6: disks' sum, 7: text lines, 8: text figures";
    }
}
