// An app whose identity could not be read is still installed: what is matched to another
// app by less than that app's whole identifier may be the unread app's, and is marked so.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

#include "analysis/AppFixtures.h"
#include "analysis/AppInventory.h"

using namespace sorvel;
using test::FakeMachine;

TEST(AppUnknownIdentity, LeftoversMatchedByLessThanTheWholeIdentifierAreInDoubt) {
    struct Case {
        const char* name;
        std::function<void(FakeMachine&)> make;
        bool unknown; // an app of unknown identity is installed
    };
    const std::vector<Case> cases{
        {"every app read", [](FakeMachine&) {}, false},
        {"a bundle whose Contents is unreadable",
         [](FakeMachine& m) { ::chmod((m.app("Locked", "com.acme.locked") + "/Contents").c_str(), 0700); }, true},
        {"an Info.plist this user may not read",
         [](FakeMachine& m) { ::chmod((m.app("Private", "com.acme.private") + "/Contents/Info.plist").c_str(), 0600); },
         true},
        {"a malformed Info.plist",
         [](FakeMachine& m) {
             test::makeBundle(m.system("/Applications"), "Broken.app", std::string("<plist><dict><key>"));
         },
         true},
        {"an applications folder that cannot be listed",
         [](FakeMachine& m) {
             test::makeBundle(m.home("/Applications"), "Hidden.app", std::nullopt);
             ::chmod(m.home("/Applications").c_str(), 0311);
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMachine m;
        m.app("Anvil", "com.acme.anvil");
        const std::string support = m.home("/Library/Application Support/");
        for (const char* entry : {"com.acme.anvil", "com.acme.anvil.helper", "anvil"})
            test::writeFileOfSize(support + entry + "/data", 4096);
        c.make(m);
        const auto places = m.places();
        // The child reports, as bits, which matches were in doubt (1 exact, 2 prefix, 4 name),
        // and 8 when the unread places found disagree with the case.
        const int status = test::runAsUnprivileged([&] {
            ScanControl control;
            std::vector<std::string> unread;
            const auto apps = AppInventory::scan(control, places, unread);
            int bits = unread.empty() == c.unknown ? 8 : 0;
            for (const auto& app : apps) {
                if (app.name != "Anvil") continue;
                if (app.leftovers.size() != 3) return 100;
                for (const auto& l : app.leftovers) {
                    if (!l.ownerInDoubt) continue;
                    using K = AppLeftover::Match::Kind;
                    bits |= l.match.kind == K::exactIdentifier ? 1 : l.match.kind == K::identifierPrefix ? 2 : 4;
                }
            }
            return bits;
        });
        EXPECT_EQ(status, c.unknown ? 2 | 4 : 0);
        ::chmod(m.home("/Applications").c_str(), 0755);
    }
}

TEST(AppUnknownIdentity, DiscoveryMarksTheAppsWhoseIdentifierCouldNotBeRead) {
    FakeMachine m;
    m.app("Fine", "com.acme.fine");
    test::makeBundle(m.system("/Applications"), "Bare.app", std::nullopt);
    test::makeBundle(m.system("/Applications"), "Broken.app", std::string("not a plist"));
    const std::string locked = m.app("Locked", "com.acme.locked");
    ::chmod((locked + "/Contents").c_str(), 0700);
    const auto places = m.places();
    const int status = test::runAsUnprivileged([&] {
        std::vector<std::string> unlisted;
        const auto apps = AppInventory::discover(places, &unlisted);
        std::string unread;
        for (const auto& app : apps)
            if (app.identityUnread) unread += app.name + (app.infoRefused ? "(refused) " : " ");
        return unread == "Broken Locked(refused) " && unlisted.empty() ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}
