// The run history: its stored form, the three bounds, update in place, entries that
// cannot be read, two processes recording at once, failed saves and exact path bytes.
#include <gtest/gtest.h>

#include <set>
#include <sys/stat.h>

#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/UserDefaults.h"
#include "removal/SweepHistory.h"
#include "platform/Text.h"
#include "platform/Trash.h"
#include "removal/CleanupPolicy.h"
#include "removal/RestoreExecutor.h"
#include "support/ChildProcess.h"
#include "support/MoveToTrash.h"
#include "support/TestSupport.h"

using namespace sorvel;
using json = nlohmann::json;

namespace {

struct Defaults {
    test::FakeHome home;
    test::ScopedEnv xdg{"XDG_CONFIG_HOME", std::nullopt};
};

SweepRun makeRun(const std::string& scope, size_t items) {
    SweepRun run;
    run.trigger = SweepRun::Trigger::manual;
    run.scope = scope;
    run.receipt.date = dateFromUnixSeconds(1'700'000'000);
    run.receipt.action = SweepSchedule::Action::clean;
    run.receipt.movedCount = static_cast<int64_t>(items);
    for (size_t i = 0; i < items; ++i)
        run.moved.push_back({"/home/u/Library/Caches/item" + std::to_string(i), "/home/u/.Trash/item" + std::to_string(i),
                             static_cast<int64_t>(i + 1)});
    return run;
}

UserDefaults historyFile() { return UserDefaults(SweepHistory::filePath()); }
void storeRaw(const json& value) { historyFile().set("SorvelSweepHistory", value); }
json encoded(const std::vector<SweepRun>& runs) {
    json array = json::array();
    for (const auto& run : runs) array.push_back(run.toJSON());
    return array;
}
// Stores the run as the newest and returns the list as stored.
std::optional<std::vector<SweepRun>> record(const SweepRun& run) {
    if (!SweepHistory::store(run)) return std::nullopt;
    return SweepHistory::load();
}

} // namespace

TEST(SweepHistoryCoding, StoredFormAndRoundTrip) {
    Defaults d;
    SweepRun run = makeRun("items you picked", 2);
    run.trigger = SweepRun::Trigger::menuBar;
    run.receipt.withheldReason = "Because.";
    record(run);

    auto stored = historyFile().value("SorvelSweepHistory");
    ASSERT_TRUE(stored && stored->is_array() && stored->size() == 1);
    const json& j = (*stored)[0];
    EXPECT_EQ(j["id"], run.id.uuidString());
    EXPECT_EQ(j["id"].get<std::string>().size(), 36u);
    EXPECT_EQ(j["trigger"], "menuBar");
    EXPECT_EQ(j["scope"], "items you picked");
    EXPECT_EQ(j["hasDetail"], true);
    EXPECT_EQ(j["moved"][1], json::parse(R"({"originalPath": "/home/u/Library/Caches/item1",
                                            "trashPath": "/home/u/.Trash/item1", "size": 2})"));
    EXPECT_EQ(j["receipt"]["withheldReason"], "Because.");

    auto loaded = SweepHistory::load();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0], run);
}

TEST(SweepHistoryCoding, EveryTriggerRoundTrips) {
    for (auto t : {SweepRun::Trigger::scheduled, SweepRun::Trigger::manual, SweepRun::Trigger::menuBar}) {
        SweepRun run = makeRun("x", 1);
        run.trigger = t;
        EXPECT_EQ(SweepRun::fromJSON(json::parse(run.toJSON().dump())), run);
    }
}

TEST(SweepHistoryLoading, AbsentKeyIsEmpty) {
    Defaults d;
    EXPECT_TRUE(SweepHistory::load().empty());
}

TEST(SweepHistoryLoading, OneBadRecordIsSkippedAndTheRestListed) {
    Defaults d;
    const json good = makeRun("good", 1).toJSON();
    std::vector<json> bads;
    for (const char* key : {"id", "trigger", "scope", "receipt", "moved", "hasDetail"}) {
        json missing = good;
        missing.erase(key);
        bads.push_back(missing);
        json null = good;
        null[key] = nullptr;
        bads.push_back(null);
    }
    json trigger = good;
    trigger["trigger"] = "cron";
    bads.push_back(trigger);
    json itemNoSize = good;
    itemNoSize["moved"][0].erase("size");
    bads.push_back(itemNoSize);
    json detailText = good;
    detailText["hasDetail"] = "true";
    bads.push_back(detailText);
    json badId = good;
    badId["id"] = "not-a-uuid";
    bads.push_back(badId);
    json badReceipt = good;
    badReceipt["receipt"].erase("refusedCount");
    bads.push_back(badReceipt);
    json badBytes = good;
    badBytes["moved"][0]["originalPathBytes"] = "not base64!";
    bads.push_back(badBytes);
    bads.push_back(json("a string"));

    for (const auto& bad : bads) {
        storeRaw(json::array({good, bad, good}));
        const auto loaded = SweepHistory::read();
        EXPECT_EQ(loaded.runs.size(), 2u) << bad.dump();
        EXPECT_EQ(loaded.unreadable, 1u) << bad.dump();
    }
    // A value that is no list at all is one entry that cannot be read.
    storeRaw(json::object({{"runs", json::array({good})}}));
    EXPECT_TRUE(SweepHistory::load().empty());
    EXPECT_EQ(SweepHistory::read().unreadable, 1u);

    json extra = good;
    extra["futureKey"] = {1, 2};
    storeRaw(json::array({extra}));
    EXPECT_EQ(SweepHistory::load().size(), 1u);
    EXPECT_EQ(SweepHistory::read().unreadable, 0u);
}

// Nothing this version cannot read is ever dropped: every write puts it back unchanged,
// in its place among the runs, and unknown keys stay on the runs it can read.
TEST(SweepHistoryLoading, UnreadableEntriesSurviveEveryWrite) {
    Defaults d;
    json bad = makeRun("bad", 1).toJSON();
    bad.erase("hasDetail");
    json a = makeRun("a", 1).toJSON();
    a["allowedLater"] = "kept";
    storeRaw(json::array({a, bad}));
    auto stored = [] { return *historyFile().value("SorvelSweepHistory"); };

    EXPECT_TRUE(SweepHistory::forget(UUID::random())); // finds nothing and writes nothing
    EXPECT_EQ(stored(), json::array({a, bad}));

    SweepRun fresh = makeRun("fresh", 1);
    auto saved = record(fresh);
    ASSERT_TRUE(saved);
    ASSERT_EQ(saved->size(), 2u);
    EXPECT_EQ((*saved)[0], fresh);
    EXPECT_EQ(stored(), json::array({fresh.toJSON(), a, bad}));

    SweepRun changed = *SweepRun::fromJSON(a);
    changed.moved.clear();
    ASSERT_TRUE(SweepHistory::store(changed));
    const json after = stored();
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[1]["allowedLater"], "kept");
    EXPECT_TRUE(after[1]["moved"].empty());
    EXPECT_EQ(after[2], bad);

    // Behind a full list it still stays, and is not counted against the bounds.
    json full = json::array();
    for (int i = 0; i < 250; ++i) full.push_back(makeRun("n" + std::to_string(i), 0).toJSON());
    full.push_back(bad);
    storeRaw(full);
    ASSERT_TRUE(record(fresh));
    const auto loaded = SweepHistory::read();
    EXPECT_EQ(loaded.runs.size(), SweepHistory::kMaximumRuns);
    EXPECT_EQ(loaded.unreadable, 1u);
    EXPECT_EQ(loaded.runs.front(), fresh);
    EXPECT_EQ(stored().back(), bad);

    // Clearing forgets the runs it can read, and nothing else.
    ASSERT_TRUE(SweepHistory::clear());
    EXPECT_EQ(stored(), json::array({bad}));
    storeRaw(json::array({fresh.toJSON()}));
    ASSERT_TRUE(SweepHistory::clear());
    EXPECT_FALSE(historyFile().value("SorvelSweepHistory").has_value());
}

TEST(SweepHistoryBounds, ItemsPerRun) {
    Defaults d;
    auto saved = record(makeRun("big", 2500)).value();
    ASSERT_EQ(saved[0].moved.size(), 2000u);
    EXPECT_FALSE(saved[0].hasDetail);
    EXPECT_EQ(saved[0].moved.front().originalPath, "/home/u/Library/Caches/item0");
    EXPECT_EQ(saved[0].moved.back().originalPath, "/home/u/Library/Caches/item1999");
    EXPECT_EQ(SweepHistory::load(), saved);

    saved = record(makeRun("exact", 2000)).value();
    EXPECT_EQ(saved[0].moved.size(), 2000u);
    EXPECT_TRUE(saved[0].hasDetail);
}

TEST(SweepHistoryBounds, DetailOnlyOnTheTwentyNewest) {
    Defaults d;
    std::vector<SweepRun> runs;
    for (int i = 0; i < 20; ++i) runs.push_back(makeRun("run" + std::to_string(i), 3));
    runs.push_back(makeRun("nothing moved", 0));
    runs.push_back(makeRun("oldest", 3));
    storeRaw(encoded(runs)); // positions 0..21

    auto saved = record(makeRun("newest", 3)).value();
    ASSERT_EQ(saved.size(), 23u);
    for (size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(saved[i].moved.size(), 3u) << i;
        EXPECT_TRUE(saved[i].hasDetail) << i;
    }
    EXPECT_EQ(saved[20].scope, "run19");
    EXPECT_TRUE(saved[20].moved.empty());
    EXPECT_FALSE(saved[20].hasDetail);
    EXPECT_EQ(saved[21].scope, "nothing moved");
    EXPECT_TRUE(saved[21].hasDetail); // moved nothing, so nothing was trimmed
    EXPECT_TRUE(saved[22].moved.empty());
    EXPECT_FALSE(saved[22].hasDetail);
    EXPECT_EQ(SweepHistory::load(), saved);
}

TEST(SweepHistoryBounds, AtMostTwoHundredFiftyRuns) {
    Defaults d;
    std::vector<SweepRun> runs;
    for (int i = 0; i < 250; ++i) runs.push_back(makeRun("run" + std::to_string(i), 0));
    storeRaw(encoded(runs));
    auto saved = record(makeRun("newest", 0)).value();
    ASSERT_EQ(saved.size(), 250u);
    EXPECT_EQ(saved.front().scope, "newest");
    EXPECT_EQ(saved.back().scope, "run248");
    EXPECT_EQ(SweepHistory::load().size(), 250u);
}

TEST(SweepHistoryUpdate, ReplacesInPlaceAndForgetsOnlyWhatIsStored) {
    Defaults d;
    SweepRun a = makeRun("a", 2), b = makeRun("b", 2), c = makeRun("c", 2);
    record(a);
    record(b);
    record(c);
    const auto before = SweepHistory::load();

    ASSERT_TRUE(SweepHistory::forget(makeRun("stranger", 1).id));
    EXPECT_EQ(SweepHistory::load(), before);

    SweepRun changed = b;
    changed.moved.pop_back();
    changed.receipt.movedCount = 1;
    ASSERT_TRUE(SweepHistory::store(changed));
    auto after = SweepHistory::load();
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[0], c);
    EXPECT_EQ(after[1], changed);
    EXPECT_EQ(after[2], a);
}

TEST(SweepHistoryConcurrency, RecordsFromTwoThreadsAreAllKept) {
    Defaults d;
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 10; ++i) record(makeRun("t" + std::to_string(t), 1));
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(SweepHistory::load().size(), 20u);
}

// Two processes, each recording 100 runs: every run must be there. A writer that read the
// list before the other wrote it would drop the other's runs.
TEST(SweepHistoryConcurrency, TwoProcessesRecordingKeepEveryRun) {
    Defaults d;
    constexpr int kPerProcess = 100;
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int failed = 0;
            for (int i = 0; i < kPerProcess; ++i)
                if (!record(makeRun("p" + std::to_string(p) + "-" + std::to_string(i), 1))) ++failed;
            _exit(failed == 0 ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        EXPECT_EQ(test::waitForChild(child, test::kChildDeadline), 0);
    }
    const auto loaded = SweepHistory::read();
    EXPECT_EQ(loaded.unreadable, 0u);
    ASSERT_EQ(loaded.runs.size(), 2u * kPerProcess);
    std::set<std::string> scopes;
    for (const auto& run : loaded.runs) scopes.insert(run.scope);
    EXPECT_EQ(scopes.size(), 2u * kPerProcess);
}

// A save that fails is not a success: record, update and clear say so, and nothing
// stored changes.
TEST(SweepHistorySaving, AFailedSaveIsReported) {
    Defaults d;
    SweepRun kept = makeRun("kept", 1);
    ASSERT_TRUE(record(kept));
    const std::string path = UserDefaults::standardFilePath();
    const std::string folder = path.substr(0, path.rfind('/'));
    // The unprivileged child may read, as the owner would; only writing is taken away.
    ::chmod(path.c_str(), 0644);
    ::chmod(SweepHistory::filePath().c_str(), 0644);
    ::chmod(folder.substr(0, folder.rfind('/')).c_str(), 0755);
    ::chmod(folder.c_str(), 0555);
    const int status = test::runAsUnprivileged([&] {
        SweepRun changed = kept;
        changed.moved.clear();
        if (record(makeRun("lost", 1))) return 1;
        if (SweepHistory::store(changed)) return 2;
        if (SweepHistory::clear()) return 3;
        return SweepHistory::load() == std::vector<SweepRun>{kept} ? 0 : 4;
    });
    ::chmod(folder.c_str(), 0700);
    EXPECT_EQ(status, 0);

    test::TempDir dir;
    test::writeFile(dir / "file", "x");
    test::ScopedEnv below("XDG_CONFIG_HOME", dir / "file");
    EXPECT_FALSE(record(makeRun("nowhere", 1)));
    EXPECT_FALSE(SweepHistory::forget(kept.id)); // a store that cannot be read is not "nothing to forget"
}

// Names on disk are bytes. A name that is not UTF-8 is stored with its exact bytes, and a
// restore puts back that very item, not one whose name merely looks the same as text.
TEST(SweepHistoryPaths, BytesThatAreNotUTF8RoundTripAndRestoreExactly) {
    Defaults d;
    test::ScopedEnv data("XDG_DATA_HOME", std::nullopt);
    test::makeDirs(d.home / ".Trash");
    const std::string caches = d.home / "Library/Caches";
    const std::vector<std::string> names{"caf\xe9", "\xff\xfe", "ok \xe2\x82", "plain"};
    for (const auto& name : names) {
        MovedItem item{caches + "/" + name, "/trash/" + name, 3};
        SweepRun run = makeRun("bytes", 0);
        run.moved = {item};
        run.allowedRoots = std::vector<std::string>{"/home/u", caches + "/" + name};
        const json stored = run.toJSON();
        const json& entry = stored["moved"][0];
        EXPECT_TRUE(isValidUTF8(entry["originalPath"].get<std::string>()));
        EXPECT_EQ(entry.contains("originalPathBytes"), !isValidUTF8(name));
        EXPECT_EQ(stored.contains("allowedRootsBytes"), !isValidUTF8(name));
        // Through text and back, as the settings file keeps it.
        EXPECT_EQ(SweepRun::fromJSON(json::parse(stored.dump())), run);

        SweepReceipt::Finding finding{item.originalPath, 3};
        EXPECT_EQ(SweepReceipt::Finding::fromJSON(json::parse(finding.toJSON().dump())), finding);
    }

    // A record written before the bytes were kept still reads as its text.
    json old = makeRun("old", 1).toJSON();
    old["moved"][0]["originalPath"] = "/home/u/caf\uFFFD";
    ASSERT_TRUE(SweepRun::fromJSON(old));
    EXPECT_EQ(SweepRun::fromJSON(old)->moved[0].originalPath, "/home/u/caf\uFFFD");

    // The moved item and a neighbour whose name is the moved name with its bad byte
    // replaced: the restore must bring back the first and leave the second alone.
    const std::string bad = caches + "/caf\xe9";
    const std::string lookalike = caches + "/" + validUTF8("caf\xe9");
    test::writeFile(bad + "/data.bin", "the real one");
    test::writeFile(lookalike + "/data.bin", "a stranger");
    auto movedBad = test::moveToTrash(bad);
    auto movedLookalike = test::moveToTrash(lookalike);
    ASSERT_TRUE(movedBad.moved() && movedLookalike.moved()) << movedBad.error << movedLookalike.error;
    SweepRun run = makeRun("bytes", 0);
    run.moved = {MovedItem{bad, *movedBad.trashPath, 12}};
    ASSERT_TRUE(record(run));

    const auto loaded = SweepHistory::load();
    ASSERT_EQ(loaded.size(), 1u);
    const auto outcomes = RestoreExecutor::run(loaded[0].moved, CleanupPolicy::standard());
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_TRUE(outcomes[0].restored());
    EXPECT_EQ(test::readFile(bad + "/data.bin"), "the real one");
    EXPECT_FALSE(test::exists(lookalike));
    EXPECT_EQ(test::readFile(*movedLookalike.trashPath + "/data.bin"), "a stranger");
}
