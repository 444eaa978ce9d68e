// Writing the exported report: atomic replacement, odd names and failures as values.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include "cli/ReportExporter.h"
#include "platform/FileManager.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

ScanResult smallResult(int64_t size) {
    ScanResult result;
    CategoryResult c;
    c.category.id = "caches";
    c.category.title = "Caches";
    auto root = ScanNode::make("Caches", "/r/Caches");
    root->size = size;
    c.roots = {root};
    result.categories = {c};
    return result;
}

size_t entryCount(const std::string& folder) {
    return FileManager::contentsOfDirectory(folder).value_or(std::vector<std::string>{}).size();
}

} // namespace

TEST(ReportExporterWrite, WritesTheEncodedBytesAndReplacesAWholeFile) {
    test::TempDir dir;
    const std::string path = dir / "sorvel-scan-2026-12-07-1504.json";
    test::writeFile(path, std::string(100000, 'x')); // longer than the report: no tail may survive
    const ScanResult result = smallResult(10); // one result: its finish time is in the bytes
    EXPECT_FALSE(ReportExporter::write(result, path).has_value());
    EXPECT_EQ(test::readFile(path), *ReportExporter::encode(result));
    EXPECT_FALSE(ReportExporter::write(smallResult(20), path).has_value());
    auto doc = nlohmann::json::parse(test::readFile(path));
    EXPECT_EQ(doc["scannedBytes"], 20);
    EXPECT_EQ(entryCount(dir.path()), 1u); // no temporary left behind
}

TEST(ReportExporterWrite, ADestinationWhoseNameIsNotUTF8) {
    test::TempDir dir;
    const std::string path = dir / "r\xE9port\xFF.json";
    EXPECT_FALSE(ReportExporter::write(smallResult(10), path).has_value());
    EXPECT_TRUE(test::exists(path));
    EXPECT_TRUE(nlohmann::json::accept(test::readFile(path)));
}

TEST(ReportExporterWrite, AMissingFolderIsAFailureWithASentence) {
    test::TempDir dir;
    auto failure = ReportExporter::write(smallResult(10), dir / "gone/report.json");
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->message, "Could not write the report");
    EXPECT_NE(failure->detail.find("report.json"), std::string::npos);
    EXPECT_EQ(failure->detail.back(), '.');
}

TEST(ReportExporterWrite, ADirectoryInTheWayStaysAndNothingIsLeftBehind) {
    test::TempDir dir;
    test::makeDirs(dir / "report.json/inside");
    auto failure = ReportExporter::write(smallResult(10), dir / "report.json");
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->message, "Could not write the report");
    EXPECT_TRUE(FileManager::isDirectory(dir / "report.json/inside"));
    EXPECT_EQ(entryCount(dir.path()), 1u);
}

TEST(ReportExporterWrite, AnUnwritableFolderKeepsTheOldFileIntact) {
    test::TempDir dir;
    test::makeDirs(dir / "locked");
    const std::string path = dir / "locked/report.json";
    test::writeFile(path, "old report");
    ::chmod((dir / "locked").c_str(), 0555);
    ::chmod(path.c_str(), 0666);
    int status = test::runAsUnprivileged([&] {
        auto failure = ReportExporter::write(smallResult(10), path);
        if (!failure) return 10;
        if (failure->message != "Could not write the report") return 11;
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(test::readFile(path), "old report");
    EXPECT_EQ(entryCount(dir / "locked"), 1u);
    ::chmod((dir / "locked").c_str(), 0755);
}
