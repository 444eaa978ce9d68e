// `--duplicates`: the copy kept is one that stays: the oldest outside every folder the
// cleanup rules offer from, judged where it really lies, ages told apart to the nanosecond.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

constexpr time_t kSecond = 1'700'000'000;

struct Copy {
    std::string path; // below the home
    time_t seconds;
    long nanoseconds;
};

// The path of the "keep" row, as printed.
std::string keptRow(const std::string& out) {
    const size_t at = out.find("        keep   ");
    if (at == std::string::npos) return "";
    return out.substr(at, out.find('\n', at) - at);
}

} // namespace

TEST(DuplicatesKeptCopy, TheCopyKeptIsTheOldestOutsideThePlacesTheRulesOffer) {
    struct Case {
        const char* name;
        std::vector<Copy> copies;
        std::string kept;          // ends the kept row's path
        std::string cacheLinkedTo; // ~/.cache made a link to this folder below the home
        bool rootThroughLink;      // the home searched as spelled through a link
    };
    const Case cases[] = {
        {"an older copy in the cache",
         {{"Documents/work/big.bin", kSecond, 0}, {".cache/app/big.bin", kSecond - 5000, 0}},
         "/Documents/work/big.bin ", "", false},
        {"an older copy in an app's folder left behind",
         {{"Music/big.bin", kSecond, 0}, {".var/app/org.example.Gone/big.bin", kSecond - 5000, 0}},
         "/Music/big.bin ", "", false},
        {"every copy in the rules' places: the oldest of all",
         {{".cache/app/big.bin", kSecond, 0}, {".var/app/org.example.Gone/big.bin", kSecond - 5000, 0}},
         "/.var/app/org.example.Gone/big.bin ", "", false},
        {"outside copies: the oldest of them, not the oldest of all",
         {{"Music/big.bin", kSecond, 0}, {"Documents/big.bin", kSecond - 10, 0}, {".cache/app/big.bin", kSecond - 5000, 0}},
         "/Documents/big.bin ", "", false},
        {"the original a few nanoseconds older",
         {{"Documents/a.bin", kSecond, 100}, {"Documents/a (copy).bin", kSecond, 105}}, "/Documents/a.bin ", "", false},
        {"the copy a few nanoseconds older",
         {{"Documents/a.bin", kSecond, 105}, {"Documents/a (copy).bin", kSecond, 100}}, "/Documents/a (copy).bin ", "",
         false},
        {"the cache reached through a link to the home",
         {{"Documents/work/big.bin", kSecond, 0}, {".cache/app/big.bin", kSecond - 5000, 0}},
         "/Documents/work/big.bin ", "", true},
        {"the cache folder a link to another folder",
         {{"Documents/work/big.bin", kSecond, 0}, {"elsewhere/cache/app/big.bin", kSecond - 5000, 0}},
         "/Documents/work/big.bin ", "elsewhere/cache", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHome home;
        const std::string content(1'200'000, 'k');
        for (const auto& copy : c.copies) {
            writeFile(home / copy.path, content);
            const struct timespec at[2] = {{copy.seconds, copy.nanoseconds}, {copy.seconds, copy.nanoseconds}};
            ASSERT_EQ(::utimensat(AT_FDCWD, (home / copy.path).c_str(), at, 0), 0) << copy.path;
        }
        if (!c.cacheLinkedTo.empty()) {
            std::filesystem::remove_all(home / ".cache");
            ASSERT_EQ(::symlink((home / c.cacheLinkedTo).c_str(), (home / ".cache").c_str()), 0);
        }
        std::string root = home.path();
        if (c.rootThroughLink) {
            // ~/view leads to the folder holding the home: ~/view/<home> is the home.
            const std::filesystem::path real(home.path());
            ASSERT_EQ(::symlink(real.parent_path().c_str(), (home / "view").c_str()), 0);
            root = home / "view/" + real.filename().string();
        }
        const auto r =
            runSorvel({"--duplicates", root}, {{"HOME", home.path()}, {"SORVEL_SYSTEM_ROOT", home.systemRoot()}});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string row = keptRow(r.out);
        EXPECT_NE(row.find(c.kept), std::string::npos) << r.out;
        if (c.rootThroughLink) {
            EXPECT_NE(row.find("~/view/"), std::string::npos) << r.out;
        }
    }
}
