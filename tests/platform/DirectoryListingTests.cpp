#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "platform/DirectoryListing.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;
using Type = DirectoryListing::Type;

TEST(DirectoryListing, NamesAndTypesWithoutDotEntries) {
    TempDir dir;
    writeFile(dir / "file", "x");
    makeDirs(dir / "folder");
    ASSERT_EQ(::symlink("file", (dir / "link").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);

    auto listing = DirectoryListing::open(dir.path());
    ASSERT_TRUE(listing);
    std::map<std::string, Type> seen;
    while (auto entry = listing->next()) seen[std::string(entry->name)] = entry->type;
    EXPECT_FALSE(listing->failed());
    // A file system may leave types unknown; where it reports them they must be right.
    const std::map<std::string, Type> expected{
        {"file", Type::regular}, {"folder", Type::directory}, {"link", Type::symlink}, {"pipe", Type::other}};
    ASSERT_EQ(seen.size(), expected.size());
    for (const auto& [name, type] : expected) {
        ASSERT_TRUE(seen.count(name)) << name;
        if (seen[name] != Type::unknown) {
            EXPECT_EQ(seen[name], type) << name;
        }
    }

    auto names = DirectoryListing::names(dir.path());
    ASSERT_TRUE(names);
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, (std::vector<std::string>{"file", "folder", "link", "pipe"}));
}

TEST(DirectoryListing, WhatCannotBeListedGivesNothing) {
    TempDir dir;
    writeFile(dir / "file", "x");
    EXPECT_FALSE(DirectoryListing::open(dir / "missing"));
    EXPECT_FALSE(DirectoryListing::names(dir / "file"));
    EXPECT_FALSE(DirectoryListing::adopt(FileDescriptor()));
    // A descriptor of a file is no folder; it is closed all the same.
    EXPECT_FALSE(DirectoryListing::adopt(FileDescriptor(::open((dir / "file").c_str(), O_RDONLY | O_CLOEXEC))));

    auto adopted =
        DirectoryListing::adopt(FileDescriptor(::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
    ASSERT_TRUE(adopted);
    EXPECT_GE(adopted->descriptor(), 0);
}
