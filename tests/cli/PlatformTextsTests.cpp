// What the command line says about this system, printed by each command's own code: no
// APFS, no Full Disk Access to ask for, no Docker Desktop, no Mac.
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

struct Command {
    const char* name;
    std::function<std::string(const TempDir&)> output;
    std::vector<std::string> falseHere;
    std::vector<std::string> trueHere;
};

// Two reflinked copies: the second shares all its blocks with the first.
DuplicateFinder::Report clones() {
    DuplicateGroup g;
    g.kind = DuplicateGroup::Kind::clones;
    g.size = 4'000'000;
    g.files = {DuplicateFile{"/d/a", g.size, 0, 1, 7, {}, 1, 1, g.size},
               DuplicateFile{"/d/b", g.size, 0, 2, 7, {}, 1, 1, g.size}};
    g.id = "/d/a\x01/d/b";
    DuplicateFinder::Report report;
    report.groups = {g};
    report.filesScanned = 2;
    return report;
}

} // namespace

TEST(PlatformTexts, EachCommandSaysWhatIsTrueOnThisSystem) {
    const Command commands[] = {
        {"--duplicates", [](const TempDir&) { return HeadlessReport::duplicatesReport(clones()); },
         {"APFS"},
         {"Reflinked clones \u2014 shared storage", "are reflinked clones or hard links sharing their blocks"}},
        {"--access",
         [](const TempDir&) {
             FakeHome home;
             return VolumeProbe::describeAccess();
         },
         {"GRANTED", "NOT granted"},
         {"nothing to grant outside an app bundle", "readable by this user: 0"}},
        {"--report, every folder readable",
         [](const TempDir&) { return HeadlessReport::scanReportText(ScanResult{}); },
         {"Full disk access", "lower bound"},
         {"Unreadable folders: none"}},
        {"--help", [](const TempDir&) { return std::string(SorvelMain::usageText()); },
         {"Full Disk Access"},
         {"scan what this user can"}},
        {"--docker, not installed",
         [](const TempDir&) { return HeadlessReport::dockerReport(DockerInspector::inspect(std::nullopt)); },
         {"Docker Desktop", "disk image"},
         {"Install Docker Engine"}},
        {"--docker, daemon down",
         [](const TempDir& dir) {
             return HeadlessReport::dockerReport(DockerInspector::inspect(writeScript(dir, "docker", "exit 1")));
         },
         {"Docker Desktop", "8 seconds"},
         {"not running", "systemctl start docker"}},
        {"--cloud, nothing of iCloud here",
         [](const TempDir&) {
             FakeHome home;
             return HeadlessReport::cloudReport(CloudDetector::detect());
         },
         {"System Settings", "grant Full Disk Access", "this Mac"},
         {"on a device signed in to your account"}},
        {"--backups, none", [](const TempDir&) { return HeadlessReport::backupsReport({}); },
         {"Full Disk Access", "this Mac"},
         {"this user may not be able to read them"}},
        {"--backups, one",
         [](const TempDir&) {
             DeviceBackup b;
             b.folderName = "0001";
             b.path = "/b/0001";
             b.size = 1'000'000;
             return HeadlessReport::backupsReport({b});
         },
         {"Finder"},
         {"with the program that made it"}},
    };
    for (const auto& command : commands) {
        TempDir dir;
        std::string out = command.output(dir);
        // Wrapped lines are joined again, so a phrase is found across a line break.
        for (size_t at = out.find("\n  "); at != std::string::npos; at = out.find("\n  ", at)) out.replace(at, 3, " ");
        for (const auto& phrase : command.falseHere)
            EXPECT_EQ(out.find(phrase), std::string::npos) << command.name << " still says \"" << phrase << "\":\n" << out;
        for (const auto& phrase : command.trueHere)
            EXPECT_NE(out.find(phrase), std::string::npos) << command.name << " lacks \"" << phrase << "\":\n" << out;
    }
}
