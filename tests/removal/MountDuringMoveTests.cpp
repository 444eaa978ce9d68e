// A mount made inside a folder after the guard judged it and before its rename into the
// Trash: the folder must not stay there, where emptying the Trash deletes the mount's files.
// Real mounts, in the test's own mount namespace, of the test's own folders only.
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "platform/Trash.h"
#include "removal/RemovalRun.h"
#include "support/TestSupport.h"

using namespace sorvel;
namespace fs = std::filesystem;

namespace {

struct Home {
    test::FakeHome home;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    std::string h = resolvingExistingPart(home.path()), caches = h + "/Library/Caches", d = caches + "/d";
    std::string trash = h + "/.local/share/Trash";
    Home() {
        test::writeFile(h + "/Pictures/album/photo.jpg", "only copy");
        test::writeFile(d + "/sub/cache.bin", "cache");
    }
};

int failures = 0;
void check(bool ok, const std::string& what) {
    if (!ok) ++failures, std::fprintf(stderr, "failed: %s\n", what.c_str());
}

} // namespace

// The pictures bound on d/sub in the window: d goes back (refused as the guard now would),
// or, where something took its place meanwhile, stays in the Trash with its records and a
// sentence saying where it lies and that it holds a mount.
TEST(MountDuringMove, AFolderThatGainedAMountWhileMovingDoesNotStayInTheTrash) {
    using Then = std::function<void(const Home&)>;
    const std::tuple<const char*, Then> cases[] = {
        {"nothing else", [](const Home&) {}},
        {"its place taken", [](const Home& t) { test::makeDirs(t.d); }},
    };
    for (const auto& [what, then] : cases) {
        Home t;
        const int status = test::inMountNamespace([&] {
            failures = 0;
            bool mounted = false;
            Trash::setPauseHook([&](Trash::Pause at) {
                if (at == Trash::Pause::beforeRenameIn)
                    mounted = ::mount((t.h + "/Pictures").c_str(), (t.d + "/sub").c_str(), nullptr, MS_BIND,
                                      nullptr) == 0;
                if (at == Trash::Pause::afterRenameIn) then(t);
            });
            RemovalRun::Request request;
            request.paths = {{t.d, 0}};
            request.policy = CleanupPolicy::standard().allowing({t.caches});
            const auto result = RemovalRun::moveAndRecord(request);
            Trash::setPauseHook(nullptr);
            if (!mounted) return test::kSkipped;
            const CleanupOutcome& outcome = result.outcomes.at(0);
            const std::string inTrash = t.trash + "/files/d";
            if (test::exists(t.d + "/sub/album/photo.jpg")) { // back in its place
                check(outcome.refusal() && *outcome.refusal() == CleanupGuard::Refusal::protectedPath(t.d + "/sub"),
                      "not refused as holding the mount");
                check(fs::is_empty(t.trash + "/files") && fs::is_empty(t.trash + "/info"), "the Trash not left empty");
                check(result.run.moved.empty(), "the run lists it");
            } else {
                const std::string message = outcome.failure() ? *outcome.failure() : "not failed";
                check(test::exists(inTrash + "/sub/album/photo.jpg") && test::exists(t.trash + "/info/d.trashinfo"),
                      "not in the Trash with its record");
                check(message.find("lies in the Trash at ~/.local/share/Trash/files/d, holding that mount") !=
                          std::string::npos,
                      message);
                check(result.run.moved.size() == 1 && result.run.moved[0].trashPath == inTrash,
                      "the run does not list it for putting back");
            }
            ::umount2(((test::exists(t.d + "/sub/album") ? t.d : inTrash) + "/sub").c_str(), MNT_DETACH);
            return failures;
        });
        if (status == test::kSkipped) GTEST_SKIP() << "cannot bind mount in a mount namespace here (needs root)";
        EXPECT_EQ(status, 0) << what;
        EXPECT_EQ(test::readFile(t.h + "/Pictures/album/photo.jpg"), "only copy");
        EXPECT_EQ(test::exists(t.d + "/sub/cache.bin"), std::string(what) == "nothing else") << what;
    }
}
