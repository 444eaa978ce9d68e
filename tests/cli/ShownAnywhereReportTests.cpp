// An offer is what the dry run passes: what any mount shows, and a file system's own Trash,
// are listed refused with the guard's sentence in `--report` (text and JSON) and `--plan`,
// counted in no total, and `--duplicates` never counts a copy a bind mount shows. Real
// mounts, each case in a namespace of its own.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <functional>

#include "engine/Bytes.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

bool contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

std::map<std::string, std::string> envOf(const FakeHome& home) {
    return {{"HOME", home.path()}, {"SORVEL_SYSTEM_ROOT", home.systemRoot()}};
}

// Every offered path and every refused path with its reason, from `--report --json`.
struct Offers {
    std::set<std::string> offered;
    std::map<std::string, std::string> refused;
    long long reclaimable = -1;
};

Offers offersOf(const FakeHome& home) {
    const auto r = runSorvel({"--report", "--json"}, envOf(home));
    Offers o;
    const auto doc = nlohmann::json::parse(r.out, nullptr, false);
    if (doc.is_discarded()) return o;
    o.reclaimable = doc.value("reclaimableBytes", -1LL);
    for (const auto& item : doc["recommendations"]) {
        for (const auto& t : item["targets"]) o.offered.insert(t["path"].get<std::string>());
        if (item.contains("refused"))
            for (const auto& t : item["refused"]) o.refused[t["path"].get<std::string>()] = t["reason"].get<std::string>();
    }
    return o;
}

} // namespace

TEST(ShownAnywhereReport, WhatTheGuardRefusesIsListedRefusedWithItsSentenceAndCountedNowhere) {
    struct Case {
        const char* name;
        std::function<bool(const FakeHome&)> mount; // in the child, after the files are written
        std::vector<std::string> files;             // below the home, 6 MB each
        std::vector<std::string> refused;           // below the home: listed refused, never offered
        std::string says;                           // each one's reason
    } const cases[] = {
        {"a bind of a cache folder's child onto the documents",
         [](const FakeHome& h) { return ::mount((h / ".cache/store/docs").c_str(), (h / "Documents").c_str(), nullptr,
                                                MS_BIND, nullptr) == 0; },
         {".cache/store/docs/thesis.odt"}, {".cache/store"},
         "is what ~/Documents shows (a bind mount), so it is not a cache"},
        {"the cache folder on a tmpfs holding its own Trash and another user's",
         [](const FakeHome& h) {
             if (::mount("tmpfs", (h / ".cache").c_str(), "tmpfs", 0, "size=64m") != 0) return false;
             writeFileOfSize(h / ".cache/.Trash-0/files/old.iso", 6'000'000);
             writeFileOfSize(h / ".cache/.Trash-1234/files/hers.iso", 6'000'000);
             return true;
         },
         {}, {".cache/.Trash-0", ".cache/.Trash-1234"}, "already in the Trash; moving it there again frees nothing"},
    };
    int ran = 0;
    for (const auto& c : cases) {
        FakeHome home;
        makeDirs(home / "Documents");
        for (const auto& file : c.files) writeFileOfSize(home / file, 6'000'000);
        const int status = inMountNamespace([&] {
            if (!c.mount(home)) return kSkipped;
            int wrong = 0;
            const Offers o = offersOf(home);
            const auto report = runSorvel({"--report"}, envOf(home)).out;
            const auto plan = runSorvel({"--plan"}, envOf(home)).out;
            for (const auto& relative : c.refused) {
                const std::string path = home / relative;
                const auto reason = o.refused.find(path);
                wrong += o.offered.count(path) != 0 || reason == o.refused.end() || reason->second != c.says;
                // The plan lists it refused, on one line with its sentence.
                wrong += !contains(lineWith(plan, "~/" + relative + " "), "  " + c.says);
                // In the text report it stands only under REFUSED.
                wrong += report.find("~/" + relative) < report.find("REFUSED");
            }
            wrong += o.reclaimable != 0;
            wrong += !contains(plan, "0 of " + std::to_string(c.refused.size()) + " targets passed");
            if (wrong) std::fprintf(stderr, "%s\n%s\n%s", c.name, report.c_str(), plan.c_str());
            return wrong;
        });
        ran += status != kSkipped;
        EXPECT_TRUE(status == 0 || status == kSkipped) << c.name;
    }
    if (ran == 0) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
}

TEST(ShownAnywhereReport, DuplicatesNeverCountACopyThatABindMountShows) {
    FakeHome home;
    const std::string content(3'000'000, 'd');
    writeFile(home / "Documents/thesis.odt", content);
    writeFile(home / ".cache/x/thesis.odt", content);
    struct timespec old[2] = {{1'400'000'000, 0}, {1'400'000'000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (home / ".cache/x/thesis.odt").c_str(), old, 0), 0); // the older copy
    makeDirs(home / ".cache/docs");
    const int status = inMountNamespace([&] {
        if (::mount((home / "Documents").c_str(), (home / ".cache/docs").c_str(), nullptr, MS_BIND, nullptr) != 0)
            return kSkipped;
        const auto r = runSorvel({"--duplicates", home / ".cache"}, envOf(home));
        const std::string row = lineWith(r.out, "~/.cache/docs/thesis.odt");
        const bool ok = contains(row, "never moved: is inside what ~/.cache/docs shows (a bind mount)") &&
                        !contains(row, "frees ") && contains(row, "keep   "); // the copy that stays is the one kept
        if (!ok) std::fprintf(stderr, "%s\n", r.out.c_str());
        return ok ? 0 : 1;
    });
    if (status == kSkipped) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(exists(home / "Documents/thesis.odt"));
}
