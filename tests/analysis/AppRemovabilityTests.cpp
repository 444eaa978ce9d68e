#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <tuple>

#include "analysis/AppInventory.h"
#include "analysis/AppFixtures.h"
#include "platform/Path.h"

using namespace sorvel;
using test::FakeMachine;
using R = InstalledApp::Removability;

namespace {

const char* kSystemText = "on the sealed system volume \u2014 not removable by anything";

int code(const R& r) {
    switch (r.kind) {
    case R::Kind::sealed: return 10;
    case R::Kind::needsAdministrator: return 11;
    case R::Kind::removable: return 12;
    case R::Kind::selfProtected: return 13;
    }
    return 0;
}

} // namespace

TEST(AppRemovability, SystemApplicationsAreSealedEvenWhenReadable) {
    FakeMachine m;
    const auto path = test::makeBundle(m.system("/System/Applications"), "Clock.app", std::nullopt);
    test::makeBundle(m.system("/System/Applications/Utilities"), "Console.app", std::nullopt);
    auto apps = AppInventory::discover(m.places());
    ASSERT_EQ(apps.size(), 2u);
    for (const auto& a : apps) EXPECT_EQ(a.removability, R::sealed(kSystemText)) << a.bundlePath;
    // The test is on the place, not on the bundle: a vanished bundle there says the same.
    EXPECT_EQ(AppInventory::removability(m.system("/System/Gone.app"), std::nullopt, m.places()),
              R::sealed(kSystemText));
    // A folder that merely starts with the same letters is not the system folder.
    const auto near = test::makeBundle(m.system("/SystemTools"), "Near.app", std::nullopt);
    EXPECT_EQ(AppInventory::removability(near, std::nullopt, m.places()), R::removable());
    (void)path;
}

TEST(AppRemovability, ALinkWithAnAppNameIsSealedEvenWhenItPointsAtAnApp) {
    FakeMachine m;
    const auto real = test::makeBundle(m.home("/Elsewhere"), "Real.app", std::nullopt, 8192);
    ASSERT_EQ(::symlink(real.c_str(), m.system("/Applications/Real.app").c_str()), 0);
    ASSERT_EQ(::symlink("/nonexistent/Dangling.app", m.system("/Applications/Dangling.app").c_str()), 0);
    auto apps = AppInventory::discover(m.places());
    ASSERT_EQ(apps.size(), 2u);
    for (const auto& a : apps)
        EXPECT_EQ(a.removability, R::sealed("a link into the system volume, not an app on this disk")) << a.name;
}

TEST(AppRemovability, AMissingPathCannotBeRead) {
    FakeMachine m;
    EXPECT_EQ(AppInventory::removability(m.system("/Applications/Gone.app"), "a.b", m.places()),
              R::sealed("cannot be read"));
}

TEST(AppRemovability, ThisProgramByIdentifierOrByItsOwnBundle) {
    FakeMachine m;
    const auto mine = m.app("Sorvel", "com.example.sorvel");
    const auto other = m.app("Other", std::nullopt);
    auto places = m.places();
    places.ownIdentifier = "com.example.sorvel";
    EXPECT_EQ(AppInventory::removability(mine, std::string("com.example.sorvel"), places), R::selfProtected());
    EXPECT_EQ(AppInventory::removability(other, std::string("com.example.SORVEL"), places), R::removable());

    // Ahead of every other test: even a bundle under the system folder.
    const auto systemCopy = test::makeBundle(m.system("/System/Applications"), "Sorvel.app", std::nullopt);
    EXPECT_EQ(AppInventory::removability(systemCopy, std::string("com.example.sorvel"), places), R::selfProtected());

    // Running from a bundle without an identifier: that bundle, and a link to it, are us.
    places.ownIdentifier.reset();
    places.ownBundlePath = mine;
    EXPECT_EQ(AppInventory::removability(mine, std::nullopt, places), R::selfProtected());
    EXPECT_EQ(AppInventory::removability(other, std::nullopt, places), R::removable());
}

// Without a bundle of our own there is no identifier to compare with, and an app that
// has none is still not this program.
TEST(AppRemovability, AnAppWithoutIdentifierIsNotThisProgramWhenNeitherHasOne) {
    FakeMachine m;
    const auto path = m.app("Anonymous", std::nullopt);
    auto places = m.places();
    ASSERT_FALSE(places.ownIdentifier);
    EXPECT_EQ(AppInventory::removability(path, std::nullopt, places), R::removable());
    auto apps = AppInventory::discover(places);
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_EQ(apps[0].removability, R::removable());
}

TEST(AppRemovability, StandardPlacesFindNoBundleAroundATestProgram) {
    auto places = AppInventory::Places::standard();
    EXPECT_EQ(places.ownBundlePath, "");
    EXPECT_EQ(places.ownIdentifier, std::nullopt);
    EXPECT_EQ(places.systemPrefix, "/System/");
    ASSERT_EQ(places.searchPaths.size(), 5u);
    EXPECT_EQ(places.searchPaths[2], homeDirectory() + "/Applications");
}

TEST(AppRemovability, AnotherUsersBundleNeedsAnAdministratorUnlessWritable) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to own bundles as another user";
    FakeMachine m;
    const auto locked = m.app("Locked", "a.locked");          // root's, 0755
    const auto open = m.app("Open", "a.open");
    ASSERT_EQ(::chmod(open.c_str(), 0777), 0);                 // root's, writable by all
    const auto group = m.app("Group", "a.group");
    ASSERT_EQ(::chown(group.c_str(), 0, 65534), 0);
    ASSERT_EQ(::chmod(group.c_str(), 0775), 0);                // root's, writable by the group
    const auto own = m.app("Own", "a.own");
    ASSERT_EQ(::chown(own.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(own.c_str(), 0555), 0);                  // the user's, read-only
    const auto places = m.places();
    auto as = [&](const std::string& path) {
        return test::runAsUnprivileged([&] { return code(AppInventory::removability(path, std::nullopt, places)); });
    };
    EXPECT_EQ(as(locked), code(R::needsAdministrator()));
    EXPECT_EQ(as(open), code(R::removable()));
    EXPECT_EQ(as(group), code(R::removable()));
    EXPECT_EQ(as(own), code(R::removable()));
    // Root itself may write anything.
    EXPECT_EQ(AppInventory::removability(own, std::nullopt, places), R::removable());
}

TEST(AppRemovability, TheAdministratorBlockNamesTheAccountThatOwnsTheBundle) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to own bundles as other accounts";
    FakeMachine m;
    const auto places = m.places();
    // Asked as nobody; 65531 is an id no account has.
    for (const auto& [name, uid, owner] : {std::tuple("Root", 0, "root"), std::tuple("Nameless", 65531, "uid 65531")}) {
        const auto path = m.app(name, std::string("a.") + name);
        ASSERT_EQ(::chown(path.c_str(), uid, uid), 0);
        EXPECT_EQ(test::runAsUnprivileged([&] {
            return AppInventory::removability(path, std::nullopt, places) == R::needsAdministrator(owner) ? 0 : 1;
        }), 0) << path << " is not shown as " << owner << "'s";
    }
}
