// A result a stop cut short, in every form the reports take: the cut category, root and
// folder say they are partial; the whole ones carry no word of it.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/ReportExporter.h"
#include "cli/ScanReport.h"

using namespace sorvel;
using nlohmann::json;

namespace {

ScanNodePtr node(const std::string &path, int64_t size) {
    auto n = ScanNode::make(path.substr(path.rfind('/') + 1), path);
    n->size = n->directFileSize = size;
    n->fileCount = n->directFileCount = 1;
    return n;
}

CategoryResult category(const std::string &id, const std::string &title, std::vector<ScanNodePtr> roots) {
    CategoryResult c;
    c.category.id = id;
    c.category.title = title;
    c.roots = std::move(roots);
    return c;
}

// "usr" cut in its "lib" folder; "etc" whole.
ScanResult stopped() {
    auto usr = node("/usr", 0);
    auto lib = node("/usr/lib", 2'000'000);
    lib->markCut();
    usr->children = {lib, node("/usr/share", 900'000)};
    usr->rollUpTotals();
    ScanResult r;
    r.categories = {category("disk:/usr", "usr", {usr}), category("disk:/etc", "etc", {node("/etc", 40'000)})};
    return r;
}

std::string lineOf(const std::string &text, const std::string &start) {
    const size_t at = text.find(start);
    return at == std::string::npos ? std::string() : text.substr(at, text.find('\n', at) - at);
}

json byId(const json &categories, const std::string &id) {
    for (const auto &c : categories)
        if (c["id"] == id)
            return c;
    return {};
}

} // namespace

TEST(PartialReport, EveryFormMarksTheCutFiguresAndOnlyThem) {
    const ScanResult r = stopped();
    const std::string text = HeadlessReport::scanReportText(r);
    const json report = json::parse(*HeadlessReport::scanReportJSON(r));
    const json exported = json::parse(*ReportExporter::encode(r));
    struct Row {
        const char *form;
        bool cutSaysPartial;
        bool wholeSaysPartial;
    };
    const Row rows[] = {
        {"text row", lineOf(text, "  usr ").find("(partial") != std::string::npos,
         lineOf(text, "  etc ").find("partial") != std::string::npos},
        {"progress line", HeadlessReport::progressLine(1, *r.categories[0].roots[0]).find("(partial)") != std::string::npos,
         HeadlessReport::progressLine(2, *r.categories[1].roots[0]).find("partial") != std::string::npos},
        {"report category", byId(report["categories"], "disk:/usr").value("partial", false),
         byId(report["categories"], "disk:/etc").contains("partial")},
        {"report folder", byId(report["categories"], "disk:/usr")["top"][0].value("partial", false),
         byId(report["categories"], "disk:/usr")["top"][1].contains("partial")},
        {"export category", byId(exported["categories"], "disk:/usr").value("partial", false),
         byId(exported["categories"], "disk:/etc").contains("partial")},
        {"export root", byId(exported["categories"], "disk:/usr")["roots"][0].value("partial", false),
         byId(exported["categories"], "disk:/etc")["roots"][0].contains("partial")},
        {"export folder", byId(exported["categories"], "disk:/usr")["roots"][0]["children"][0].value("partial", false),
         byId(exported["categories"], "disk:/usr")["roots"][0]["children"][1].contains("partial")},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.form);
        EXPECT_TRUE(row.cutSaysPartial);
        EXPECT_FALSE(row.wholeSaysPartial);
    }
    EXPECT_NE(lineOf(text, "  Scanned ").find("(partial"), std::string::npos);
    EXPECT_EQ(report["partial"], true);
    EXPECT_EQ(exported["partial"], true);

    // Measured whole, nothing anywhere says partial.
    ScanResult whole = stopped();
    whole.categories.erase(whole.categories.begin());
    EXPECT_EQ(HeadlessReport::scanReportText(whole).find("partial"), std::string::npos);
    EXPECT_EQ(HeadlessReport::scanReportJSON(whole)->find("partial"), std::string::npos);
    EXPECT_EQ(ReportExporter::encode(whole)->find("\"partial\""), std::string::npos);
}
