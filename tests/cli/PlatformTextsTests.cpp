// What each command prints about this system, through its own code: nothing that is false
// on Linux (APFS, Full Disk Access, Docker Desktop, a Mac), and what is true in its place.
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

TEST(PlatformTexts, EachCommandSaysWhatIsTrueOnThisSystem) {
    using Output = std::function<std::string(const TempDir&)>;
    const std::tuple<const char*, Output, std::vector<std::string>, std::vector<std::string>> commands[] = {
        {"--duplicates", [](const TempDir&) { return HeadlessReport::duplicatesReport(clones()); }, {"APFS"},
         {"Reflinked clones \u2014 shared storage", "are reflinked clones or hard links sharing their blocks"}},
        {"--access", [](const TempDir&) { FakeHome home; return VolumeProbe::describeAccess(); },
         {"GRANTED", "NOT granted"}, {"nothing to grant outside an app bundle", "readable by this user: 0"}},
        {"--report, every folder readable", [](const TempDir&) { return HeadlessReport::scanReportText(ScanResult{}); },
         {"Full disk access", "lower bound"}, {"Unreadable folders: none"}},
        {"--help", [](const TempDir&) { return std::string(SorvelMain::usageText()); }, {"Full Disk Access"},
         {"scan what this user can"}},
        {"--docker, not installed",
         [](const TempDir&) { return HeadlessReport::dockerReport(DockerInspector::inspect(std::nullopt)); },
         {"Docker Desktop", "disk image"}, {"Install Docker Engine"}},
        {"--docker, daemon down",
         [](const TempDir& dir) {
             return HeadlessReport::dockerReport(DockerInspector::inspect(writeScript(dir, "docker", "exit 1")));
         },
         {"Docker Desktop", "8 seconds"}, {"not running", "systemctl start docker"}},
        {"--cloud, nothing of iCloud here",
         [](const TempDir&) { FakeHome home; return HeadlessReport::cloudReport(CloudDetector::detect()); },
         {"System Settings", "grant Full Disk Access", "this Mac"}, {"on a device signed in to your account"}},
        {"--backups, none", [](const TempDir&) { return HeadlessReport::backupsReport({}); },
         {"Full Disk Access", "this Mac"}, {"this user may not be able to read them"}},
        {"--backups, one",
         [](const TempDir&) {
             DeviceBackup b;
             b.folderName = "0001", b.path = "/b/0001", b.size = 1'000'000;
             return HeadlessReport::backupsReport({b});
         },
         {"Finder"}, {"with the program that made it"}},
    };
    for (const auto& [name, output, falseHere, trueHere] : commands) {
        TempDir dir;
        std::string out = output(dir);
        // Wrapped lines joined again, so a phrase is found across a line break.
        for (size_t at = out.find("\n  "); at != std::string::npos; at = out.find("\n  ", at)) out.replace(at, 3, " ");
        for (const auto& phrase : falseHere)
            EXPECT_EQ(out.find(phrase), std::string::npos) << name << " still says \"" << phrase << "\":\n" << out;
        for (const auto& phrase : trueHere)
            EXPECT_NE(out.find(phrase), std::string::npos) << name << " lacks \"" << phrase << "\":\n" << out;
    }
}
