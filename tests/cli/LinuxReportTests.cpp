// `sorvel --report` over a Linux home and a fake system tree: each category shows the
// Linux places it measured, in text and JSON; a swap file is listed as itself.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <set>

#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

struct LinuxReportHome {
    FakeHome home;
    std::string h = home.path(), sys = home.systemRoot();
    LinuxReportHome() {
        writeFileOfSize(h + "/.cache/thumbnails/large/a.png", 3'000'000);
        writeFileOfSize(h + "/.cache/pip/http/wheel", 2'000'000);
        writeFileOfSize(h + "/.var/app/org.gimp.GIMP/cache/blob", 1'500'000);
        writeFileOfSize(h + "/.var/app/org.gimp.GIMP/data/brush", 700'000);
        writeFileOfSize(h + "/.local/share/app/db", 600'000);
        writeFileOfSize(h + "/.config/app/settings", 50'000);
        writeFileOfSize(sys + "/var/log/journal/abc/system.journal", 4'000'000);
        writeFileOfSize(sys + "/var/cache/apt/archives/p.deb", 2'500'000);
        writeFileOfSize(sys + "/swapfile", 1'000'000);
        writeFile(sys + "/proc/swaps", "Filename Type Size Used Priority\n/swapfile file 1000 0 -2\n");
    }
    std::map<std::string, std::string> env() const {
        return {{"HOME", h}, {"SORVEL_SYSTEM_ROOT", sys}, {"XDG_CONFIG_HOME", h + "/.config"}};
    }
};

} // namespace

TEST(LinuxReport, JsonListsTheLinuxPlacesOfEachCategory) {
    LinuxReportHome home;
    const auto r = runSorvel({"--report", "--json"}, home.env());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    std::map<std::string, std::set<std::string>> top;
    std::map<std::string, long long> bytes;
    for (const auto& c : doc.at("categories")) {
        for (const auto& t : c.at("top")) top[c.at("id")].insert(t.at("path").get<std::string>());
        bytes[c.at("id")] = c.at("bytes").get<long long>();
    }
    struct Case {
        const char* category;
        std::set<std::string> top;
        long long bytes;
    };
    const Case cases[] = {
        // Several roots: the roots themselves.
        {"caches",
         {home.h + "/.cache", home.h + "/.var/app/org.gimp.GIMP/cache", home.sys + "/var/cache"},
         allocatedSize(home.h + "/.cache/thumbnails/large/a.png") +
             allocatedSize(home.h + "/.var/app/org.gimp.GIMP/cache/blob") +
             allocatedSize(home.sys + "/var/cache/apt/archives/p.deb")},
        // One folder root: its folders.
        {"developer", {home.h + "/.cache/pip/http"}, allocatedSize(home.h + "/.cache/pip/http/wheel")},
        {"logs", {home.sys + "/var/log/journal"}, allocatedSize(home.sys + "/var/log/journal/abc/system.journal")},
        {"containers",
         {home.h + "/.var/app/org.gimp.GIMP"},
         allocatedSize(home.h + "/.var/app/org.gimp.GIMP/data/brush")},
        // One file root: the file itself.
        {"vmSwap", {home.sys + "/swapfile"}, allocatedSize(home.sys + "/swapfile")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(top[c.category], c.top) << c.category;
        EXPECT_EQ(bytes[c.category], c.bytes) << c.category;
    }
}

TEST(LinuxReport, TextListsEveryCategoryThatHoldsSomething) {
    LinuxReportHome home;
    const auto r = runSorvel({"--report"}, home.env());
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* title : {"  Caches & Temp ", "  Logs ", "  VM & Swap ", "  Developer ", "  Containers ",
                              "  App Support ", "  Other Library "})
        EXPECT_NE(r.out.find(title), std::string::npos) << title << " in:\n" << r.out;
    // The swap file is never offered; nothing of the system's is.
    EXPECT_EQ(r.out.find("swapfile"), std::string::npos) << r.out;
}

// Every target a rule offers over a Linux home passes the guard: a developer folder is an
// allowed root, so what it holds is offered, never the folder itself.
TEST(LinuxReport, ThePlanWouldMoveWhatTheRulesOfferThere) {
    LinuxReportHome home;
    writeFileOfSize(home.h + "/.cache/thumbnails/normal/b.png", 3'000'000);
    const auto r = runSorvel({"--plan"}, home.env());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("REFUSED"), std::string::npos) << r.out;
    // A tool's cache is offered whole, as one row.
    for (const char* offered : {"~/.cache/thumbnails", "~/.cache/pip\n"})
        EXPECT_NE(r.out.find(offered), std::string::npos) << offered << "\n" << r.out;
}
