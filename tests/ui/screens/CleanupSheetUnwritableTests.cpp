// The preview's steps against the real guard and executor, as an ordinary user (uid 65534
// when the suite runs as root): an unwritable target is refused at the dry run, and a move
// the file system rejects ends as "Nothing was moved", never as a success.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "support/ChildProcess.h"
#include "support/TestSupport.h"
#include "ui/screens/CleanupSheetState.h"

using namespace sorvel;
using namespace sorvel::ui;

namespace {

void handOver(const std::string& root) {
    if (geteuid() != 0) return;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (::lchown(entry.path().c_str(), 65534, 65534) != 0) return;
    if (::chown(root.c_str(), 65534, 65534) != 0) return;
}

struct Paths {
    explicit Paths(const std::string& home)
        : caches(home + "/Library/Caches"), locked(caches + "/com.example.locked"),
          stuck(caches + "/com.example.pinned/inner") {}
    std::string caches, locked, stuck;
};

// The user's part, in a process of its own started with HOME at the prepared home.
int asUser() {
    if (!test::becomeUnprivileged()) return 120;
    const auto& [caches, locked, stuck] = Paths(std::getenv("HOME"));
    const std::vector<CleanupExecutor::PathSize> targets = {{locked, 0}, {stuck, 0}};
    CleanupSheetState sheet;
    sheet.dryRunReturned(CleanupExecutor::run(targets, CleanupExecutor::Mode::dryRun, CleanupPolicy::standard(),
                                              std::nullopt));
    int bad = 0;
    if (sheet.refused().size() != 1 || sheet.eligible().size() != 1) bad |= 1;
    if (sheet.subtitle().find("1 item was refused by the safety checks") == std::string::npos) bad |= 2;
    // The folder holding the other target stops taking changes before the move.
    if (::chmod((caches + "/com.example.pinned").c_str(), 0555) != 0) bad |= 4;
    sheet.proceed();
    auto paths = sheet.startMove();
    if (!paths || paths->size() != 1) return bad | 8;
    sheet.moveReturned(CleanupExecutor::run(*paths, CleanupExecutor::Mode::moveToTrash, CleanupPolicy::standard(),
                                            std::nullopt));
    if (sheet.title() != "Nothing was moved") bad |= 16;
    if (sheet.headerSymbol() != CleanupSheetState::HeaderSymbol::warning) bad |= 32;
    if (sheet.amount() != 0) bad |= 64;
    if (sheet.subtitle().find("still recoverable") != std::string::npos) bad |= 128;
    if (!test::exists(stuck + "/blob")) bad |= 256;
    return bad;
}

} // namespace

TEST(CleanupSheetAsUser, UnwritableTargetsAreRefusedAndRejectedMovesAreNotSuccess) {
    if (test::isRole("as user")) test::endAs(asUser());
    test::TempDir home;
    const auto& [caches, locked, stuck] = Paths(home.path());
    test::writeFileOfSize(locked + "/blob", 8000);
    test::writeFileOfSize(stuck + "/blob", 8000);
    test::makeDirs(home / ".local/share");
    test::makeDirs(home / ".config");
    handOver(home.path());
    ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);

    // A new process, not a fork: the executor's locks and queues are this process's too.
    const test::ScopedEnv inHome("HOME", home.path()), data("XDG_DATA_HOME", home / ".local/share"),
        config("XDG_CONFIG_HOME", home / ".config");
    const int failed = test::runTestInNewProcess("as user", std::chrono::minutes(2));
    EXPECT_EQ(failed, 0) << "bit mask of the checks that failed in the child";
}
