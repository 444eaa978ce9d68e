// A sweep of folders from a folder the user added moves them into the Trash from outside
// every root: each is walked where it landed, all in one fold. What the fold works out of the
// scope (its categories, where their roots lie) it works out once, however many folders came,
// and the Trash then reads what a fresh walk of it reads.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "engine/FileWalker.h"
#include "engine/MultiRootScan.h"
#include "models/ScanCoordinator.h"
#include "models/ToolFixtures.h"
#include "platform/Path.h"
#include "platform/Trash.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

struct Fold {
    uint64_t resolutions = 0;
    std::string disagreement; // the Trash and the header against the disk; empty when they agree
};

Fold sweepOf(int folders, std::optional<bool> kind) {
    ToolMachine machine;
    const std::string added = machine.home("/Projects/build-output"), trash = Trash::directory() + "/files";
    writeFileOfSize(trash + "/old", 10'000);
    for (int i = 0; i < folders; ++i) {
        writeFileOfSize(added + "/d" + std::to_string(i) + "/inner/f", 4096 * (i + 1));
        writeFileOfSize(added + "/d" + std::to_string(i) + "/g", 100);
    }
    auto services = ScanCoordinator::Services::standard();
    services.recommend = [](const ScanResult&) { return std::vector<CleanupItem>{}; };
    ScanCoordinator coordinator(services);
    coordinator.setLiveUpdatesEnabled(false);
    coordinator.start();
    Fold fold;
    if (!waitUntil([&] { return coordinator.phase() == ScanCoordinator::Phase::done; })) {
        fold.disagreement = "the scan did not end";
        return fold;
    }
    MovedItems::Moves moves;
    for (int i = 0; i < folders; ++i) {
        const std::string name = "/d" + std::to_string(i);
        EXPECT_EQ(std::rename((added + name).c_str(), (trash + name).c_str()), 0);
        moves.push_back({added + name, trash + name, 4096 * (i + 1), kind, nullptr});
    }
    bool folded = false;
    const uint64_t before = pathResolutions();
    coordinator.foldMoves(std::move(moves), [&] { folded = true; });
    if (!waitUntil([&] { return folded; }, 60'000)) fold.disagreement = "the fold did not end";
    fold.resolutions = pathResolutions() - before;

    std::ostringstream out;
    ScanControl control;
    const ScanNodePtr disk = FileWalker::walk(trash, control, MultiRootScan::walkOptions(trash, ScanScope::systemData));
    const ScanNodePtr shown = coordinator.result().node(trash);
    if (!disk || !shown) out << "the Trash is " << (disk ? "not shown" : "not on disk");
    else if (shown->size != disk->size || shown->fileCount != disk->fileCount || shown->dirCount != disk->dirCount)
        out << "the Trash shows " << shown->size << " B " << shown->fileCount << " files " << shown->dirCount
            << " folders, the disk " << disk->size << " B " << disk->fileCount << " files " << disk->dirCount << " folders";
    int64_t total = 0;
    for (const auto& category : coordinator.result().categories)
        for (const auto& root : category.roots) total += root->size;
    if (total != coordinator.scannedBytes()) out << "; categories sum to " << total << ", the header says " << coordinator.scannedBytes();
    fold.disagreement += out.str();
    return fold;
}

} // namespace

TEST(FoldOutsideRoots, WorksOutTheScopeOnceAFoldAndReadsAsAFreshWalk) {
    // The mover may know the items for folders, or not know their kind.
    for (const std::optional<bool> kind : {std::optional<bool>(true), std::optional<bool>()}) {
        const Fold few = sweepOf(2, kind), many = sweepOf(26, kind);
        const char* named = kind ? "folders" : "of unknown kind";
        EXPECT_EQ(few.disagreement, "") << "2 items " << named;
        EXPECT_EQ(many.disagreement, "") << "26 items " << named;
        // Less than one path resolution more for each item more: none is worked out again per item.
        EXPECT_LT(many.resolutions, few.resolutions + 24)
            << "items " << named << ": 2 took " << few.resolutions << " resolutions, 26 took " << many.resolutions;
    }
}
