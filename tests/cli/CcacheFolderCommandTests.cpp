// A ccache folder holding its settings file is offered by what it holds on disk but that
// file, in `--report` and `--plan`; each entry offered passes every safety check. One without
// it is offered whole.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <set>

#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

TEST(CcacheFolderCommand, OfferedByWhatItHoldsButItsSettings) {
    struct Row {
        const char* folder; // below the home
        bool settings;      // ccache.conf is there
    };
    const Row rows[] = {{".cache/ccache", true}, {".ccache", true}, {".cache/ccache", false}, {".ccache", false}};
    for (const auto& row : rows) {
        FakeHome home;
        const std::string root = home.path() + "/" + row.folder;
        for (const char* bucket : {"0", "7", "f"}) writeFileOfSize(root + "/" + bucket + "/a/entryR", 700'000);
        writeFileOfSize(root + "/stats", 9'000);
        if (row.settings) writeFile(root + "/ccache.conf", "max_size = 5G\n");
        const std::map<std::string, std::string> env = {{"HOME", home.path()},
                                                        {"SORVEL_SYSTEM_ROOT", home.systemRoot()},
                                                        {"XDG_CONFIG_HOME", home.path() + "/.config"}};
        const std::set<std::string> expected =
            row.settings ? std::set<std::string>{root + "/0", root + "/7", root + "/f", root + "/stats"}
                         : std::set<std::string>{root};
        const auto report = runSorvel({"--report", "--json"}, env);
        ASSERT_EQ(report.status, 0) << report.err;
        std::set<std::string> offered, refused;
        const auto doc = nlohmann::json::parse(report.out);
        for (const auto& item : doc.at("recommendations")) {
            for (const auto& t : item.at("targets"))
                if (t.at("path").get<std::string>().starts_with(root)) offered.insert(t.at("path").get<std::string>());
            if (item.contains("refused"))
                for (const auto& t : item.at("refused")) refused.insert(t.at("path").get<std::string>());
        }
        EXPECT_EQ(offered, expected) << row.folder << (row.settings ? " with" : " without") << " settings\n" << report.out;
        EXPECT_TRUE(refused.empty()) << report.out;
        // The plan moves each of them, and never the settings.
        const auto plan = runSorvel({"--plan"}, env);
        ASSERT_EQ(plan.status, 0) << plan.err;
        const size_t moves = plan.out.find("  WOULD MOVE TO TRASH");
        ASSERT_NE(moves, std::string::npos) << plan.out;
        for (const auto& path : expected)
            EXPECT_NE(plan.out.find("~/" + path.substr(home.path().size() + 1) + "\n", moves), std::string::npos)
                << path << "\n" << plan.out;
        EXPECT_EQ(plan.out.find("/ccache.conf\n"), std::string::npos) << plan.out;
        EXPECT_EQ(plan.out.find("  REFUSED"), std::string::npos) << plan.out;
        EXPECT_TRUE(exists(root + "/0")) << "a plan moves nothing";
    }
}
