// What each command prints, through its own code: nothing false on Linux.
#include <gtest/gtest.h>

#include <functional>

#include "analysis/DockerInspector.h"
#include "cleanup/CloudStatus.h"
#include "cli/DockerCommand.h"
#include "cli/DuplicatesCommand.h"
#include "cli/EvidenceCommands.h"
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
    const std::pair<const char*, std::function<std::string(const TempDir&)>> commands[] = {
        {"--duplicates", [](const TempDir&) { return HeadlessReport::duplicatesReport(clones()); }},
        {"--access", [](const TempDir&) { FakeHome home; return VolumeProbe::describeAccess(); }},
        {"--report", [](const TempDir&) { return HeadlessReport::scanReportText(ScanResult{}); }},
        {"--help", [](const TempDir&) { return std::string(SorvelMain::usageText()); }},
        {"--docker, not installed",
         [](const TempDir&) { return HeadlessReport::dockerReport(DockerInspector::inspect(std::nullopt)); }},
        {"--docker, daemon down",
         [](const TempDir& dir) {
             return HeadlessReport::dockerReport(DockerInspector::inspect(writeScript(dir, "docker", "exit 1")));
         }},
        {"--cloud", [](const TempDir&) { FakeHome home; return HeadlessReport::cloudReport(CloudDetector::detect()); }},
        {"--backups, none", [](const TempDir&) { return HeadlessReport::backupsReport({}); }},
        {"--backups, one",
         [](const TempDir&) {
             DeviceBackup b;
             b.folderName = "0001", b.path = "/b/0001", b.size = 1'000'000;
             return HeadlessReport::backupsReport({b});
         }},
    };
    for (const auto& [name, output] : commands) {
        TempDir dir;
        std::string out = output(dir);
        // Wrapped lines joined again, so a phrase is found across a line break.
        for (size_t at = out.find("\n  "); at != std::string::npos; at = out.find("\n  ", at)) out.replace(at, 3, " ");
        for (const char* word : {"APFS", "GRANTED", "NOT granted", "needs Full Disk Access", "grant Full Disk Access",
                                 "Full Disk Access first", "Full disk access", "Docker Desktop", "disk image",
                                 "this Mac", "Finder", "System Settings"})
            EXPECT_EQ(out.find(word), std::string::npos) << name << " says \"" << word << "\":\n" << out;
    }
}
