// Used space as df counts it, on a volume whose blocks reserved for root make the
// difference: the report's "used" figure and its JSON, and the volume probe beneath them.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/Bytes.h"
#include "engine/VolumeProbe.h"
#include "support/TestSupport.h"

using namespace sorvel;

TEST(ReportUsedSpace, TheRootReserveIsNeitherUsedNorAvailable) {
    test::TempDir dir;
    const std::string image = dir / "volume.img";
    const std::string mountPoint = dir / "home";
    test::makeDirs(mountPoint);
    test::writeFile(image, "");
    ASSERT_EQ(truncate(image.c_str(), 64 << 20), 0);
    const auto made = test::runCommand({"/sbin/mkfs.ext4", "-q", "-F", "-m", "10", image});
    if (made.status != 0) GTEST_SKIP() << "cannot make an ext4 image here (mkfs.ext4): " << made.err;

    const int status = test::runInChild([&] {
        if (unshare(CLONE_NEWNS) != 0) return 77;
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 77;
        if (test::runCommand({"/bin/mount", "-o", "loop", image, mountPoint}).status != 0) return 77;
        test::writeFileOfSize(mountPoint + "/Library/Caches/app/blob", 3'000'000);
        ::sync();
        struct statvfs st {};
        if (statvfs(mountPoint.c_str(), &st) != 0) return 1;
        const int64_t used = static_cast<int64_t>((st.f_blocks - st.f_bfree) * st.f_frsize);
        const int64_t available = static_cast<int64_t>(st.f_bavail * st.f_frsize);
        const int64_t total = static_cast<int64_t>(st.f_blocks * st.f_frsize);
        if (total - available - used < 5 << 20) return 2; // the reserve is there to tell them apart

        const VolumeStats stats = VolumeProbe::stats(mountPoint);
        if (stats.used() != used || stats.availableCapacity != available || stats.totalCapacity != total) return 3;

        const auto json = test::runSorvel({"--report", "--json"}, {{"HOME", mountPoint}});
        if (json.status != 0) return 4;
        const auto volume = nlohmann::json::parse(json.out)["volume"];
        if (volume["usedBytes"] != used || volume["freeBytes"] != available) return 5;

        const auto text = test::runSorvel({"--report"}, {{"HOME", mountPoint}});
        const std::string disk = "  Disk        " + Bytes::format(total) + " total \u00B7 " + Bytes::format(used) +
                                 " used \u00B7 " + Bytes::format(available) + " free";
        if (text.out.find(disk + "\n") == std::string::npos) return 6;
        test::runCommand({"/bin/umount", mountPoint});
        return 0;
    });
    if (status == 77) GTEST_SKIP() << "cannot loop-mount in a mount namespace here (needs root, unshare and loop devices)";
    EXPECT_EQ(status, 0) << "2: no reserve, 3: probe, 4: report failed, 5: JSON figures, 6: text line";
}
