// `--report` and `--apps` end to end, as an unprivileged user, with an app whose identity
// could not be read: no support folder is claimed as a removed app's, and both say why.
#include <gtest/gtest.h>

#include <unistd.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include <functional>

#include "support/PlistFiles.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

std::string info(const std::string& identifier) { return xmlPlist(key("CFBundleIdentifier", text(identifier))); }

void bundle(const std::string& path, const std::optional<std::string>& plist) {
    makeDirs(path + "/Contents/MacOS");
    if (plist) writeFile(path + "/Contents/Info.plist", *plist);
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

} // namespace

TEST(UnreadAppsReport, NoSupportFolderIsClaimedWhileAnAppCouldNotBeRead) {
    struct Case {
        const char* name;
        std::function<void(const std::string& apps)> make;
        std::string unreadPlace; // as the note names it; empty when every app was read
    };
    const std::vector<Case> cases{
        {"every app read", [](const std::string& a) { bundle(a + "/Locked.app", info("com.acme.other")); }, ""},
        {"Contents unreadable",
         [](const std::string& a) {
             bundle(a + "/Locked.app", info("com.acme.Locked"));
             ::chmod((a + "/Locked.app/Contents").c_str(), 0700);
         },
         "~/Applications/Locked.app"},
        {"Info.plist unreadable",
         [](const std::string& a) {
             bundle(a + "/Locked.app", info("com.acme.Locked"));
             ::chmod((a + "/Locked.app/Contents/Info.plist").c_str(), 0600);
         },
         "~/Applications/Locked.app"},
        {"malformed Info.plist", [](const std::string& a) { bundle(a + "/Locked.app", std::string("<plist><dict>")); },
         "~/Applications/Locked.app"},
        {"applications folder that cannot be listed",
         [](const std::string& a) {
             bundle(a + "/Locked.app", info("com.acme.Locked"));
             ::chmod(a.c_str(), 0311);
         },
         "~/Applications"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHome home;
        const std::string apps = home / "Applications";
        writeFileOfSize(home / "Library/Application Support/com.acme.Locked/data", 6'000'000);
        // The user's own, as in a home: another user's folder could never be emptied from the Trash.
        ASSERT_EQ(::lchown((home / "Library/Application Support/com.acme.Locked").c_str(), 65534, 65534), 0);
        // An app read whole, with a support folder named by more than its identifier.
        bundle(apps + "/Anvil.app", info("com.acme.anvil"));
        writeFileOfSize(home / "Library/Caches/com.acme.anvil.helper/blob", 8192);
        c.make(apps);
        // The leftover and the Trash's folder the user's: a move of it could go.
        for (const std::string& path : {home / "Library/Application Support/com.acme.Locked", home / ".local/share"})
            ASSERT_EQ(runCommand({"/bin/chown", "65534:65534", path}).status, 0);
        const bool unread = !c.unreadPlace.empty();
        const bool anvilSeen = c.unreadPlace != "~/Applications";
        const std::map<std::string, std::string> env{{"HOME", home.path()}};
        // The child reports each surface that disagrees with the case as a bit.
        const int status = runAsUnprivileged([&] {
            int wrong = 0;
            const auto text = runSorvel({"--report"}, env);
            const std::string note = "Some apps could not be read (" + c.unreadPlace + ")";
            if (text.status != 0) return 100;
            if (contains(text.out, "Leftovers from removed apps \u2014 none offered") != unread) wrong |= 1;
            if (contains(text.out, note) != unread) wrong |= 1;
            if (contains(text.out, "com.acme.Locked") == unread) wrong |= 2;

            const auto json = runSorvel({"--report", "--json"}, env);
            const auto document = nlohmann::json::parse(json.out, nullptr, false);
            if (json.status != 0 || document.is_discarded()) return 101;
            bool withheld = false, offered = false;
            for (const auto& item : document["recommendations"]) {
                if (item["id"] != "leftovers") continue;
                withheld = item.contains("withheld") && contains(item["withheld"].get<std::string>(), note);
                offered = !item["targets"].empty();
            }
            if (withheld != unread || offered == unread || document.contains("unreadApps") != unread) wrong |= 4;

            const auto listing = runSorvel({"--apps"}, env);
            if (listing.status != 0) return 102;
            if (contains(listing.out, note) != unread) wrong |= 8;
            if (anvilSeen && contains(listing.out, "(may be an unread app's)") != unread) wrong |= 16;
            return wrong;
        });
        EXPECT_EQ(status, 0);
        ::chmod(apps.c_str(), 0755);
    }
}
