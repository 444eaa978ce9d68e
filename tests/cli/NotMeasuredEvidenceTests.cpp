// Xcode's folders inside a folder a stop left unentered: the evidence, the cleanup item and the
// report say "not measured", never a 0 read in part, never "not readable by this user".
#include <gtest/gtest.h>

#include "cleanup/CleanupRules.h"
#include "cli/EvidenceCommands.h"
#include "engine/Bytes.h"
#include "engine/FileWalker.h"
#include "support/PlistFiles.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

TEST(NotMeasuredEvidence, XcodeFoldersAStopLeftUnmeasuredAreSaidSoEverywhere) {
    FakeHome home;
    const std::string xcode = home / "Library/Developer/Xcode";
    writeFile(xcode + "/DerivedData/Gone-abc/info.plist", xmlPlist(key("WorkspacePath", text(home / "gone/G.xcodeproj"))));
    writeFileOfSize(xcode + "/DerivedData/Gone-abc/Build/big", 2'000'000);
    writeFileOfSize(xcode + "/iOS DeviceSupport/16.4 (20E247)/sym", 2'000'000);
    for (const bool measured : {true, false}) {
        SCOPED_TRACE(measured ? "read whole" : "the Xcode folder never entered");
        ScanControl control;
        ScanNodePtr root = FileWalker::walk(xcode, control);
        if (!measured) (root = ScanNode::make("Xcode", xcode))->markCut();
        ScanResult result;
        result.categories.push_back(CategoryResult{DisplayCategory{}, {root}});
        const auto evidence = DeveloperInspector::inspect(CleanupRules::sizeFromResult(result), {});
        ASSERT_EQ(evidence.derivedData.size(), 1u);
        EXPECT_EQ(evidence.derivedData.front().reading, measured ? Reading::whole : Reading::unmeasured);
        EXPECT_EQ(evidence.orphanedDerivedData().size(), measured ? 1u : 0u);

        const CleanupItem item = CleanupRules::developerJunk(result, home.path(), evidence);
        for (const auto &target : item.targets) EXPECT_GT(target.size, 0) << target.path; // never offered as 0
        EXPECT_EQ(item.detail.find("2 more folders are not measured") != std::string::npos, !measured) << item.detail;

        const std::string report = HeadlessReport::xcodeReport(evidence);
        const size_t start = report.rfind('\n', report.find("Gone-abc")) + 1;
        const std::string row = report.substr(start, report.find('\n', start) - start);
        EXPECT_EQ(row.find("not measured") != std::string::npos, !measured) << row;
        EXPECT_EQ(row.find(Bytes::format(0)), std::string::npos) << row;
        EXPECT_EQ(report.find("not counting 1 not measured") != std::string::npos, !measured) << report;
        EXPECT_EQ(report.find("not readable"), std::string::npos) << report;
        EXPECT_EQ(item.detail.find("not readable"), std::string::npos) << item.detail;
    }
}

// Backups left unmeasured are counted apart, never in a total and never as refused.
TEST(NotMeasuredEvidence, ABackupLeftUnmeasuredStandsInNoTotal) {
    DeviceBackup measured, unmeasured;
    measured.folderName = "aaa";
    measured.size = 7'000'000;
    unmeasured.folderName = "bbb";
    unmeasured.sizeUnmeasured = true;
    const std::string text = HeadlessReport::backupsReport({measured, unmeasured});
    EXPECT_NE(text.find("2 backups, " + Bytes::format(7'000'000) + " in the 1 measured, 1 not measured\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("bbb" + std::string(32, ' ') + "not measured\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("not readable"), std::string::npos) << text;
}
