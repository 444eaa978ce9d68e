// The duplicates screen's scans: default ticks, ticking by hand, cancelling and
// superseding scans, and the folder chooser.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include <unistd.h>

#include "analysis/DuplicateFixtures.h"
#include "models/DuplicatesModel.h"
#include "models/ToolFixtures.h"
#include "platform/MountTable.h"

using namespace sorvel;
using namespace sorvel::test;
using Kind = DuplicateGroup::Kind;

namespace {

struct DuplicatesHome {
    ToolMachine machine;
    std::string folder = machine.home("/Dups");

    /// Three independent copies, oldest first: a, b, c.
    void threeCopies(char seed = 'a') {
        const std::string content = patterned(kTwoMB, seed);
        writeDated(folder + "/a.bin", content, 1'400'000'000);
        writeDated(folder + "/b.bin", content, 1'500'000'000);
        writeDated(folder + "/c.bin", content, 1'600'000'000);
    }
    /// Two names of one file.
    void hardLinkPair() {
        writeFile(folder + "/links/one.bin", patterned(kTwoMB, 'h'));
        ASSERT_EQ(::link((folder + "/links/one.bin").c_str(), (folder + "/links/two.bin").c_str()), 0);
    }
};

bool finished(const DuplicatesModel& model) { return !model.isScanning(); }

const DuplicateGroup* groupOf(const DuplicatesModel& model, Kind kind) {
    for (const auto& group : model.report().groups)
        if (group.kind == kind) return &group;
    return nullptr;
}

} // namespace

TEST(DuplicatesModelScan, IndependentCopiesAreTickedButNeverTheKeptOne) {
    DuplicatesHome home;
    home.threeCopies();
    home.hardLinkPair();
    DuplicatesModel model;
    model.scan(home.folder);
    EXPECT_TRUE(model.isScanning());
    EXPECT_EQ(model.stage(), DuplicatesModel::Stage::scanning);
    EXPECT_EQ(model.scannedRoot(), home.folder);
    ASSERT_TRUE(waitFor([&] { return finished(model); }));

    EXPECT_EQ(model.stage(), DuplicatesModel::Stage::results);
    ASSERT_EQ(model.report().groups.size(), 2u);
    const DuplicateGroup* copies = groupOf(model, Kind::independentCopies);
    ASSERT_TRUE(copies);
    EXPECT_EQ(copies->files.front().path, home.folder + "/a.bin");
    EXPECT_EQ(model.selectedPaths(), (std::set<std::string>{home.folder + "/b.bin", home.folder + "/c.bin"}));
    ASSERT_TRUE(groupOf(model, Kind::hardLinks));
    EXPECT_EQ(model.selected().size(), 2u);
    EXPECT_EQ(model.selectedReclaimable(), copies->reclaimable());
}

TEST(DuplicatesModelScan, InAMixedGroupTheExtrasThatFreeStorageAreTicked) {
    DuplicatesHome home;
    const std::string content = patterned(kTwoMB, 'm');
    writeDated(home.folder + "/kept.bin", content, 1'300'000'000);
    writeDated(home.folder + "/own.bin", content, 1'400'000'000);
    writeDated(home.folder + "/name1.bin", content, 1'500'000'000);
    ASSERT_EQ(::link((home.folder + "/name1.bin").c_str(), (home.folder + "/name2.bin").c_str()), 0);
    DuplicatesModel model;
    model.scan(home.folder);
    ASSERT_TRUE(waitFor([&] { return finished(model); }));
    ASSERT_EQ(model.report().groups.size(), 1u);
    EXPECT_EQ(model.report().groups.front().kind, Kind::mixed);
    // Both names of the linked file are extras: together they free it.
    EXPECT_EQ(model.selectedPaths(), (std::set<std::string>{home.folder + "/own.bin", home.folder + "/name1.bin",
                                                            home.folder + "/name2.bin"}));
    EXPECT_EQ(model.selectedReclaimable(), 2 * model.report().groups.front().size);
}

TEST(DuplicatesModelScan, ClonesAndHardLinksGetNoDefaultTicks) {
    uint64_t inode = 0;
    auto file = [&inode](std::string path, int64_t privateSize) {
        DuplicateFile f;
        f.path = std::move(path);
        f.size = 100;
        f.privateSize = privateSize;
        f.inode = ++inode;
        f.linkCount = privateSize < f.size ? 2 : 1; // its other name is elsewhere
        return f;
    };
    DuplicateFinder::Report report;
    report.groups.push_back({"c", {file("/c0", 100), file("/c1", 40), file("/c2", 0)}, 100, Kind::clones});
    report.groups.push_back({"h", {file("/h0", 0), file("/h1", 0)}, 100, Kind::hardLinks});
    report.groups.push_back({"i", {file("/i0", 100), file("/i1", 100), file("/i2", 0)}, 100, Kind::independentCopies});
    EXPECT_EQ(DuplicatesModel::defaultSelection(report), (std::set<std::string>{"/i1"}));

    // In a mixed group a clone that shares all its blocks frees nothing and is not ticked;
    // a real copy beside it is, and a ticked partial clone counts only its own blocks.
    DuplicateFinder::Report mixed;
    auto cloned = [&file](std::string path, int64_t shared) {
        DuplicateFile f = file(std::move(path), 100);
        f.sharedBytes = shared;
        f.cloneID = shared > 0 ? 9 : 0;
        return f;
    };
    mixed.groups.push_back({"m", {cloned("/m0", 100), cloned("/m1", 100), cloned("/m2", 0), cloned("/m3", 30)}, 100,
                            Kind::mixed});
    EXPECT_EQ(DuplicatesModel::defaultSelection(mixed), (std::set<std::string>{"/m2", "/m3"}));
    EXPECT_EQ(DuplicateFinder::bytesFreed({mixed.groups[0].files[2], mixed.groups[0].files[3]}), 170);
}

TEST(DuplicatesModelScan, TogglingByHand) {
    DuplicatesHome home;
    home.threeCopies();
    home.hardLinkPair();
    DuplicatesModel model;
    model.scan(home.folder);
    ASSERT_TRUE(waitFor([&] { return finished(model); }));
    const DuplicateGroup copies = *groupOf(model, Kind::independentCopies);
    const DuplicateGroup links = *groupOf(model, Kind::hardLinks);
    const auto before = model.selectedPaths();

    model.toggle(copies.files[0], copies); // the kept copy
    EXPECT_EQ(model.selectedPaths(), before);
    model.toggle(copies.files[1], copies);
    EXPECT_FALSE(model.selectedPaths().count(copies.files[1].path));
    model.toggle(copies.files[1], copies);
    EXPECT_EQ(model.selectedPaths(), before);

    // A copy in a hard-link group can be ticked by hand; it frees nothing.
    const int64_t reclaimable = model.selectedReclaimable();
    const int64_t apparent = model.selectedApparent();
    model.toggle(links.files[1], links);
    EXPECT_EQ(model.selected().size(), 3u);
    EXPECT_EQ(model.selectedReclaimable(), reclaimable + links.files[1].privateSize);
    EXPECT_EQ(model.selectedApparent(), apparent + links.files[1].size);
}

TEST(DuplicatesModelScan, CancellingTheFirstScanReturnsToIdle) {
    DuplicatesHome home;
    home.threeCopies();
    DuplicatesModel model;
    QSignalSpy reports(&model, &DuplicatesModel::reportChanged);
    model.scan(home.folder);
    model.cancel();
    EXPECT_FALSE(model.isScanning());
    EXPECT_EQ(model.stage(), DuplicatesModel::Stage::idle);
    settle(400);
    EXPECT_EQ(reports.count(), 0);
    EXPECT_EQ(model.stage(), DuplicatesModel::Stage::idle);
}

TEST(DuplicatesModelScan, CancellingARescanBringsBackTheEarlierResultsWithoutTicks) {
    DuplicatesHome home;
    home.threeCopies();
    DuplicatesModel model;
    model.scan(home.folder);
    ASSERT_TRUE(waitFor([&] { return finished(model); }));
    const auto earlier = model.report().groups;
    ASSERT_FALSE(model.selectedPaths().empty());

    model.scan(home.folder);
    model.cancel();
    EXPECT_EQ(model.stage(), DuplicatesModel::Stage::results);
    settle(400);
    EXPECT_EQ(model.report().groups, earlier);
    EXPECT_TRUE(model.selectedPaths().empty());
    EXPECT_EQ(model.stage(), DuplicatesModel::Stage::results);
}

TEST(DuplicatesModelScan, ASecondScanSupersedesTheFirst) {
    DuplicatesHome home;
    home.threeCopies();
    const std::string other = home.machine.home("/Other");
    writeFile(other + "/x.bin", patterned(kTwoMB, 'x'));
    writeFile(other + "/y.bin", patterned(kTwoMB, 'x'));
    DuplicatesModel model;
    QSignalSpy reports(&model, &DuplicatesModel::reportChanged);
    model.scan(home.folder);
    model.scan(other);
    ASSERT_TRUE(waitFor([&] { return finished(model); }));
    settle(400);
    EXPECT_EQ(reports.count(), 1);
    ASSERT_EQ(model.report().groups.size(), 1u);
    EXPECT_EQ(model.report().groups.front().files.size(), 2u);
    EXPECT_EQ(model.scannedRoot(), other);
}

TEST(DuplicatesModelScan, WithoutARootTheHomeFolderIsScanned) {
    DuplicatesHome home;
    home.threeCopies();
    DuplicatesModel model;
    model.scan();
    EXPECT_EQ(model.scannedRoot(), home.machine.home());
    ASSERT_TRUE(waitFor([&] { return finished(model); }));
    EXPECT_EQ(model.report().groups.size(), 1u);
}

TEST(DuplicatesModelScan, AnOlderCopyInTheCacheIsNeverTheOneKept) {
    DuplicatesHome home;
    const std::string content = patterned(kTwoMB, 'k');
    writeDated(home.folder + "/big.bin", content, 1'600'000'000);
    writeDated(home.machine.home("/.cache/app/big.bin"), content, 1'400'000'000);
    DuplicatesModel model;
    model.scan();
    ASSERT_TRUE(waitFor([&] { return finished(model); }));
    ASSERT_EQ(model.report().groups.size(), 1u);
    EXPECT_EQ(model.report().groups.front().files.front().path, home.folder + "/big.bin");
    EXPECT_FALSE(model.selectedPaths().count(home.folder + "/big.bin"));
}

TEST(DuplicatesModelScan, TheFolderChooserStartsAScanOnlyWhenConfirmed) {
    DuplicatesHome home;
    home.threeCopies();
    DuplicatesModel model;
    model.chooseFolder(); // no chooser installed: nothing
    EXPECT_EQ(model.stage(), DuplicatesModel::Stage::idle);

    DuplicatesModel::FolderRequest asked;
    model.setFolderChooser([&](const DuplicatesModel::FolderRequest& request) -> std::optional<std::string> {
        asked = request;
        return std::nullopt;
    });
    model.chooseFolder();
    EXPECT_EQ(asked.prompt, "Scan");
    EXPECT_EQ(asked.message, "Look for duplicate files inside this folder.");
    EXPECT_EQ(asked.startDirectory, home.machine.home());
    EXPECT_EQ(model.stage(), DuplicatesModel::Stage::idle);
    EXPECT_FALSE(model.scannedRoot());

    model.setFolderChooser([&](const DuplicatesModel::FolderRequest&) { return std::optional(home.folder); });
    model.chooseFolder();
    EXPECT_EQ(model.scannedRoot(), home.folder);
    ASSERT_TRUE(waitFor([&] { return finished(model); }));
    EXPECT_EQ(model.stage(), DuplicatesModel::Stage::results);
}

// Stop during a second search of another folder: the first report stays on screen, so
// the folder line, "Scan again" and the removal policy go back to that report's folder.
TEST(DuplicatesModelScan, StoppingASearchOfAnotherFolderKeepsTheShownReportsFolder) {
    DuplicatesHome home;
    home.threeCopies();
    const std::string other = home.machine.home("/Other");
    writeFile(other + "/x.bin", patterned(kTwoMB, 'x'));
    DuplicatesModel model;
    model.scan(home.folder);
    ASSERT_TRUE(waitFor([&] { return finished(model); }));

    model.scan(other);
    EXPECT_EQ(model.scannedRoot(), other);
    model.cancel();
    EXPECT_EQ(model.stage(), DuplicatesModel::Stage::results);
    EXPECT_EQ(model.scannedRoot(), home.folder);

    // Stopping the very first search leaves no report, so no folder either.
    DuplicatesModel fresh;
    fresh.scan(other);
    fresh.cancel();
    EXPECT_EQ(fresh.stage(), DuplicatesModel::Stage::idle);
    EXPECT_FALSE(fresh.scannedRoot().has_value());
}

// What the move would refuse starts unticked, cannot be ticked, and carries the guard's reason.
TEST(DuplicatesModelScan, CopiesTheGuardRefusesAreNotTickedAndSayWhy) {
    ToolMachine machine;
    const std::string content = patterned(kTwoMB, 'p');
    writeDated(machine.home("/IMG_0001.jpg"), content, 1'400'000'000);
    writeDated(machine.home("/Pictures/IMG_0001 copy.jpg"), content, 1'500'000'000);
    writeDated(machine.home("/Downloads/IMG_0001 (1).jpg"), content, 1'600'000'000);
    DuplicatesModel model;
    model.scan(std::nullopt);
    ASSERT_TRUE(waitFor([&] { return finished(model); }));
    ASSERT_EQ(model.report().groups.size(), 1u);
    const DuplicateGroup group = model.report().groups.front();
    const std::string pictures = machine.home("/Pictures/IMG_0001 copy.jpg");
    const std::string downloads = machine.home("/Downloads/IMG_0001 (1).jpg");
    // The copy in the pictures is the one kept: both others may go.
    const std::set<std::string> ticks{machine.home("/IMG_0001.jpg"), downloads};
    EXPECT_EQ(model.selectedPaths(), ticks);
    EXPECT_EQ(model.refusals(), (std::map<std::string, std::string>{{pictures, "protected location (~/Pictures)"}}));
    model.toggle(group.files[0], group);
    EXPECT_EQ(model.selectedPaths(), ticks);
}

// "Scan home folder" keeps the copy `--duplicates` keeps: one Sorvel never moves, else one in
// the document folders, whatever their ages; the other is ticked.
TEST(DuplicatesModelScan, TheCopyNeverMovedOrInTheDocumentsIsKeptAsOnTheCommandLine) {
    const struct {
        const char* name;
        std::string kept, other; // below the home; the other copy is the older
    } cases[] = {
        {"a document and an older download", "/Documents/a.odt", "/Downloads/a.odt"},
        {"a picture and an older download", "/Pictures/p.jpg", "/Downloads/p.jpg"},
    };
    for (const auto& c : cases) {
        ToolMachine machine;
        const std::string content = patterned(kTwoMB, 'k');
        writeDated(machine.home(c.kept), content, 1'500'000'000);
        writeDated(machine.home(c.other), content, 1'400'000'000);
        DuplicatesModel model;
        model.scan();
        ASSERT_TRUE(waitFor([&] { return finished(model); })) << c.name;
        ASSERT_EQ(model.report().groups.size(), 1u) << c.name;
        EXPECT_EQ(model.report().groups.front().files.front().path, resolvingExistingPart(machine.home(c.kept))) << c.name;
        EXPECT_EQ(model.selectedPaths(), std::set<std::string>{resolvingExistingPart(machine.home(c.other))}) << c.name;
    }
}
