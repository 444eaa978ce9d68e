// Xcode's folders inside a folder a stop left unentered: the evidence, the cleanup item and the
// report say "not measured", never a 0 read in part, never "not readable by this user".
#include <gtest/gtest.h>

#include "cleanup/CleanupRules.h"
#include "cli/EvidenceCommands.h"
#include "engine/Bytes.h"
#include "engine/FileWalker.h"
#include "engine/ScanResult.h"
#include "support/PlistFiles.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

// The developer folder walked, with `unentered` (under it) left as a stop leaves a folder
// it never entered; none leaves the whole tree read.
ScanResult developerScan(const FakeHome &home, const std::string &unentered) {
    ScanControl control;
    auto tree = FileWalker::walk(home / "Library/Developer", control);
    std::vector<ScanNodePtr> chain{tree};
    for (size_t start = 0; !unentered.empty() && start <= unentered.size();) {
        const size_t end = std::min(unentered.find('/', start), unentered.size());
        const std::string name = unentered.substr(start, end - start);
        for (const auto &c : chain.back()->children)
            if (c->name == name) chain.push_back(c);
        start = end + 1;
    }
    if (chain.size() > 1) {
        ScanNode &cut = *chain.back();
        cut.children.clear();
        cut.size = cut.directFileSize = cut.fileCount = cut.directFileCount = 0;
        cut.markCut();
        for (size_t i = chain.size() - 1; i-- > 0;) chain[i]->rollUpTotals();
    }
    ScanResult result;
    DisplayCategory d;
    d.id = d.title = "developer";
    result.categories.push_back(CategoryResult{d, {tree}});
    return result;
}

} // namespace

TEST(NotMeasuredEvidence, XcodeFoldersAStopLeftUnmeasuredAreSaidSoEverywhere) {
    FakeHome home;
    const std::string derived = home / "Library/Developer/Xcode/DerivedData";
    writeFile(derived + "/Gone-abc/info.plist", xmlPlist(key("WorkspacePath", text(home / "gone/Gone.xcodeproj"))));
    writeFileOfSize(derived + "/Gone-abc/Build/big", 2'000'000);
    writeFileOfSize(home / "Library/Developer/Xcode/iOS DeviceSupport/16.4 (20E247)/sym", 2'000'000);
    writeFileOfSize(home / "Library/Developer/Xcode/iOS DeviceSupport/16.4 (20E252)/sym", 2'000'000);

    const struct Case {
        const char *name;
        std::string unentered;
        bool measured;
    } cases[] = {
        {"read whole", "", true},
        {"the Xcode folder never entered", "Xcode", false},
        {"the build folder itself never entered", "Xcode/DerivedData/Gone-abc", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ScanResult result = developerScan(home, c.unentered);
        const auto evidence = DeveloperInspector::inspect(CleanupRules::sizeFromResult(result), {});
        ASSERT_EQ(evidence.derivedData.size(), 1u);
        const auto &gone = evidence.derivedData.front();
        EXPECT_EQ(gone.reading, c.measured ? Reading::whole : Reading::unmeasured);
        EXPECT_EQ(evidence.unreadDerivedData().size(), 0u); // never taken for refused
        EXPECT_EQ(evidence.orphanedDerivedData().size(), c.measured ? 1u : 0u);

        const CleanupItem item = CleanupRules::developerJunk(result, home.path(), evidence);
        for (const auto &target : item.targets) EXPECT_GT(target.size, 0) << target.path; // never offered as 0
        EXPECT_EQ(item.detail.find("not measured") != std::string::npos, !c.measured) << item.detail;
        EXPECT_EQ(item.detail.find("not readable"), std::string::npos) << item.detail;

        const std::string report = HeadlessReport::xcodeReport(evidence);
        const size_t start = report.rfind('\n', report.find("Gone-abc")) + 1;
        const std::string row = report.substr(start, report.find('\n', start) - start);
        EXPECT_EQ(row.find("not measured") != std::string::npos, !c.measured) << row;
        EXPECT_EQ(row.find(Bytes::format(0)), std::string::npos) << row;
        EXPECT_EQ(report.find("1 more not measured") != std::string::npos, !c.measured) << report;
        EXPECT_EQ(report.find("not counting 1 not measured") != std::string::npos, !c.measured) << report;
        EXPECT_EQ(report.find("not readable"), std::string::npos) << report;
    }
}

// Backups left unmeasured are counted apart, never in a total and never as refused.
TEST(NotMeasuredEvidence, ABackupLeftUnmeasuredStandsInNoTotal) {
    DeviceBackup measured, unmeasured;
    measured.folderName = "aaa";
    measured.size = 7'000'000;
    unmeasured.folderName = "bbb";
    unmeasured.sizeUnmeasured = true;
    EXPECT_EQ(unmeasured.reading(), Reading::unmeasured);
    const std::string text = HeadlessReport::backupsReport({measured, unmeasured});
    EXPECT_NE(text.find("2 backups, " + Bytes::format(7'000'000) + " in the 1 measured, 1 not measured\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("bbb" + std::string(32, ' ') + "not measured\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("not readable"), std::string::npos) << text;
}
