// An app installed where only the environment tells Flatpak to look (or in the default beside
// it) keeps its ~/.var/app folder: `--report` and `--plan` offer none of it, and `--duplicates`
// counts no copy inside its data as reclaimable.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/stat.h>

#include <map>

#include "engine/Bytes.h"
#include "platform/Path.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

struct Row {
    const char* name;
    std::string variable, value; // "~" the home, "@" the outside place
    std::string installed;       // the app's folder, the same way
};

const Row kRows[] = {
    {"XDG_DATA_HOME is the home", "XDG_DATA_HOME", "~", "~/flatpak/app/org.example.Notes"},
    {"FLATPAK_SYSTEM_DIR", "FLATPAK_SYSTEM_DIR", "@/system", "@/system/app/org.example.Notes"},
    {"FLATPAK_CONFIG_DIR names it", "FLATPAK_CONFIG_DIR", "@/conf", "@/sd/app/org.example.Notes"},
    {"the default beside FLATPAK_USER_DIR", "FLATPAK_USER_DIR", "@/user", "~/.local/share/flatpak/app/org.example.Notes"},
};

struct NotesHome {
    FakeHome home;
    TempDir other;
    std::string h = home.path();
    std::string db = h + "/.var/app/org.example.Notes/data/notes/notes.db";
    std::map<std::string, std::string> vars;

    explicit NotesHome(const Row& row) {
        const auto place = [&](const std::string& text) { return (text[0] == '~' ? h : other.path()) + text.substr(1); };
        makeDirs(place(row.installed));
        writeFile(other.path() + "/conf/installations.d/sd.conf", "[Installation \"sd\"]\nPath=" + other.path() + "/sd\n");
        writeFileOfSize(db, 6'000'000);
        vars = {{"HOME", h}, {"SORVEL_SYSTEM_ROOT", home.systemRoot()}, {"XDG_CONFIG_HOME", h + "/.config"},
                {"FLATPAK_USER_DIR", ""}, {"FLATPAK_SYSTEM_DIR", ""}, {"FLATPAK_CONFIG_DIR", ""}, {"XDG_DATA_HOME", ""}};
        vars[row.variable] = place(row.value);
    }
};

} // namespace

TEST(FlatpakEnvironmentCommand, ReportAndPlanOfferNothingOfAnInstalledAppsFolder) {
    for (const auto& row : kRows) {
        NotesHome t(row);
        const auto report = runSorvel({"--report", "--json"}, t.vars);
        ASSERT_EQ(report.status, 0) << row.name << "\n" << report.err;
        const auto doc = nlohmann::json::parse(report.out);
        for (const auto& item : doc.at("recommendations"))
            for (const auto& target : item.at("targets"))
                EXPECT_FALSE(isPathInside(t.db, target.at("path").get<std::string>()))
                    << row.name << ": " << item.at("id") << " offers " << target.at("path");
        const auto plan = runSorvel({"--plan"}, t.vars);
        ASSERT_EQ(plan.status, 0) << row.name << "\n" << plan.err;
        EXPECT_EQ(plan.out.find("~/.var/app/org.example.Notes"), std::string::npos) << row.name << "\n" << plan.out;
    }
}

TEST(FlatpakEnvironmentCommand, DuplicatesCountNoCopyInAnInstalledAppsData) {
    for (const auto& row : kRows) {
        NotesHome t(row);
        // An older copy in Downloads.
        const std::string kept = t.h + "/Downloads/notes.db";
        writeFile(kept, readFile(t.db));
        struct timespec at[2] = {{1'400'000'000, 0}, {1'400'000'000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, kept.c_str(), at, 0), 0);
        const auto r = runSorvel({"--duplicates", "~"}, t.vars);
        ASSERT_EQ(r.status, 0) << row.name << "\n" << r.err;
        const size_t at_ = r.out.find("~/.var/app/org.example.Notes/data/notes/notes.db");
        ASSERT_NE(at_, std::string::npos) << row.name << "\n" << r.out;
        const std::string line = r.out.substr(at_, r.out.find('\n', at_) - at_);
        EXPECT_NE(line.find("never moved: protected location (~/.var/app/org.example.Notes/data)"), std::string::npos)
            << row.name << ": " << line;
        // The copy that is never moved is the one kept; the download is the spare.
        EXPECT_NE(r.out.find("keep   ~/.var/app/org.example.Notes/data/notes/notes.db"), std::string::npos)
            << row.name << "\n" << r.out;
    }
}
