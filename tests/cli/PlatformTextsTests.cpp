// What each command prints, through its own code: nothing false on Linux.
#include <gtest/gtest.h>

#include <functional>

#include "analysis/DockerInspector.h"
#include "cleanup/CloudStatus.h"
#include "cli/AppsCommand.h"
#include "cli/DockerCommand.h"
#include "cli/DuplicatesCommand.h"
#include "cli/EvidenceCommands.h"
#include "cli/HistoryCommand.h"
#include "cli/ScanReport.h"
#include "cli/SorvelMain.h"
#include "engine/VolumeProbe.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

// Two reflinked copies: the second shares all its blocks with the first.
DuplicateFinder::Report clones() {
    const int64_t size = 4'000'000;
    const DuplicateFile a{"/d/a", size, 0, 1, 7, {}, 1, 1, size}, b{"/d/b", size, 0, 2, 7, {}, 1, 1, size};
    DuplicateFinder::Report report;
    report.groups = {{"/d/a\x01/d/b", {a, b}, size, DuplicateGroup::Kind::clones}};
    report.filesScanned = 2;
    return report;
}

} // namespace

TEST(PlatformTexts, NoCommandSaysWhatIsFalseOnThisSystem) {
    TempDir dir;
    const auto downDaemon = writeScript(dir, "docker", "exit 1");
    DeviceBackup backup;
    backup.folderName = "0001", backup.path = "/b/0001", backup.size = 1'000'000;
    DeviceBackup stale = backup, paired = backup;
    stale.verdict = DeviceBackup::Verdict::stale(800), stale.isPaired = false;
    paired.verdict = DeviceBackup::Verdict::current(), paired.isPaired = true;
    SweepRun trayRun;
    trayRun.trigger = SweepRun::Trigger::menuBar;
    const std::pair<const char*, std::function<std::string()>> commands[] = {
        {"--duplicates", [] { return HeadlessReport::duplicatesReport(clones()); }},
        {"--access", [] { FakeHome home; return VolumeProbe::describeAccess(); }},
        {"--report", [] { return HeadlessReport::scanReportText(ScanResult{}); }},
        {"--help", [] { return std::string(SorvelMain::usageText()); }},
        {"--docker, absent", [] { return HeadlessReport::dockerReport(DockerInspector::inspect(std::nullopt)); }},
        {"--docker, down", [&] { return HeadlessReport::dockerReport(DockerInspector::inspect(downDaemon)); }},
        {"--cloud", [] { FakeHome home; return HeadlessReport::cloudReport(CloudDetector::detect()); }},
        {"--backups, none", [] { return HeadlessReport::backupsReport({}); }},
        {"--backups, one", [&] { return HeadlessReport::backupsReport({backup}); }},
        {"--backups, paired and not", [&] { return HeadlessReport::backupsReport({stale, paired}); }},
        {"--history, a run from the tray panel", [&] { return HeadlessReport::historyReport({trayRun}); }},
        {"--apps", [] { return HeadlessReport::appsReport({}); }},
        {"--insights, a Homebrew cache where no brew is",
         [&] {
             FakeHome home;
             makeDirs(home / "Library/Caches/Homebrew");
             const auto r = runSorvel({"--insights", "~/Library/Caches/Homebrew"},
                                      {{"HOME", home.path()}, {"PATH", dir.path()}});
             return r.out + r.err;
         }},
    };
    for (const auto& [name, output] : commands) {
        std::string out = output();
        // Wrapped lines joined again, so a phrase is found across a line break.
        for (size_t at = out.find("\n  "); at != std::string::npos; at = out.find("\n  ", at)) out.replace(at, 3, " ");
        for (const char* word : {"APFS", "GRANTED", "NOT granted", "needs Full Disk Access", "grant Full Disk Access",
                                 "Full Disk Access first", "Full disk access", "Docker Desktop", "disk image",
                                 "this Mac", "Finder", "System Settings", "read from your iCloud settings", "Bundle:",
                                 "admin password", "Menu bar", "brew cleanup"})
            EXPECT_EQ(out.find(word), std::string::npos) << name << " says \"" << word << "\":\n" << out;
    }
}
