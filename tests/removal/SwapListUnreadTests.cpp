// While the kernel's list of swap files cannot be read, any file may be a swap file in use:
// the policy fails closed and every mover refuses, saying why; a list read again protects
// by name as before.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "cleanup/CloudStatus.h"
#include "platform/LinuxPlaces.h"
#include "removal/CleanupGuard.h"
#include "removal/CleanupPolicy.h"
#include "removal/OwnFolder.h"
#include "support/TestSupport.h"

using namespace sorvel;
using Refusal = CleanupGuard::Refusal;

TEST(SwapListUnread, EveryMoveFailsClosedWhileTheListCannotBeRead) {
    struct Case {
        const char* name;
        std::string table; // "" for no list at all
        mode_t mode;
        bool refusedForAll;
    };
    const Case cases[] = {
        {"no list: no swap files", "", 0644, false},
        {"a readable list", "Filename Type Size Used Priority\n", 0644, false},
        {"a list this user may not read", "Filename Type Size Used Priority\n/swapfile file 4 0 -2\n", 0, true},
    };
    for (const auto& c : cases) {
        test::FakeHome home;
        test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
        const std::string sys = home.systemRoot();
        if (!c.table.empty()) {
            test::writeFile(sys + "/proc/swaps", c.table);
            ASSERT_EQ(::chmod((sys + "/proc/swaps").c_str(), c.mode), 0);
        }
        const std::string cached = home.path() + "/.cache/thumbnails";
        test::writeFile(cached + "/a.png", "p");
        test::writeFile(sys + "/swapfile", std::string(4096, 's'));
        // As the user: root reads any file, so the list is unreadable only to someone else.
        const int status = test::runAsUnprivileged([&] {
            LinuxPlaces::ScopedSystemRoot root(sys);
            const CleanupPolicy policy = CleanupPolicy::standard();
            const auto refusal = CleanupGuard::check(cached, 0, policy, CloudStatus{});
            int wrong = 0;
            if (policy.swapsUnknown.has_value() != c.refusedForAll) wrong |= 1;
            if (c.refusedForAll) {
                if (!refusal || refusal->kind != Refusal::Kind::swapsUnknown) wrong |= 2;
                else if (refusal->description().find("swap") == std::string::npos ||
                         refusal->description().find(LinuxPlaces::swapTable().substr(sys.size())) == std::string::npos)
                    wrong |= 4;
                // A sweep of the user's own folder says so too.
                const auto own = OwnFolder::refusal(home.path() + "/.cache");
                if (!own || own->find("swap") == std::string::npos) wrong |= 8;
            } else if (refusal && refusal->kind == Refusal::Kind::swapsUnknown) {
                // Refused or not for other reasons (the user may not write root's folder), never for this.
                wrong |= 16;
            }
            return wrong;
        });
        EXPECT_EQ(status, 0) << c.name;
    }
}
