#include <gtest/gtest.h>

#include "models/AccessGrant.h"
#include "models/EventLoop.h"

using namespace sorvel;

namespace {

struct Fake {
    bool granted = false;
    bool bundle = true;
    bool startSucceeds = true;
    int starts = 0;
    int quits = 0;
    std::vector<std::string> opened, revealed, copied;
    AccessGrant::Services services() {
        AccessGrant::Services s;
        s.probe = [this] { return granted; };
        s.runsFromBundle = [this] { return bundle; };
        s.isAdHocSigned = [] { return false; };
        s.bundlePath = [] { return std::string("/Applications/Sorvel.app"); };
        s.openURL = [this](const std::string& u) { opened.push_back(u); };
        s.reveal = [this](const std::string& p) { revealed.push_back(p); };
        s.copy = [this](const std::string& t) { copied.push_back(t); };
        s.startNewInstance = [this] {
            ++starts;
            return startSucceeds;
        };
        s.quit = [this] { ++quits; };
        return s;
    }
};

} // namespace

TEST(AccessGrant, RelaunchQuitsOnlyWhenTheNewInstanceStarted) {
    for (bool succeeds : {true, false}) {
        Fake fake;
        fake.startSucceeds = succeeds;
        AccessGrant grant(fake.services());
        grant.beginWatching();
        ASSERT_TRUE(grant.isWatching());
        fake.granted = true;
        ASSERT_TRUE(test::waitUntil([&] { return fake.starts == 1; }, 5000));
        EXPECT_TRUE(grant.isGranted());
        EXPECT_FALSE(grant.isWatching());
        test::waitUntil([] { return false; }, AccessGrant::kQuitDelayMs + 200);
        EXPECT_EQ(fake.quits, succeeds ? 1 : 0) << succeeds;
        // A failed start leaves the app running and no longer "restarting".
        EXPECT_EQ(grant.isRelaunching(), succeeds);
    }
}

TEST(AccessGrant, WatchesOnlyFromABundleAndOnlyOnce) {
    Fake fake;
    fake.bundle = false;
    AccessGrant outside(fake.services());
    outside.openSettingsAndRevealApp();
    EXPECT_FALSE(outside.isWatching());
    EXPECT_EQ(fake.opened.size(), 1u);
    ASSERT_TRUE(test::waitUntil([&] { return fake.revealed.size() == 1; }, 3000));
    fake.bundle = true;
    AccessGrant inside(fake.services());
    int changes = 0;
    QObject::connect(&inside, &AccessGrant::isWatchingChanged, [&] { ++changes; });
    inside.openSettingsAndRevealApp();
    inside.openSettingsAndRevealApp();
    EXPECT_TRUE(inside.isWatching());
    EXPECT_EQ(changes, 1);
    inside.stopWatching();
    inside.stopWatching();
    EXPECT_FALSE(inside.isWatching());
    inside.copyPath();
    EXPECT_EQ(fake.copied, std::vector<std::string>{"/Applications/Sorvel.app"});
}
