// `--duplicates`: the copy kept is the oldest outside every folder the cleanup rules offer
// from, judged where it really lies, ages told apart to the nanosecond.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

#include "support/TestSupport.h"

using namespace sorvel::test;

TEST(DuplicatesKeptCopy, TheOldestOutsideThePlacesTheRulesOfferIsKept) {
    struct Case {
        const char* name;
        std::vector<std::tuple<std::string, int, long>> copies; // below the home; seconds, nanoseconds
        std::string kept;                                       // ends the "keep" row's path
        const char* link; // "cache": ~/.cache leads to ~/away; "home": searched through ~/view
    };
    const Case cases[] = {
        {"an older copy in the cache", {{"docs/big", 0, 0}, {".cache/app/big", -5, 0}}, "/docs/big ", ""},
        {"all copies in rules' places", {{".cache/app/big", 0, 0}, {".var/app/o.x.G/big", -5, 0}}, "/o.x.G/big ", ""},
        {"the original older by 5 ns", {{"docs/a.bin", 0, 100}, {"docs/a (copy).bin", 0, 105}}, "/a.bin ", ""},
        {"the copy older by 5 ns", {{"docs/a.bin", 0, 105}, {"docs/a (copy).bin", 0, 100}}, "/a (copy).bin ", ""},
        {"the cache through a link to the home", {{"docs/big", 0, 0}, {".cache/app/big", -5, 0}}, "/docs/big ", "home"},
        {"the cache folder a link", {{"docs/big", 0, 0}, {"away/app/big", -5, 0}}, "/docs/big ", "cache"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHome home;
        for (const auto& [path, seconds, nanoseconds] : c.copies) {
            writeFile(home / path, std::string(1'200'000, 'k'));
            const struct timespec at[2] = {{1'700'000'000 + seconds, nanoseconds},
                                           {1'700'000'000 + seconds, nanoseconds}};
            ASSERT_EQ(::utimensat(AT_FDCWD, (home / path).c_str(), at, 0), 0);
        }
        std::string root = home.path();
        const std::filesystem::path real(root);
        if (c.link == std::string("cache")) {
            std::filesystem::remove_all(home / ".cache");
            ASSERT_EQ(::symlink((home / "away").c_str(), (home / ".cache").c_str()), 0);
        } else if (c.link == std::string("home")) {
            ASSERT_EQ(::symlink(real.parent_path().c_str(), (home / "view").c_str()), 0);
            root = home / "view/" + real.filename().string(); // the home, spelled through ~/view
        }
        const auto r =
            runSorvel({"--duplicates", root}, {{"HOME", home.path()}, {"SORVEL_SYSTEM_ROOT", home.systemRoot()}});
        ASSERT_EQ(r.status, 0) << r.err;
        const size_t at = r.out.find("        keep   ");
        ASSERT_NE(at, std::string::npos) << r.out;
        EXPECT_NE(r.out.substr(at, r.out.find('\n', at) - at).find(c.kept), std::string::npos) << r.out;
    }
}
