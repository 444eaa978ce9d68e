// `--plan` and `--report` with base folders the environment names wrongly: the value is set
// aside and said once, with why; no user folder, app data or other home is planned.
// A link in place of a root is said to be one, with where it points, and not followed.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <map>

#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

struct Homes {
    TempDir root;
    TempDir system;
    std::string h = root / "home/ann";
    Homes() {
        for (const char* file : {"Documents/letter.odt", "Music/song.flac", ".local/share/flatpak/repo/objects",
                                 ".local/share/Steam/game.pak", ".cache/thumbnails/large.png"})
            writeFileOfSize(h + "/" + file, 6'000'000);
        writeFileOfSize(root / "home/bob/Documents/hers.odt", 6'000'000);
        makeDirs(h + "/.config");
        EXPECT_EQ(::symlink(h.c_str(), (root / "to-ann").c_str()), 0);
    }
    std::map<std::string, std::string> env(const std::string& variable, const std::string& value) const {
        std::map<std::string, std::string> e = {{"HOME", h},           {"SORVEL_SYSTEM_ROOT", system.path()},
                                                {"XDG_CACHE_HOME", ""}, {"XDG_DATA_HOME", ""},
                                                {"XDG_CONFIG_HOME", ""}, {"XDG_STATE_HOME", ""}};
        e[variable] = value;
        return e;
    }
};

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

struct Value {
    const char* name;
    const char* variable;
    std::string (*value)(const Homes&);
    const char* reason;
};

const Value kValues[] = {
    {"the home", "XDG_CACHE_HOME", [](const Homes& t) { return t.h; }, "it is the home folder"},
    {"the home with a slash", "XDG_CACHE_HOME", [](const Homes& t) { return t.h + "/"; }, "it is the home folder"},
    {"the home through ..", "XDG_CACHE_HOME", [](const Homes& t) { return t.h + "/.cache/.."; },
     "it is the home folder"},
    {"the home through a link", "XDG_CACHE_HOME", [](const Homes& t) { return t.root / "to-ann"; },
     "it is the home folder"},
    {"the data folder", "XDG_CACHE_HOME", [](const Homes& t) { return t.h + "/.local/share"; },
     "it is also the data folder (~/.local/share)"},
    {"a folder holding the homes", "XDG_CACHE_HOME", [](const Homes& t) { return t.root / "home"; },
     "it holds the home folder"},
    {"the settings in the caches", "XDG_CONFIG_HOME", [](const Homes& t) { return t.h + "/.cache"; },
     "it is also the cache folder (~/.cache)"},
};

} // namespace

TEST(EnvironmentReport, PlanOffersNoUserFolderAppDataOrOtherHome) {
    for (const auto& v : kValues) {
        Homes homes;
        const auto r = runSorvel({"--plan"}, homes.env(v.variable, v.value(homes)));
        EXPECT_EQ(r.status, 0) << v.name << r.err;
        EXPECT_NE(r.out.find("thumbnails"), std::string::npos) << v.name << "\n" << r.out;
        for (const char* never : {"Documents", "Music", "flatpak", "Steam", "bob"})
            EXPECT_EQ(r.out.find(never), std::string::npos) << v.name << ": " << never << "\n" << r.out;
    }
}

TEST(EnvironmentReport, TheReportSaysOnceWhichValueWasSetAsideAndWhy) {
    for (const auto& v : kValues) {
        Homes homes;
        const std::string value = v.value(homes);
        const std::string fallback = std::string(v.variable) == "XDG_CACHE_HOME" ? "~/.cache" : "~/.config";
        const auto text = runSorvel({"--report"}, homes.env(v.variable, value));
        ASSERT_EQ(text.status, 0) << v.name << text.err;
        std::string flat = text.out; // the sentence may be wrapped
        for (size_t at = flat.find("\n  "); at != std::string::npos; at = flat.find("\n  ", at))
            flat.replace(at, 3, " ");
        EXPECT_EQ(count(flat, std::string(v.variable) + " (" + value + ") was set aside: " + v.reason +
                                  ". Sorvel uses " + fallback + "."),
                  1u)
            << v.name << "\n" << text.out;
        const auto json = runSorvel({"--report", "--json"}, homes.env(v.variable, value));
        ASSERT_EQ(json.status, 0) << v.name << json.err;
        const auto doc = nlohmann::json::parse(json.out);
        ASSERT_TRUE(doc.contains("setAsideFolders")) << v.name;
        ASSERT_EQ(doc["setAsideFolders"].size(), 1u) << v.name;
        EXPECT_EQ(doc["setAsideFolders"][0]["variable"], v.variable);
        EXPECT_EQ(doc["setAsideFolders"][0]["value"], value);
        EXPECT_EQ(doc["setAsideFolders"][0]["reason"], v.reason);
        // The caches count their own folder once, never the home's or the settings' bytes.
        for (const auto& c : doc["categories"]) {
            if (c["id"] == "caches") {
                EXPECT_EQ(c["bytes"].get<long long>(), allocatedSize(homes.h + "/.cache/thumbnails/large.png"))
                    << v.name;
            }
        }
    }
    // Values that stand say nothing.
    Homes homes;
    const auto r = runSorvel({"--report", "--json"}, homes.env("XDG_CACHE_HOME", homes.root / "elsewhere"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(nlohmann::json::parse(r.out).contains("setAsideFolders"));
}

// ~/.cache a link into the documents (no place of its own): the category, the report and the
// JSON say so and where it points; what lies there is neither counted nor offered; the
// settings beside it still are.
TEST(EnvironmentReport, ALinkInPlaceOfARootIsSaidAndNotFollowed) {
    struct Case {
        const char* name;
        bool dangling;
    };
    for (const Case c : {Case{"to a folder", false}, Case{"to nothing", true}}) {
        Homes homes;
        const std::string disk = homes.h + "/Documents/cache";
        if (!c.dangling) writeFileOfSize(disk + "/thumbnails/big.png", 7'000'000);
        runCommand({"/bin/rm", "-rf", homes.h + "/.cache"});
        ASSERT_EQ(::symlink(disk.c_str(), (homes.h + "/.cache").c_str()), 0);
        writeFileOfSize(homes.h + "/.config/app/settings", 40'000);
        const auto env = homes.env("XDG_CACHE_HOME", "");
        const auto text = runSorvel({"--report"}, env);
        ASSERT_EQ(text.status, 0) << c.name << text.err;
        EXPECT_NE(text.out.find("(~/.cache is a link to " + disk + ", not followed)"), std::string::npos)
            << c.name << "\n" << text.out;
        EXPECT_EQ(text.out.find("thumbnails"), std::string::npos) << c.name << "\n" << text.out;
        const auto json = runSorvel({"--report", "--json"}, env);
        ASSERT_EQ(json.status, 0) << c.name << json.err;
        const auto doc = nlohmann::json::parse(json.out);
        bool said = false;
        for (const auto& category : doc["categories"]) {
            if (category["id"] == "caches") {
                ASSERT_TRUE(category.contains("links")) << c.name;
                EXPECT_EQ(category["links"][0]["path"], homes.h + "/.cache");
                EXPECT_EQ(category["links"][0]["target"], disk);
                EXPECT_EQ(category["links"][0]["followed"], false);
                EXPECT_EQ(category["bytes"], 0);
                EXPECT_EQ(category["files"], 0);
                said = true;
            }
            if (category["id"] == "otherLibrary") {
                EXPECT_EQ(category["bytes"].get<long long>(), allocatedSize(homes.h + "/.config/app/settings"));
            }
        }
        EXPECT_TRUE(said) << c.name << "\n" << json.out;
        EXPECT_TRUE(doc["recommendations"].empty() || json.out.find("thumbnails") == std::string::npos) << c.name;
    }
}
