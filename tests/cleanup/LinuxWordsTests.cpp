// On a Linux home (no ~/Library) every text Sorvel shows describes Linux: each rule's title,
// evidence line, place and targets, each target's explanation, every advice card, every
// category's blurb and the note of every place. None names the other system's tools or
// places.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "ResultBuilder.h"
#include "cleanup/Advice.h"
#include "cleanup/CleanupFinder.h"
#include "cleanup/LinuxAdvice.h"
#include "cleanup/TargetExplainer.h"
#include "engine/DisplayCategory.h"
#include "engine/MultiRootScan.h"
#include "engine/PathKnowledge.h"
#include "engine/ScanControl.h"
#include "platform/LinuxPlaces.h"
#include "support/TestSupport.h"

using namespace sorvel;
namespace fs = std::filesystem;

namespace {

// Every Linux place Sorvel knows, each holding enough to be offered where a rule offers it.
struct EveryLinuxPlace {
    test::MemoryScratch scratch;
    test::FakeHome home;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    test::TempDir bin;
    test::ScopedEnv path{"PATH", bin.path()};
    std::string h = home.path(), sys = home.systemRoot();

    EveryLinuxPlace() {
        // Every tool any text may name, so every text is said in full.
        for (const char* tool : {"apt", "journalctl", "logrotate", "coredumpctl", "flatpak", "snap", "pip", "go",
                                 "yarn", "npm", "ccache", "docker", "brew", "swapon"})
            test::writeScript(bin, tool, "exit 0");
        test::writeFileOfSize(h + "/.cache/thumbnails/large/a.png", 5'000'000);
        test::writeFile(h + "/.cache/obexd/photo.jpg", "sent over Bluetooth");
        test::writeFile(h + "/.cache/google-chrome/Default/Cache/data", "page");
        test::writeFile(h + "/.cache/mozilla/firefox/abc.default/cache2/entry", "page");
        for (const auto& folder : LinuxPlaces::developerFolders())
            test::writeFileOfSize(folder.path + "/item/blob", 1'000'000);
        // An installed Flatpak app, a Flatpak browser and an app installed nowhere.
        for (const char* part : {"cache/blob", "data/brush", "config/prefs"})
            test::writeFileOfSize(h + "/.var/app/org.gimp.GIMP/" + part, 5'000'000);
        test::makeDirs(sys + "/var/lib/flatpak/app/org.gimp.GIMP");
        test::writeFile(h + "/.var/app/org.mozilla.firefox/cache/entry", "page");
        test::writeFile(h + "/.var/app/org.mozilla.firefox/.mozilla/profile/places", "history");
        test::makeDirs(sys + "/var/lib/flatpak/app/org.mozilla.firefox");
        test::writeFileOfSize(h + "/.var/app/com.example.Gone.App/data/blob", 5'000'000);
        // An installed snap and one installed nowhere.
        test::writeFile(h + "/snap/firefox/common/.cache/entry", "page");
        test::makeDirs(sys + "/snap/firefox");
        test::writeFileOfSize(h + "/snap/gone-snap/12/blob", 5'000'000);
        for (const char* file :
             {"/.local/share/app/db", "/.local/share/flatpak/app/readme", "/.local/share/keyrings/login.keyring",
              "/.local/share/evolution/mail/local/inbox", "/.local/share/Trash/files/old.txt",
              "/.local/share/Trash/info/old.txt.trashinfo", "/.config/app/settings",
              "/.config/chromium/Default/Preferences", "/.local/state/app/history", "/.mozilla/firefox/p/places",
              "/.thunderbird/p/Mail/inbox", "/.ssh/id_ed25519", "/.gnupg/pubring.kbx", "/.pki/nssdb/cert9.db",
              "/.password-store/site.gpg", "/.cargo/bin/cargo", "/.rustup/settings.toml",
              "/.m2/repository/local.jar", "/.android/avd/phone.avd/userdata.img"})
            test::writeFile(h + file, "x");
        test::writeFileOfSize(sys + "/var/log/journal/abc/system.journal", 1'000'000);
        test::writeFile(sys + "/var/log/syslog.2.gz", "old");
        test::writeFileOfSize(sys + "/var/cache/apt/archives/p.deb", 1'000'000);
        test::writeFileOfSize(sys + "/var/crash/app.crash", 1'000'000);
        test::writeFileOfSize(sys + "/var/lib/systemd/coredump/core.app.1", 1'000'000);
        test::writeFileOfSize(sys + "/swapfile", 100'000);
        test::writeFile(sys + "/proc/swaps", "Filename Type Size Used Priority\n/swapfile file 100 0 -2\n");
    }

    // Every folder and file of the home and the system tree, the places themselves first.
    std::vector<std::string> everyPath() const {
        std::vector<std::string> paths;
        for (auto kind : {LinuxPlaces::Kind::caches, LinuxPlaces::Kind::appSupport, LinuxPlaces::Kind::containers,
                          LinuxPlaces::Kind::developer, LinuxPlaces::Kind::mail, LinuxPlaces::Kind::logs,
                          LinuxPlaces::Kind::swap, LinuxPlaces::Kind::otherLibrary})
            for (auto& root : LinuxPlaces::roots(kind)) paths.push_back(std::move(root));
        for (const auto& top : {h, sys})
            for (const auto& entry : fs::recursive_directory_iterator(top)) paths.push_back(entry.path().string());
        return paths;
    }
};

// The other system's tools and places, as words: no Linux text may hold one.
const char* const kOtherSystem[] = {
    "Xcode", "xcrun", "simctl", "~/Library", "/Library", "iCloud", "Messages", "chat.db", "sleep image",
    "App Store", "app store", "Safari", "macOS", "Finder", "TestFlight", "keychain", "DerivedData",
    "erived data", "iPhone", "iOS", "dSYM", "Application Support", "Photos", "unified"};

// Each offending word with where it was said.
std::vector<std::string> otherSystemWords(const std::string& where, const std::string& text) {
    std::vector<std::string> found;
    for (const char* word : kOtherSystem)
        if (text.find(word) != std::string::npos) found.push_back(where + " names \"" + word + "\": " + text);
    static const std::regex mac("\\bMacs?\\b");
    if (std::regex_search(text, mac)) found.push_back(where + " names a Mac: " + text);
    return found;
}

void collect(std::vector<std::string>& found, const std::string& where, const std::string& text) {
    for (auto& word : otherSystemWords(where, text)) found.push_back(std::move(word));
}

void collect(std::vector<std::string>& found, const std::string& where, const std::vector<AdviceItem>& cards) {
    for (const auto& card : cards) {
        collect(found, where + " card", card.title);
        collect(found, where + " card " + card.title, card.rationale);
        collect(found, where + " card " + card.title, card.command.value_or(""));
        collect(found, where + " card " + card.title, card.condition.value_or(""));
    }
}

CloudStatus messagesIn(CloudState state) {
    CloudStatus cloud;
    cloud.messages.state = state;
    return cloud;
}

} // namespace

// The test's own word list catches what it is meant to: the other system's texts.
TEST(LinuxWords, TheWordListCatchesTheOtherSystemsTexts) {
    const std::pair<std::string, bool> rows[] = {
        {"Xcode caches nothing depends on", true},
        {"Clearing ~/Library/Caches wholesale is fine", true},
        {"Leave swap and the sleep image alone", true},
        {"Sandboxed storage for App Store and system apps.", true},
        {"clean your Mac", true},
        {"Developer tool caches", false},
        {"Machines and macros", false},
        {"Clear the cache folder app by app, not wholesale", false},
    };
    for (const auto& [text, offending] : rows) EXPECT_EQ(!otherSystemWords("row", text).empty(), offending) << text;
}

TEST(LinuxWords, EveryTextShownForALinuxHomeDescribesLinux) {
    EveryLinuxPlace home;
    ScanControl control;
    const ScanResult result = MultiRootScan::scanSynchronously(control, ScanScope::systemData);
    std::vector<std::string> found;

    const auto items = CleanupFinder::recommendations(result);
    std::set<std::string> rules;
    for (const auto& item : items) {
        rules.insert(item.id);
        const std::string where = "rule " + item.id;
        for (const auto& text : {item.title, item.detail, item.locationLabel, item.externalAction.value_or("")})
            collect(found, where, text);
        for (const auto& target : item.targets) {
            collect(found, where + " target", target.name + " " + target.detail.value_or(""));
            const auto said = TargetExplainer::explain(target.path, target.detail);
            const auto plain = TargetExplainer::explain(target.path, std::nullopt);
            for (const auto& e : {said, plain}) collect(found, where + " " + target.path, e.what + " " + e.cost.value_or(""));
        }
    }
    // The rules with Linux places to offer here all spoke (Go's module cache is advice only).
    for (const char* id : {"user-caches", "browser-caches", "logs", "developer", "leftovers", "trash"})
        EXPECT_TRUE(rules.count(id)) << id;

    for (const auto& category : DisplayCategory::categories(ScanScope::systemData)) {
        collect(found, "blurb of " + category.id, category.blurb);
        for (auto state : {CloudState::on, CloudState::off, CloudState::unknown})
            collect(found, "advice of " + category.id, AdviceCatalog::advice(category, result, messagesIn(state)));
    }
    // The journal's card at each size it may be said for.
    for (int64_t bytes : {int64_t{0}, int64_t{2} << 30}) {
        const std::string journal = LinuxPlaces::systemLogs() + "/journal";
        auto measured = test::resultWith({test::node(LinuxPlaces::systemLogs(), bytes,
                                                     {test::node(journal, bytes)})});
        if (bytes == 0) measured = ScanResult{};
        if (const auto card = LinuxAdvice::journal(measured)) collect(found, "journal", {*card});
    }

    size_t notes = 0;
    for (const auto& path : home.everyPath()) {
        if (const auto note = PathKnowledge::note(path)) {
            ++notes;
            collect(found, "note of " + path, note->title + " " + note->what + " " + note->guidance.value_or(""));
        }
        const auto e = TargetExplainer::explain(path, std::nullopt);
        collect(found, "explanation of " + path, e.what + " " + e.cost.value_or(""));
    }
    EXPECT_GE(notes, 30u) << "the places were not found where the notes look";
    for (const auto& line : found) ADD_FAILURE() << line;
}
