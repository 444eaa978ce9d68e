// Which note a well-known path gets, and which rule wins when several could apply.
#include <gtest/gtest.h>

#include "engine/PathKnowledge.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {
std::string titleOf(const std::string& path) {
    auto note = PathKnowledge::note(path);
    return note ? note->title : "(none)";
}
} // namespace

TEST(PathKnowledge, ExactNotesWinOverBucketsAndNames) {
    test::ScopedEnv home("HOME", std::string("/Users/u"));
    EXPECT_EQ(titleOf("/Users/u/Library/Messages"), "Messages");
    EXPECT_EQ(titleOf("/Users/u/Library/Messages/Attachments"), "Message attachments");
    auto chat = PathKnowledge::note("/Users/u/Library/Messages/chat.db");
    ASSERT_TRUE(chat);
    EXPECT_EQ(chat->verdict, PathNote::Verdict::keep);
    EXPECT_EQ(*chat->guidance, "Never delete this. Removing it wipes your message history.");
}

TEST(PathKnowledge, HashBucketsAtTwoLevelsOnly) {
    test::ScopedEnv home("HOME", std::string("/Users/u"));
    const std::string bucket = "Hash bucket, not a folder of anything";
    EXPECT_EQ(titleOf("/Users/u/Library/Messages/Attachments/3f"), bucket);
    EXPECT_EQ(titleOf("/Users/u/Library/Messages/Attachments/3f/07"), bucket);
    EXPECT_EQ(titleOf("/Users/u/Library/Messages/Attachments/A"), bucket);
    EXPECT_EQ(titleOf("/Users/u/Library/Messages/Attachments/"), bucket);
    EXPECT_EQ(titleOf("/Users/u/Library/Messages/Attachments/3f/07/IMG"), "(none)");
    EXPECT_EQ(titleOf("/Users/u/Library/Messages/Attachments/3fa"), "(none)");
    EXPECT_EQ(titleOf("/Users/u/Library/Messages/Attachments/3g"), "(none)");
    // Falls through to the name rules.
    EXPECT_EQ(titleOf("/Users/u/Library/Messages/Attachments/3f/07/Caches"), "Cache");
}

TEST(PathKnowledge, PrefixNotesAndTheirOrder) {
    test::ScopedEnv home("HOME", std::string("/Users/u"));
    auto exact = PathKnowledge::note("/Users/u/Library/Caches/org.swift.swiftpm");
    auto below = PathKnowledge::note("/Users/u/Library/Caches/org.swift.swiftpm/repositories");
    ASSERT_TRUE(exact && below);
    EXPECT_EQ(exact->title, below->title);
    EXPECT_NE(exact->what, below->what);
    EXPECT_EQ(titleOf("/Users/u/Library/Containers/com.docker.docker/Data/vms/0"), "Docker disk image");
    // A plain text prefix: no "/" needed after it.
    EXPECT_EQ(titleOf("/Users/u/Library/Caches/pip-tools"), "pip cache");
    EXPECT_EQ(titleOf("/Users/u/.local/share/Trash/files/old.zip"), "Trash");
    // A prefix beats a folder name.
    EXPECT_EQ(titleOf("/Users/u/Library/Caches/Homebrew/Logs"), "Homebrew downloads");
}

TEST(PathKnowledge, FolderNamesAnywhereAndCaseMatters) {
    test::ScopedEnv home("HOME", std::string("/Users/u"));
    EXPECT_EQ(titleOf("/opt/thing/Logs"), "Logs");
    EXPECT_EQ(titleOf("/Users/u/Library/Application Support/App/logs"), "Logs");
    EXPECT_EQ(titleOf("/opt/thing/LOGS"), "(none)");
    EXPECT_EQ(titleOf("/Users/u/Library/Application Support/Slack/Service Worker"), "Service worker storage");
    EXPECT_EQ(titleOf("/Users/u/Library/Application Support/Slack/Code Cache/"), "Compiled JavaScript cache");
}

TEST(PathKnowledge, NoFirmlinkResolution) {
    EXPECT_EQ(titleOf("/private/var/vm"), "Virtual memory");
    EXPECT_EQ(titleOf("/var/vm"), "(none)");
}

TEST(PathKnowledge, ASiblingOfTheHomeShortensToNothingUseful) {
    test::ScopedEnv home("HOME", std::string("/Users/u"));
    EXPECT_EQ(titleOf("/Users/uv/Library/Messages"), "(none)");
}
