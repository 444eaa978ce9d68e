// Which advice list a category gets, how the Messages advice follows the iCloud state,
// and which lists keep their identifiers.
#include <gtest/gtest.h>

#include <tuple>

#include "cleanup/Advice.h"
#include "platform/MountTable.h"
#include "platform/Path.h"
#include "support/MountNaming.h"
#include "support/TestSupport.h"

using namespace sorvel;
using Confidence = AdviceItem::Confidence;

namespace {

DisplayCategory storageCategory(StorageCategory s) {
    DisplayCategory d;
    d.id = rawValue(s);
    d.title = d.id;
    d.storage = s;
    return d;
}

DisplayCategory wholeDisk(std::vector<std::string> roots) {
    DisplayCategory d;
    d.id = roots.empty() ? "empty" : roots.front();
    d.roots = std::move(roots);
    return d;
}

CloudStatus messages(CloudState state, bool definitive) {
    CloudStatus c;
    c.accountID = "someone@example.org";
    c.messages.name = "Messages";
    c.messages.state = state;
    c.messages.isDefinitive = definitive;
    return c;
}

// A machine with every tool the advice names, on a file system that makes snapshots.
AdviceSurroundings everything() {
    return {[](const std::string&) { return true; }, true, "/opt/homebrew"};
}

std::vector<AdviceItem> adviceFor(const std::optional<DisplayCategory>& d, const CloudStatus& c = {}) {
    return AdviceCatalog::advice(d, ScanResult{}, c, everything());
}

std::string allText(const std::vector<AdviceItem>& items) {
    std::string out;
    for (const auto& i : items) out += i.title + "\n" + i.rationale + "\n" + i.command.value_or("") + "\n";
    return out;
}

std::vector<std::string> titles(const std::vector<AdviceItem>& items) {
    std::vector<std::string> out;
    for (const auto& i : items) out.push_back(i.title);
    return out;
}

} // namespace

TEST(AdviceCatalog, NoCategoryGivesNothing) {
    EXPECT_TRUE(adviceFor(std::nullopt).empty());
}

TEST(AdviceCatalog, EachStorageCategoryGetsItsListInOrder) {
    struct Case {
        StorageCategory category;
        size_t count;
        std::string first;
        Confidence lastConfidence;
    };
    const Case cases[] = {
        // With every tool on the machine, the caches, containers, developer and logs lists end
        // with the system's own cleanups (apt; Flatpak and snap; Go; the journal and log rotation).
        {StorageCategory::caches, 4, "Let each tool clear its own cache", Confidence::safe},
        {StorageCategory::appSupport, 4, "Keep only the newest backup per device", Confidence::avoid},
        {StorageCategory::containers, 5, "Do not delete containers to free space", Confidence::review},
        {StorageCategory::developer, 5, "Delete DerivedData without ceremony", Confidence::review},
        {StorageCategory::logs, 4, "Logs and crash reports are safe to remove", Confidence::review},
        {StorageCategory::vmSwap, 2, "Leave swap and the sleep image alone", Confidence::safe},
        {StorageCategory::trash, 2, "Empty it", Confidence::safe},
        {StorageCategory::otherLibrary, 2, "Snapshots hold on to deleted files", Confidence::avoid},
    };
    for (const auto& c : cases) {
        auto list = adviceFor(storageCategory(c.category));
        ASSERT_EQ(list.size(), c.count) << rawValue(c.category);
        EXPECT_EQ(list.front().title, c.first);
        EXPECT_EQ(list.back().confidence, c.lastConfidence) << rawValue(c.category);
        for (const auto& i : list) EXPECT_FALSE(i.condition) << i.title;
    }
}

TEST(AdviceCatalog, CommandsKeepTheirExactSpacingAndEscapes) {
    auto caches = adviceFor(storageCategory(StorageCategory::caches));
    EXPECT_EQ(caches[0].command, "brew cleanup    npm cache clean --force    pip cache purge    yarn cache clean");
    EXPECT_FALSE(caches[1].command);
    auto dev = adviceFor(storageCategory(StorageCategory::developer));
    EXPECT_EQ(dev[1].command, "rm -rf ~/Library/Developer/Xcode/iOS\\ DeviceSupport/*");
    auto support = adviceFor(storageCategory(StorageCategory::appSupport));
    EXPECT_EQ(support[0].command, "Remove with the backup program");
    EXPECT_NE(support[3].rationale.find("generic \"clean your Mac\" advice"), std::string::npos);
}

TEST(AdviceCatalog, FixedListsKeepTheirIdentifiers) {
    auto first = adviceFor(storageCategory(StorageCategory::developer));
    auto second = adviceFor(storageCategory(StorageCategory::developer));
    ASSERT_EQ(first.size(), second.size());
    for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(first[i].id, second[i].id);
    // distinct items, distinct identifiers
    EXPECT_NE(first[0].id, first[1].id);
}

TEST(AdviceCatalog, MailAndWholeDiskListsAreMadeAnewEachTime) {
    auto mailA = adviceFor(storageCategory(StorageCategory::mail));
    auto mailB = adviceFor(storageCategory(StorageCategory::mail));
    for (size_t i = 0; i < mailA.size(); ++i) EXPECT_NE(mailA[i].id, mailB[i].id);
    auto usrA = adviceFor(wholeDisk({"/opt"}));
    auto usrB = adviceFor(wholeDisk({"/opt"}));
    ASSERT_EQ(usrA.size(), 1u);
    EXPECT_NE(usrA[0].id, usrB[0].id);
}

TEST(AdviceCatalog, MessagesOnDefinitive) {
    auto list = adviceFor(storageCategory(StorageCategory::mail), messages(CloudState::on, true));
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].title, "Deleting attachments will remove them from every device");
    EXPECT_EQ(list[0].confidence, Confidence::review);
    EXPECT_EQ(list[0].condition,
              "Detected: Messages in iCloud appears to be ON (read from your iCloud settings). Confirm under "
              "Settings \u2192 your name \u2192 iCloud on a device signed in to your account before deleting "
              "anything.");
    EXPECT_EQ(list[0].command,
              "Save what matters, then Messages \u2192 Settings \u2192 General \u2192 Keep Messages \u2192 One Year");
    EXPECT_EQ(titles(list), (std::vector<std::string>{
                                "Deleting attachments will remove them from every device",
                                "Let Messages expire old conversations for you", "Never delete chat.db",
                                "For Mail, change the setting rather than the files"}));
    for (size_t i = 1; i < list.size(); ++i) EXPECT_FALSE(list[i].condition);
    EXPECT_EQ(list[3].confidence, Confidence::safe);
}

TEST(AdviceCatalog, MessagesOffInferred) {
    auto list = adviceFor(storageCategory(StorageCategory::mail), messages(CloudState::off, false));
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].title, "Attachments here are local only");
    EXPECT_FALSE(list[0].command);
    EXPECT_EQ(list[0].condition,
              "Detected: Messages in iCloud appears to be OFF (inferred \u2014 verify before acting).");
}

TEST(AdviceCatalog, MessagesOnInferredAndOffDefinitiveSwapTheParenthesis) {
    auto on = adviceFor(storageCategory(StorageCategory::mail), messages(CloudState::on, false));
    EXPECT_NE(on[0].condition->find("(inferred \u2014 verify before acting)"), std::string::npos);
    auto off = adviceFor(storageCategory(StorageCategory::mail), messages(CloudState::off, true));
    EXPECT_EQ(off[0].condition, "Detected: Messages in iCloud appears to be OFF (read from your iCloud settings).");
}

TEST(AdviceCatalog, MessagesUnknownHasACommandAndNoCondition) {
    auto list = adviceFor(storageCategory(StorageCategory::mail), messages(CloudState::unknown, true));
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].title, "Check Messages in iCloud before deleting attachments");
    EXPECT_EQ(list[0].command, "Settings \u2192 your name \u2192 iCloud on a device signed in to your account");
    EXPECT_FALSE(list[0].condition);
}

TEST(AdviceCatalog, WholeDiskListsChosenByTheFirstRootAsWholeText) {
    EXPECT_EQ(adviceFor(wholeDisk({"/Users", "/x"})).size(), 3u);
    EXPECT_EQ(adviceFor(wholeDisk({"/Applications"})).size(), 2u);
    EXPECT_EQ(adviceFor(wholeDisk({"/System"}))[0].confidence, Confidence::avoid);
    EXPECT_EQ(adviceFor(wholeDisk({"/private"})).size(), 2u);
    EXPECT_EQ(adviceFor(wholeDisk({"/Library"}))[1].command, "launchctl list");
    EXPECT_EQ(adviceFor(wholeDisk({"/opt"}))[0].title, "Let the package manager clean up");
    auto opt = adviceFor(wholeDisk({"/opt"}));
    ASSERT_EQ(opt.size(), 1u);
    EXPECT_EQ(opt[0].command, "brew cleanup --prune=all");
    EXPECT_EQ(adviceFor(wholeDisk({"/cores"}))[0].title, "Core dumps are safe to delete");
    // only the first root decides, and only as the whole text
    EXPECT_TRUE(adviceFor(wholeDisk({"/x", "/Users"})).empty());
    EXPECT_TRUE(adviceFor(wholeDisk({"/Users/"})).empty());
    EXPECT_TRUE(adviceFor(wholeDisk({"/usr/local"})).empty());
    EXPECT_TRUE(adviceFor(wholeDisk({"/home"})).empty());
    EXPECT_TRUE(adviceFor(wholeDisk({})).empty());
}

// Homebrew's advice goes to the top folder that holds its prefix, and to no other.
TEST(AdviceCatalog, HomebrewAdviceOnlyWhereHomebrewLives) {
    const std::tuple<std::optional<std::string>, std::string, size_t> cases[] = {
        {"/home/linuxbrew/.linuxbrew", "/usr", 0}, {"/home/linuxbrew/.linuxbrew", "/opt", 0},
        {"/home/linuxbrew/.linuxbrew", "/home", 1}, {"/usr/local", "/usr", 1},
        {"/opt/homebrew", "/usr", 0}, {std::nullopt, "/usr", 0}, {std::nullopt, "/opt", 0},
    };
    for (const auto& [prefix, root, items] : cases) {
        AdviceSurroundings machine = everything();
        machine.homebrewPrefix = prefix;
        const auto list = AdviceCatalog::advice(wholeDisk({root}), ScanResult{}, {}, machine);
        ASSERT_EQ(list.size(), items) << prefix.value_or("no brew") << " " << root;
        if (items == 0) continue;
        EXPECT_NE(list[0].rationale.find("under " + *prefix + " "), std::string::npos) << list[0].rationale;
    }
}

TEST(AdviceCatalog, ToolsNamedAreThoseOnThePath) {
    // Tools on the PATH, the caches command they make, how many items the top folder that
    // holds the PATH's folder gets (brew's prefix is one up from it); /usr and /opt get none.
    const std::tuple<std::vector<std::string>, std::optional<std::string>, size_t> cases[] = {
        {{}, std::nullopt, 0},
        {{"npm", "yarn"}, "npm cache clean --force    yarn cache clean", 0},
        {{"pip"}, "pip cache purge", 0},
        {{"brew", "pip"}, "brew cleanup    pip cache purge", 1},
    };
    for (const auto& [tools, cacheCommand, usrItems] : cases) {
        test::TempDir bin;
        test::writeFile(bin / "brew", "not executable"); // a file named like a tool is not one
        for (const auto& tool : tools) test::writeScript(bin, tool, "exit 0");
        test::ScopedEnv path("PATH", bin.path());
        const auto caches = AdviceCatalog::advice(storageCategory(StorageCategory::caches), ScanResult{}, {});
        EXPECT_EQ(caches.at(0).command, cacheCommand) << tools.size();
        const std::string folder = resolvedPath(bin.path()).value(), top = folder.substr(0, folder.find('/', 1));
        for (const auto& [root, items] : {std::pair{std::string("/usr"), size_t{0}}, {"/opt", 0}, {top, usrItems}}) {
            const auto usr = AdviceCatalog::advice(wholeDisk({root}), ScanResult{}, {});
            EXPECT_EQ(usr.size(), items) << root;
            EXPECT_TRUE(usr.empty() || usr[0].command == "brew cleanup --prune=all") << root;
        }
    }
}

TEST(AdviceCatalog, CachesAdviceNamesNoSystemFolderThisSystemLacks) {
    const std::string text = allText(adviceFor(storageCategory(StorageCategory::caches)));
    for (const char* word : {"/System", "SIP"}) EXPECT_EQ(text.find(word), std::string::npos) << word;
}

// Snapshots hold deleted files only on a file system that makes them: the home's, from
// the mount table.
TEST(AdviceCatalog, SnapshotAdviceOnlyWhereTheHomeKeepsSnapshots) {
    test::FakeHome home;
    test::TempDir tables;
    const test::NamedByListing listing; // the tables below are made by hand
    for (const auto& [type, offered] : std::vector<std::pair<std::string, bool>>{
             {"ext4", false}, {"xfs", false}, {"btrfs", true}, {"bcachefs", true}}) {
        // The whole disk on ext4, the home on its own disk of `type`.
        test::writeFile(tables / type, "21 1 8:1 / / rw - ext4 /dev/sda1 rw\n22 21 8:2 / " + home.path() + " rw - " +
                                           type + " /dev/sda2 rw\n");
        setMountTablePath(tables / type);
        const auto list = AdviceCatalog::advice(storageCategory(StorageCategory::otherLibrary), ScanResult{}, {});
        EXPECT_EQ(allText(list).find("napshot") != std::string::npos, offered) << type;
        // A home without ~/Library: the card about the settings folder.
        EXPECT_EQ(list.back().title, "Settings are tiny \u2014 skip them") << type;
    }
    setMountTablePath("/proc/self/mountinfo");
}

TEST(AdviceCatalog, WithoutAnAccountTheMessagesAdviceSaysSo) {
    CloudStatus none = messages(CloudState::off, true);
    none.accountID.reset();
    const std::string said = adviceFor(storageCategory(StorageCategory::mail), none).at(0).condition.value_or("");
    EXPECT_NE(said.find("(no iCloud account on this computer)"), std::string::npos) << said;
}
