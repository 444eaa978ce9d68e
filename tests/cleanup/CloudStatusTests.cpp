// iCloud state from the account list and the Messages sync database, and the caveat.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/PlistFiles.h"
#include "cleanup/CloudStatus.h"
#include "engine/Bytes.h"
#include "platform/Path.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

std::string service(const std::string &id, const std::string &extra = "") {
    return "<dict>" + key("ServiceID", text(id)) + extra + "</dict>";
}

void writeAccounts(const FakeHome &home, const std::string &accountsXML) {
    writeFile(home / "Library/Preferences/MobileMeAccounts.plist",
              xmlPlist(key("Accounts", "<array>" + accountsXML + "</array>")));
}

std::string account(const std::string &id, const std::string &services) {
    return "<dict>" + key("AccountID", text(id)) + key("Services", "<array>" + services + "</array>") +
           "</dict>";
}

void setModified(const std::string &path, Date when) {
    struct timespec times[2];
    auto secs = std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count();
    times[0] = {static_cast<time_t>(secs), 0};
    times[1] = times[0];
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

} // namespace

TEST(CloudDetection, NoAccountListMeansNoAccount) {
    FakeHome home;
    writeFile(home / "Library/Messages/Sync/sync.db", "data"); // not looked at
    CloudStatus s = CloudDetector::detect();
    EXPECT_FALSE(s.accountID.has_value());
    EXPECT_FALSE(s.driveEnabled);
    for (const CloudService *svc : {&s.messages, &s.desktopAndDocuments, &s.photos}) {
        EXPECT_EQ(svc->state, CloudState::off);
        EXPECT_TRUE(svc->isDefinitive);
        EXPECT_EQ(svc->evidence, std::vector<std::string>{"No iCloud account is signed in on this computer."});
    }
    EXPECT_EQ(s.messages.name, "Messages in iCloud");
    EXPECT_EQ(s.desktopAndDocuments.name, "Desktop & Documents");
    EXPECT_EQ(s.photos.name, "iCloud Photos");
}

TEST(CloudDetection, OnlyTheFirstAccountCounts) {
    FakeHome home;
    writeAccounts(home, "<dict>" + key("Services", "<array/>") + "</dict>" + account("b@example.com", ""));
    EXPECT_FALSE(CloudDetector::detect().accountID.has_value());
    EXPECT_EQ(CloudDetector::detect().messages.state, CloudState::off);
}

TEST(CloudDetection, UnreadableOrMalformedAccountListIsUnknownNotAbsent) {
    FakeHome home;
    const std::string list = home / "Library/Preferences/MobileMeAccounts.plist";
    for (const std::string &contents : {std::string("<?xml version=\"1.0\"?><plist><dict><key>Acc"),
                                        std::string("<?xml version=\"1.0\"?><plist><array/></plist>")}) {
        writeFile(list, contents);
        CloudStatus s = CloudDetector::detect();
        EXPECT_FALSE(s.accountID.has_value());
        for (const CloudService *svc : {&s.messages, &s.desktopAndDocuments, &s.photos}) {
            EXPECT_EQ(svc->state, CloudState::unknown);
            EXPECT_FALSE(svc->isDefinitive);
            EXPECT_EQ(svc->evidence.size(), 1u);
        }
        auto caveat = s.caveat(home / "Library/Messages/Attachments/00");
        ASSERT_TRUE(caveat.has_value());
        EXPECT_TRUE(caveat->isBlocking);
    }
    // A list the user cannot read: still unknown, still blocking.
    writeAccounts(home, account("a@example.com", ""));
    chmod(list.c_str(), 0600);
    int status = runAsUnprivileged([] {
        CloudStatus s = CloudDetector::detect();
        auto caveat = s.caveat(homeDirectory() + "/Library/Messages/x");
        return s.messages.state == CloudState::unknown && caveat && caveat->isBlocking ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

TEST(CloudDetection, DesktopAndDocumentsStatus) {
    FakeHome home;
    writeAccounts(home, account("a@example.com",
                                service("com.apple.Dataclass.CloudDesktop", key("status", text("active")))));
    CloudStatus s = CloudDetector::detect();
    EXPECT_EQ(s.accountID, "a@example.com");
    EXPECT_EQ(s.desktopAndDocuments.state, CloudState::on);
    EXPECT_TRUE(s.desktopAndDocuments.isDefinitive);
    EXPECT_EQ(s.desktopAndDocuments.evidence,
              std::vector<std::string>{"iCloud account reports Desktop & Documents as \"active\"."});

    writeAccounts(home, account("a@example.com",
                                service("com.apple.Dataclass.CloudDesktop", key("status", text("paused")))));
    s = CloudDetector::detect();
    EXPECT_EQ(s.desktopAndDocuments.state, CloudState::off);
    EXPECT_EQ(s.desktopAndDocuments.evidence[0], "iCloud account reports Desktop & Documents as \"paused\".");

    writeAccounts(
        home, account("a@example.com", service("com.apple.Dataclass.CloudDesktop") + "<string>odd</string>"));
    s = CloudDetector::detect();
    EXPECT_EQ(s.desktopAndDocuments.state, CloudState::unknown); // services not all dictionaries: none listed

    writeAccounts(home, account("a@example.com", "<dict/>" + service("com.apple.Dataclass.CloudDesktop")));
    s = CloudDetector::detect();
    EXPECT_EQ(s.desktopAndDocuments.state, CloudState::off);
    EXPECT_EQ(s.desktopAndDocuments.evidence[0],
              "iCloud account reports Desktop & Documents as \"inactive\".");
}

TEST(CloudDetection, PhotosAndDrive) {
    FakeHome home;
    writeAccounts(
        home, account("a", service("com.apple.Dataclass.Photos") + service("com.apple.Dataclass.Ubiquity")));
    CloudStatus s = CloudDetector::detect();
    EXPECT_EQ(s.photos.state, CloudState::unknown);
    EXPECT_FALSE(s.photos.isDefinitive);
    EXPECT_FALSE(s.driveEnabled); // no local folder
    EXPECT_EQ(s.desktopAndDocuments.state, CloudState::unknown);
    EXPECT_TRUE(s.desktopAndDocuments.evidence.empty());
    makeDirs(home / "Library/Mobile Documents");
    EXPECT_TRUE(CloudDetector::detect().driveEnabled);

    writeAccounts(home, account("a", ""));
    s = CloudDetector::detect();
    EXPECT_EQ(s.photos.state, CloudState::off);
    EXPECT_EQ(s.photos.evidence,
              std::vector<std::string>{"The iCloud account does not list a Photos service."});
    EXPECT_FALSE(s.driveEnabled);
}

TEST(MessagesDetection, FolderDatabaseAndLog) {
    FakeHome home;
    writeAccounts(home, account("a", service("com.apple.Dataclass.Messages")));
    CloudStatus s = CloudDetector::detect();
    EXPECT_EQ(s.messages.state, CloudState::unknown);
    EXPECT_EQ(s.messages.evidence,
              std::vector<std::string>{"Could not read ~/Library/Messages \u2014 it is missing, or this user may not read it."});

    writeFile(home / "Library/Messages/Sync/sync.db", "");
    s = CloudDetector::detect();
    EXPECT_EQ(s.messages.state, CloudState::off);
    EXPECT_EQ(s.messages.evidence,
              (std::vector<std::string>{
                  "No Messages sync database at ~/Library/Messages/Sync/sync.db.",
                  "Your iCloud account supports Messages, but nothing on this computer is syncing."}));

    writeFile(home / "Library/Messages/Sync/sync.db", std::string(3000, 'x'));
    s = CloudDetector::detect();
    EXPECT_EQ(s.messages.state, CloudState::on);
    EXPECT_FALSE(s.messages.isDefinitive);
    EXPECT_EQ(s.messages.evidence,
              std::vector<std::string>{"Messages keeps a " + Bytes::format(3000) +
                                       " CloudKit sync database at ~/Library/Messages/Sync/sync.db."});

    const std::string wal = home / "Library/Messages/Sync/sync.db-wal";
    writeFile(wal, "");
    Date now = sorvel::now();
    setModified(wal, now - std::chrono::hours(47));
    EXPECT_EQ(CloudDetector::detect(now).messages.evidence.at(1),
              "Its write-ahead log was updated today, so syncing is active.");
    setModified(wal, now - std::chrono::hours(49));
    EXPECT_EQ(CloudDetector::detect(now).messages.evidence.at(1),
              "Its write-ahead log was last written 2 days ago.");
}

// A Messages folder the user cannot look into says nothing about syncing: unknown, and
// removals under it stay blocked, whether or not a database is hidden inside.
TEST(MessagesDetection, AClosedFolderIsUnknownNotOff) {
    FakeHome home;
    writeAccounts(home, account("a", service("com.apple.Dataclass.Messages")));
    const std::string folder = home / "Library/Messages";
    for (const bool withDatabase : {false, true}) {
        makeDirs(folder + "/Sync");
        if (withDatabase) writeFile(folder + "/Sync/sync.db", std::string(3000, 'x'));
        ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
        const int status = runAsUnprivileged([] {
            const CloudStatus s = CloudDetector::detect();
            const auto caveat = s.caveat(homeDirectory() + "/Library/Messages/Attachments");
            if (s.messages.state != CloudState::unknown) return 1;
            if (s.messages.evidence !=
                std::vector<std::string>{"Could not read ~/Library/Messages \u2014 it is missing, or this user may not read it."})
                return 2;
            return caveat && caveat->isBlocking ? 0 : 3;
        });
        EXPECT_EQ(status, 0) << (withDatabase ? "with" : "without") << " a database; 1: state, 2: evidence, 3: caveat";
        ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
    }
}

TEST(MessagesCaveat, FollowsTheMessagesState) {
    FakeHome home;
    CloudStatus s;
    s.messages.state = CloudState::unknown;
    auto c = s.caveat(home / "Library/Messages/Attachments");
    ASSERT_TRUE(c.has_value());
    EXPECT_TRUE(c->isBlocking);
    EXPECT_EQ(c->text.rfind("Sorvel could not determine whether Messages in iCloud is on.", 0), 0u);
    EXPECT_NE(c->text.find("Check Settings \u2192 your name \u2192 iCloud on a device signed in to your account before acting."),
              std::string::npos);

    s.messages.state = CloudState::off;
    s.messages.isDefinitive = true;
    c = s.caveat(home / "Library/MessagesArchive"); // a plain text prefix is enough
    ASSERT_TRUE(c.has_value());
    EXPECT_FALSE(c->isBlocking);
    EXPECT_EQ(c->text.rfind("Messages in iCloud looks like it is OFF (no iCloud account on this computer), so", 0), 0u)
        << "no account, so no iCloud settings were read";
    s.accountID = "someone@example.org";
    EXPECT_EQ(s.caveat(home / "Library/Messages")->text.rfind(
                  "Messages in iCloud looks like it is OFF (read from your iCloud settings), so", 0),
              0u);

    s.messages.state = CloudState::on;
    s.messages.isDefinitive = false;
    c = s.caveat(home / "Library/Messages");
    ASSERT_TRUE(c.has_value());
    EXPECT_TRUE(c->isBlocking);
    EXPECT_EQ(
        c->text.rfind("Messages in iCloud looks like it is ON (inferred \u2014 verify before acting).", 0),
        0u);

    EXPECT_FALSE(s.caveat(home / "Library/Mail/x").has_value());
}
