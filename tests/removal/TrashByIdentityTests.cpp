// The trash folders are places by what they are, like the protected ones: a second name
// for one (a bind mount, a link) is that trash, and a sweep of it would take the trashed
// items out of every file manager's view.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>

#include "platform/MountTable.h"
#include "removal/CleanupGuard.h"
#include "removal/OwnFolder.h"
#include "removal/SweepRunner.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::CleanupGuard::Refusal;

TEST(TrashByIdentity, TheTrashUnderAnyNameIsNoOwnFolderAndNothingOfItMoves) {
    test::FakeHome home;
    test::ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    test::TempDir mnt;
    const std::string h = resolvingExistingPart(home.path()), m = resolvingExistingPart(mnt.path());
    const std::string share = h + "/.local/share", trash = share + "/Trash", uid = std::to_string(::geteuid());
    const std::string volume = m + "/vol", volumeTrash = volume + "/.Trash-" + uid;
    test::writeFile(trash + "/files/old/photo.jpg", "trashed, not gone");
    test::writeFile(trash + "/info/old.trashinfo", "[Trash Info]\nPath=/x\nDeletionDate=2026-01-01T00:00:00\n");
    test::makeDirs(share + "/app");
    test::makeDirs(h + "/Projects");
    ASSERT_EQ(::symlink(trash.c_str(), (h + "/Projects/to-trash").c_str()), 0);
    for (const char* d : {"/t", "/s", "/vol", "/vt"}) test::makeDirs(m + d);

    const std::string is = "is a Trash folder (", inside = "is inside a Trash folder (", holds = "holds a Trash folder (";
    const int status = test::inMountNamespace([&] {
        if (::mount(trash.c_str(), (m + "/t").c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(share.c_str(), (m + "/s").c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount("tmpfs", volume.c_str(), "tmpfs", 0, "size=1m") != 0)
            return test::kSkipped;
        test::writeFile(volumeTrash + "/files/x/data", "trashed on that disk");
        if (::mount(volumeTrash.c_str(), (m + "/vt").c_str(), nullptr, MS_BIND, nullptr) != 0) return test::kSkipped;
        int failed = 0;
        const auto check = [&](bool ok, const std::string& what) {
            if (!ok) ++failed, std::fprintf(stderr, "failed: %s\n", what.c_str());
        };
        const std::pair<std::string, std::string> folders[] = {
            {trash, is},           {trash + "/files", inside}, {h + "/Projects/to-trash", is},
            {share, holds},        {m + "/t", is},             {m + "/t/files", inside},
            {m + "/s", holds},     {m + "/s/Trash", is},       {m + "/vt", is + volumeTrash},
        };
        for (const auto& [folder, says] : folders) {
            const auto reason = OwnFolder::refusal(folder);
            check(reason && reason->find(says) != std::string::npos, folder + ": " + reason.value_or("accepted"));
        }
        check(!OwnFolder::refusal(share + "/app"), "a folder beside the Trash was refused");
        const std::tuple<std::string, std::string, Refusal> items[] = {
            {m + "/t", m + "/t/files", Refusal::insideTrash()},
            {m + "/s", m + "/s/Trash", Refusal::insideTrash()},
            {h + "/Projects", h + "/Projects/to-trash/files", Refusal::insideTrash()},
        };
        for (const auto& [root, item, refusal] : items) {
            const auto judged = CleanupGuard::check(item, 0, CleanupPolicy::standard().allowing({root}), {});
            check(judged == refusal, item + ": " + (judged ? judged->description() : "passed"));
        }
        SweepSchedule stored;
        stored.rules = SweepSchedule::RuleSelection::only({});
        stored.action = SweepSchedule::Action::clean;
        stored.folders = {m + "/t"};
        const auto swept = SweepRunner::run(stored, SweepRun::Trigger::scheduled, CloudStatus{});
        check(swept.receipt.movedCount == 0, "a stored sweep of the Trash's bind moved something");
        check(!test::exists(m + "/t/.Trash-" + uid), "a Trash was made inside the Trash");
        return failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(test::readFile(trash + "/files/old/photo.jpg"), "trashed, not gone");
    EXPECT_TRUE(test::exists(trash + "/info/old.trashinfo"));
}
