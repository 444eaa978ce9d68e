// A run is its mover's, whichever process moves it: while another process moves it, this
// one neither tidies, settles nor puts it back as cut short; once that process is killed,
// every one of them treats it as cut short.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "RunHome.h"
#include "removal/CrashedRuns.h"
#include "removal/MountRig.h"
#include "platform/RunLock.h"
#include "platform/Trash.h"

using namespace sorvel;

namespace {

// A mover in a process of its own, held at its first move until it is killed (or until
// this process ends: its end of the pipe then closes and the child leaves).
class ChildMover {
public:
    // `move` runs in the child and calls `hold()` where the move is to stop.
    explicit ChildMover(const std::function<void(const std::function<void()>& hold)>& move) {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            move([&] {
                const char c = 1;
                (void)!::write(ready[1], &c, 1);
                char got;
                (void)!::read(release[0], &got, 1); // never written: until killed
                ::_exit(3);
            });
            ::_exit(4); // never held
        }
        ::close(ready[1]);
        ::close(release[0]);
        release_ = release[1];
        pollfd p{ready[0], POLLIN, 0};
        char c = 0;
        holding_ = pid_ > 0 && ::poll(&p, 1, 30'000) == 1 && ::read(ready[0], &c, 1) == 1;
        ::close(ready[0]);
    }
    ~ChildMover() { kill(); }
    bool holding() const { return holding_; }
    void kill() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        ::close(release_);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool holding_ = false;
};

// A run of two folders moved the way every screen moves, held before its first move.
void moveHeld(const test::RunHome& home, const std::function<void()>& hold) {
    auto request = home.request(home.folders(2));
    request.mover = [&](auto&&...) {
        hold();
        return std::vector<CleanupOutcome>{};
    };
    RemovalRun::moveAndRecord(std::move(request));
}

// A sweep of an own folder that moves, held once its first item is in the Trash.
void sweepHeld(const test::RunHome& home, const std::function<void()>& hold) {
    home.folders(2);
    int renames = 0; // the hook is called through copies of it
    Trash::setPauseHook([&](Trash::Pause pause) {
        if (pause == Trash::Pause::beforeRenameIn && ++renames == 2) hold();
    });
    (void)test::sweepOnly({home.work}, SweepSchedule::Action::clean);
}

struct Look {
    const char* name;
    std::function<void(const test::RunHome&, const std::function<void()>&)> move;
    // True when this process took the run as cut short (and acted on it where it acts).
    std::function<bool()> takesAsCutShort;
};

const Look kLooks[] = {
    {"the tidy at the start", moveHeld, [] { return CrashedRuns::tidy().runsRewritten == 1; }},
    {"the history as shown", moveHeld,
     [] {
         const auto stored = SweepHistory::load();
         return CrashedRuns::settled(stored) != stored;
     }},
    {"the put back's check", moveHeld, [] { return !RemovalRun::isMoving(SweepHistory::load().at(0).id); }},
    {"the last sweep's settling", sweepHeld, [] { return CrashedRuns::settleLastSweep().has_value(); }},
};

} // namespace

TEST(RunOwner, ARunAnotherProcessMovesIsLeftAloneUntilThatProcessIsGone) {
    for (const auto& look : kLooks) {
        SCOPED_TRACE(look.name);
        test::RunHome home;
        ChildMover mover([&](const std::function<void()>& hold) { look.move(home, hold); });
        ASSERT_TRUE(mover.holding());
        const auto stored = SweepHistory::load();
        const auto receipt = SweepReceipt::loadLast();
        ASSERT_EQ(stored.size(), 1u);
        ASSERT_FALSE(stored[0].finished);
        EXPECT_FALSE(look.takesAsCutShort()) << "while its mover lives";
        EXPECT_EQ(SweepHistory::load(), stored) << "nothing rewritten";
        EXPECT_EQ(SweepReceipt::loadLast(), receipt);
        mover.kill();
        EXPECT_TRUE(look.takesAsCutShort()) << "once its mover is gone";
    }
}

// Every surface reads a lock file that is not a plain one as held: nothing is tidied.
TEST(RunOwner, ALockFileThatIsNotOneKeepsTheRunAsItIs) {
    test::RunHome home;
    SweepRun run;
    run.finished = false;
    run.moved.push_back({home.work + "/d0", "", 1, std::nullopt});
    ASSERT_TRUE(SweepHistory::store(run));
    const std::string lock = RunLock::folderPath() + "/run-" + run.id.uuidString() + ".lock";
    for (const auto& [name, make] : std::initializer_list<std::pair<const char*, std::function<int()>>>{
             {"a pipe", [&] { return ::mkfifo(lock.c_str(), 0600); }},
             {"a link", [&] { return ::symlink("elsewhere", lock.c_str()); }},
         }) {
        SCOPED_TRACE(name);
        ASSERT_EQ(make(), 0);
        EXPECT_EQ(RunLock::state(run.id.uuidString()), RunLock::State::unknown);
        EXPECT_TRUE(RemovalRun::isMoving(run.id));
        EXPECT_EQ(CrashedRuns::tidy().runsRewritten, 0);
        ::unlink(lock.c_str());
    }
    EXPECT_EQ(CrashedRuns::tidy().runsRewritten, 1);
}
