#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <future>

#include "engine/VolumeProbe.h"
#include "platform/Path.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

std::string fixtureTool(const test::TempDir& dir, const std::string& output) {
    test::writeFile(dir / "output.txt", output);
    const std::string path = dir / "tmutil";
    test::writeFile(path, "#!/bin/sh\n[ \"$1 $2\" = \"listlocalsnapshotdates /\" ] || exit 9\ncat '" +
                              (dir / "output.txt") + "'\n");
    chmod(path.c_str(), 0755);
    return path;
}

Date local(int y, int mo, int d, int h, int mi, int s) {
    std::tm parts{};
    parts.tm_year = y - 1900;
    parts.tm_mon = mo - 1;
    parts.tm_mday = d;
    parts.tm_hour = h;
    parts.tm_min = mi;
    parts.tm_sec = s;
    parts.tm_isdst = -1;
    return dateFromUnixSeconds(std::mktime(&parts));
}

} // namespace

TEST(VolumeStats, HomeVolumeHasCapacity) {
    test::FakeHome home;
    auto s = VolumeProbe::stats(home.path());
    EXPECT_GT(s.totalCapacity, 0);
    EXPECT_LE(s.availableCapacity, s.totalCapacity);
    EXPECT_EQ(s.availableForImportantUsage, s.availableCapacity);
}

// A place that cannot be read still lies on a disk: the root file system's figures, never
// a disk of 0 bytes.
TEST(VolumeStats, AnUnreadableVolumeGivesTheRootFileSystems) {
    auto s = VolumeProbe::stats("/nonexistent/sorvel/volume");
    const auto root = VolumeProbe::stats("/");
    EXPECT_TRUE(s.measured);
    EXPECT_GT(s.totalCapacity, 0);
    EXPECT_EQ(s.totalCapacity, root.totalCapacity);
    EXPECT_LE(s.availableCapacity, s.totalCapacity);
}

TEST(AccessProbes, FiveProbesInOrderUnderTheHomeOfTheMoment) {
    test::FakeHome home;
    const std::string h = home.path();
    EXPECT_EQ(VolumeProbe::accessProbes(),
              (std::vector<std::string>{"/Library/Application Support/com.apple.TCC/TCC.db",
                                        h + "/Library/Application Support/com.apple.TCC/TCC.db",
                                        h + "/Library/Safari/CloudTabs.db", h + "/Library/Safari/Bookmarks.plist",
                                        h + "/Library/Mail"}));
}

TEST(AccessProbes, AnEmptyListableMailFolderGrantsAccess) {
    test::FakeHome home;
    EXPECT_FALSE(VolumeProbe::hasFullDiskAccess());
    test::makeDirs(home / "Library/Mail");
    EXPECT_TRUE(VolumeProbe::hasFullDiskAccess());
}

TEST(AccessProbes, EmptyFilesAreReadable) {
    test::TempDir dir;
    test::writeFile(dir / "empty", "");
    EXPECT_TRUE(VolumeProbe::canRead(dir / "empty"));
    EXPECT_FALSE(VolumeProbe::canRead(dir / "missing"));
}

TEST(AccessProbes, AFifoProbeNeverBlocks) {
    test::FakeHome home;
    test::makeDirs(home / "Library/Safari");
    ASSERT_EQ(mkfifo((home / "Library/Safari/CloudTabs.db").c_str(), 0644), 0);
    auto done = std::async(std::launch::async, [] { return VolumeProbe::describeAccess(); });
    ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "a FIFO probe blocked";
    EXPECT_FALSE(done.get().empty());
}

TEST(AccessProbes, UnreadableProbesAreBlockedForAnUnprivilegedUser) {
    test::FakeHome home;
    test::makeDirs(home / "Library/Mail");
    test::writeFile(home / "Library/Safari/Bookmarks.plist", "secret");
    chmod((home / "Library/Mail").c_str(), 0700);
    chmod((home / "Library/Safari/Bookmarks.plist").c_str(), 0600);
    chmod((home / "Library").c_str(), 0755);
    chmod((home / "Library/Safari").c_str(), 0755);
    int status = test::runAsUnprivileged([] {
        // A directory that cannot be listed is not retried as a file.
        if (VolumeProbe::canRead(homeDirectory() + "/Library/Mail")) return 1;
        if (VolumeProbe::hasFullDiskAccess()) return 2;
        const std::string report = VolumeProbe::describeAccess();
        if (report.find("  [BLOCKED] ~/Library/Mail") == std::string::npos) return 3;
        if (report.find("  [BLOCKED] ~/Library/Safari/Bookmarks.plist") == std::string::npos) return 4;
        if (report.find("  [absent ] ~/Library/Safari/CloudTabs.db") == std::string::npos) return 5;
        if (report.find("readable by this user: 0, blocked: 2, absent: 3") == std::string::npos) return 6;
        return 0;
    });
    EXPECT_EQ(status, 0);
}

TEST(AccessReport, ShowsEachProbeTheResultAndTheProgramFolder) {
    test::FakeHome home;
    auto lines = [](const std::string& report) {
        std::vector<std::string> out;
        size_t start = 0;
        for (;;) {
            size_t end = report.find('\n', start);
            out.push_back(report.substr(start, end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        return out;
    };
    auto before = lines(VolumeProbe::describeAccess());
    ASSERT_EQ(before.size(), 9u);
    EXPECT_EQ(before[0], "Full Disk Access probes:");
    EXPECT_EQ(before[1], "  [absent ] /Library/Application Support/com.apple.TCC/TCC.db");
    EXPECT_EQ(before[2], "  [absent ] ~/Library/Application Support/com.apple.TCC/TCC.db");
    EXPECT_EQ(before[5], "  [absent ] ~/Library/Mail");
    EXPECT_EQ(before[6], "");
    EXPECT_EQ(before[7], "Result: nothing to grant outside an app bundle \u2014 readable by this user: 0, blocked: 0, "
                         "absent: 5");
    EXPECT_EQ(before[8].rfind("Program folder: /", 0), 0u);

    test::makeDirs(home / "Library/Mail");
    auto after = lines(VolumeProbe::describeAccess());
    ASSERT_EQ(after.size(), 9u);
    EXPECT_EQ(after[5], "  [read  ] ~/Library/Mail");
    EXPECT_EQ(after[7], "Result: nothing to grant outside an app bundle \u2014 readable by this user: 1, blocked: 0, "
                        "absent: 4");
}

TEST(LocalSnapshots, ReadsStampsNewestFirst) {
    auto snapshots = VolumeProbe::snapshotsFromOutput(
        "Snapshot dates for all disks:\n2024-05-01-101500\n\n  2024-04-30-235959\t\n");
    ASSERT_EQ(snapshots.size(), 2u);
    EXPECT_EQ(snapshots[0].name, "2024-05-01-101500");
    EXPECT_EQ(snapshots[1].name, "2024-04-30-235959");
    ASSERT_TRUE(snapshots[0].date && snapshots[1].date);
    EXPECT_EQ(*snapshots[0].date, local(2024, 5, 1, 10, 15, 0));
    EXPECT_EQ(*snapshots[1].date, local(2024, 4, 30, 23, 59, 59));
    EXPECT_FALSE(snapshots[0].id == snapshots[1].id);
}

TEST(LocalSnapshots, UndatedStampsComeLastInOutputOrder) {
    auto snapshots = VolumeProbe::snapshotsFromOutput("2024-13-01-000000\n2023-01-01-000000\n9 lives\n"
                                                      "2024-01-01-000000\n");
    ASSERT_EQ(snapshots.size(), 4u);
    EXPECT_EQ(snapshots[0].name, "2024-01-01-000000");
    EXPECT_EQ(snapshots[1].name, "2023-01-01-000000");
    EXPECT_EQ(snapshots[2].name, "2024-13-01-000000");
    EXPECT_FALSE(snapshots[2].date.has_value());
    EXPECT_EQ(snapshots[3].name, "9 lives");
}

TEST(LocalSnapshots, StampsMustFitThePatternExactly) {
    EXPECT_TRUE(VolumeProbe::snapshotDate("2024-02-29-120000").has_value());
    EXPECT_FALSE(VolumeProbe::snapshotDate("2023-02-29-120000").has_value());
    EXPECT_FALSE(VolumeProbe::snapshotDate("2024-04-31-120000").has_value());
    EXPECT_FALSE(VolumeProbe::snapshotDate("2024-04-30-246000").has_value());
    EXPECT_FALSE(VolumeProbe::snapshotDate("2024-04-30-1200").has_value());
    EXPECT_FALSE(VolumeProbe::snapshotDate("2024-04-30-120000.local").has_value());
    EXPECT_FALSE(VolumeProbe::snapshotDate("2024/04/30-120000").has_value());
}

TEST(LocalSnapshots, RunsTheToolAndReadsItsOutput) {
    test::TempDir dir;
    auto tool = fixtureTool(dir, "Snapshots:\n2024-04-30-235959\n2024-05-01-101500\n");
    auto snapshots = VolumeProbe::localSnapshots(tool);
    ASSERT_EQ(snapshots.size(), 2u);
    EXPECT_EQ(snapshots[0].name, "2024-05-01-101500");
}

TEST(LocalSnapshots, OutputThatIsNotUTF8GivesNone) {
    test::TempDir dir;
    auto tool = fixtureTool(dir, "2024-04-30-235959\n\xff\xfe\n");
    EXPECT_TRUE(VolumeProbe::localSnapshots(tool).empty());
}

TEST(LocalSnapshots, AMissingOrNonExecutableToolLaunchesNothing) {
    test::TempDir dir;
    const std::string marker = dir / "ran";
    test::writeFile(dir / "tmutil", "#!/bin/sh\ntouch '" + marker + "'\necho 2024-04-30-235959\n");
    chmod((dir / "tmutil").c_str(), 0644);
    EXPECT_TRUE(VolumeProbe::localSnapshots(dir / "tmutil").empty());
    EXPECT_TRUE(VolumeProbe::localSnapshots(dir / "absent").empty());
    EXPECT_FALSE(test::exists(marker));
    // This machine has no tmutil at all.
    if (!test::exists(VolumeProbe::kSnapshotTool)) {
        EXPECT_TRUE(VolumeProbe::localSnapshots().empty());
    }
}

TEST(AccessReport, IsExactlyTheseLinesWithoutAFinalNewline) {
    test::FakeHome home;
    test::makeDirs(home / "Library/Safari");
    test::writeFile(home / "Library/Safari/Bookmarks.plist", "");
    test::makeDirs(home / "Library/Safari/CloudTabs.db"); // a listable directory reads too
    const std::string system = "/Library/Application Support/com.apple.TCC/TCC.db";
    if (test::exists(system)) GTEST_SKIP() << "this machine has the system database";
    const std::string expected = "Full Disk Access probes:\n"
                                 "  [absent ] /Library/Application Support/com.apple.TCC/TCC.db\n"
                                 "  [absent ] ~/Library/Application Support/com.apple.TCC/TCC.db\n"
                                 "  [read  ] ~/Library/Safari/CloudTabs.db\n"
                                 "  [read  ] ~/Library/Safari/Bookmarks.plist\n"
                                 "  [absent ] ~/Library/Mail\n"
                                 "\n"
                                 "Result: nothing to grant outside an app bundle \u2014 readable by this user: 2, "
                                 "blocked: 0, absent: 3\n"
                                 "Program folder: ";
    const std::string report = VolumeProbe::describeAccess();
    ASSERT_EQ(report.substr(0, expected.size()), expected);
    EXPECT_EQ(report.find('\n', expected.size()), std::string::npos);
    EXPECT_EQ(report.substr(expected.size()).front(), '/');
}
