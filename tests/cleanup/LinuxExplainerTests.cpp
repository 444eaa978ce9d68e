// What a target in a Linux place is: its own note, a tool's cache row, the cache folder's
// generic text, or the note of the place it lies in.
#include <gtest/gtest.h>

#include "cleanup/TargetExplainer.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::TargetExplainer::explain;

namespace {

const std::string kGenericCost = "Rebuilt the next time that app needs it.";

std::string generic(const std::string& name) {
    return "Cached data written by " + name +
           ". Caches hold things an app can recreate \u2014 downloads, thumbnails, computed results.";
}

} // namespace

TEST(LinuxExplainer, TargetsInLinuxPlacesAreExplained) {
    test::FakeHome home;
    const std::string h = home.path();
    struct Case {
        std::string path;
        std::string whatBegins; // the explanation's what starts so
        std::optional<std::string> cost;
    };
    const Case cases[] = {
        // Anything in the cache folder or a Flatpak app's is a cache, named by itself.
        {h + "/.cache/some-app", generic("some-app"), kGenericCost},
        {h + "/.cache/some-app/blob.bin", generic("blob.bin"), kGenericCost},
        {h + "/.var/app/org.gimp.GIMP/cache/fontconfig", generic("fontconfig"), kGenericCost},
        // But not what only looks like one: Bluetooth transfers are told by their folder's note.
        {h + "/.cache/obexd/photo.jpg", "One of the items in obexd. Everything sent to this computer over Bluetooth",
         std::nullopt},
        // A developer tool's cache keeps its own row, and what lies in it the tool's note.
        {h + "/.cache/pip", "Downloaded Python wheels", "Safe to remove; costs one slower build or install."},
        {h + "/.cache/pip/http", "One of the items in pip. Downloaded Python wheels",
         "Safe to remove; costs one slower build or install."},
        {h + "/.npm/_cacache/content-v2", "One of the items in _cacache. Every package npm has downloaded",
         "Safe to remove; costs one slower build or install."},
        // The Flatpak and snap apps' folders, by their notes.
        {h + "/.var/app/org.removed.App", "Everything one Flatpak app keeps for you", std::nullopt},
        {h + "/snap/old-snap", "What one snap keeps for you", std::nullopt},
        {h + "/.local/share/some-app", "One of the items in share. Where Linux apps keep data", std::nullopt},
    };
    test::TempDir bin; // no tool on PATH: costs name no command
    test::ScopedEnv path("PATH", bin.path());
    for (const auto& c : cases) {
        const auto e = explain(c.path);
        EXPECT_EQ(e.what.rfind(c.whatBegins, 0), 0u) << c.path << ": " << e.what;
        if (c.cost)
            EXPECT_EQ(e.cost, c.cost) << c.path;
        else
            EXPECT_TRUE(e.cost.has_value()) << c.path;
        // A rule's own detail is the cost whatever the source.
        EXPECT_EQ(explain(c.path, std::string("rule detail")).cost, "rule detail") << c.path;
    }
}
