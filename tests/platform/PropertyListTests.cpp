#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <future>

#include <plist/plist.h>

#include "platform/PropertyList.h"
#include "support/PlistFiles.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

const char* kInfoXML = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>CFBundleIdentifier</key><string>com.example.Editor</string>
  <key>CFBundleName</key><string>Editor</string>
  <key>Count</key><integer>-42</integer>
  <key>Ratio</key><real>2.5</real>
  <key>Enabled</key><true/>
  <key>When</key><date>2024-01-02T03:04:05Z</date>
  <key>Blob</key><data>AAEC</data>
  <key>List</key><array><string>a</string><integer>7</integer></array>
</dict>
</plist>
)";


void expectInfoValues(const PlistValue& v) {
    ASSERT_TRUE(v.isDictionary());
    EXPECT_EQ(v.stringFor("CFBundleIdentifier"), "com.example.Editor");
    EXPECT_EQ(v.stringFor("CFBundleName"), "Editor");
    ASSERT_NE(v.find("Count"), nullptr);
    EXPECT_EQ(v.find("Count")->integer(), -42);
    EXPECT_EQ(v.find("Count")->real(), -42.0);
    EXPECT_EQ(v.find("Ratio")->real(), 2.5);
    EXPECT_EQ(v.find("Ratio")->integer(), std::nullopt);
    EXPECT_EQ(v.find("Enabled")->boolean(), true);
    ASSERT_TRUE(v.find("When")->date().has_value());
    EXPECT_EQ(unixSeconds(*v.find("When")->date()), 1704164645.0);
    const auto* blob = std::get_if<PlistValue::Data>(&v.find("Blob")->value);
    ASSERT_NE(blob, nullptr);
    EXPECT_EQ(*blob, (PlistValue::Data{0, 1, 2}));
    const auto* list = v.find("List")->array();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[0].string(), "a");
    EXPECT_EQ((*list)[1].integer(), 7);
    EXPECT_EQ(v.find("Missing"), nullptr);
    EXPECT_EQ(v.stringFor("Count"), std::nullopt);
    // Keys stay in file order.
    EXPECT_EQ(v.dictionary()->front().first, "CFBundleIdentifier");
    EXPECT_EQ(v.dictionary()->back().first, "List");
}

} // namespace

TEST(PropertyListParsing, ReadsXML) {
    auto v = PropertyList::parse(kInfoXML);
    ASSERT_TRUE(v.has_value());
    expectInfoValues(*v);
}

TEST(PropertyListParsing, ReadsBinary) {
    std::string bin = test::binaryPlist(kInfoXML);
    ASSERT_EQ(bin.rfind("bplist00", 0), 0u);
    auto v = PropertyList::parse(bin);
    ASSERT_TRUE(v.has_value());
    expectInfoValues(*v);
}

TEST(PropertyListParsing, MalformedInputIsNone) {
    EXPECT_FALSE(PropertyList::parse("").has_value());
    EXPECT_FALSE(PropertyList::parse("not a property list").has_value());
    EXPECT_FALSE(PropertyList::parse("<plist><dict><key>a</key>").has_value());
    std::string bin = test::binaryPlist(kInfoXML);
    EXPECT_FALSE(PropertyList::parse(bin.substr(0, bin.size() / 2)).has_value());
    std::string garbage = "bplist00";
    garbage += std::string(64, '\xff');
    EXPECT_FALSE(PropertyList::parse(garbage).has_value());
}

TEST(PropertyListParsing, AbsurdNestingIsNoneNotACrash) {
    std::string xml = "<plist><array>";
    std::string close = "</array></plist>";
    for (int i = 0; i < 5000; ++i) {
        xml += "<array>";
        close = "</array>" + close;
    }
    // Either the library refuses it or our depth limit does; it must not crash.
    EXPECT_FALSE(PropertyList::parse(xml + close).has_value());
}

TEST(PropertyListFiles, ReadsXMLAndBinaryFiles) {
    test::TempDir dir;
    test::writeFile(dir / "xml.plist", kInfoXML);
    test::writeFile(dir / "bin.plist", test::binaryPlist(kInfoXML));
    auto x = PropertyList::readFile(dir / "xml.plist");
    auto b = PropertyList::readFile(dir / "bin.plist");
    ASSERT_TRUE(x && b);
    expectInfoValues(*x);
    expectInfoValues(*b);
}

TEST(PropertyListFiles, MissingFolderAndOversizedAreNone) {
    test::TempDir dir;
    EXPECT_FALSE(PropertyList::readFile(dir / "missing.plist").has_value());
    EXPECT_FALSE(PropertyList::readFile(dir.path()).has_value());
    test::writeFile(dir / "big", std::string(100, 'x'));
    EXPECT_FALSE(PropertyList::readRegularFile(dir / "big", 99).has_value());
    EXPECT_EQ(PropertyList::readRegularFile(dir / "big", 100)->size(), 100u);
    test::writeFile(dir / "empty.plist", "");
    EXPECT_EQ(PropertyList::readRegularFile(dir / "empty.plist"), std::string());
    EXPECT_FALSE(PropertyList::readFile(dir / "empty.plist").has_value());
}

TEST(PropertyListFiles, FollowsASymbolicLinkToARegularFile) {
    test::TempDir dir;
    test::writeFile(dir / "real.plist", kInfoXML);
    ASSERT_EQ(symlink((dir / "real.plist").c_str(), (dir / "link.plist").c_str()), 0);
    EXPECT_TRUE(PropertyList::readFile(dir / "link.plist").has_value());
}

TEST(PropertyListFiles, AFifoNeverBlocks) {
    test::TempDir dir;
    const std::string fifo = dir / "Info.plist";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    auto result = std::async(std::launch::async, [&] { return PropertyList::readFile(fifo); });
    ASSERT_EQ(result.wait_for(std::chrono::seconds(5)), std::future_status::ready)
        << "reading a FIFO blocked";
    EXPECT_FALSE(result.get().has_value());
}

TEST(PropertyListFiles, UnreadableFileIsNone) {
    test::TempDir dir;
    const std::string path = dir / "secret.plist";
    test::writeFile(path, kInfoXML);
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    int status = test::runAsUnprivileged([&] {
        return PropertyList::readFile(path).has_value() ? 1 : 0;
    });
    EXPECT_EQ(status, 0);
}

TEST(PropertyListFiles, ALinkToAFifoNeverBlocks) {
    test::TempDir dir;
    const std::string fifo = dir / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_EQ(symlink(fifo.c_str(), (dir / "Info.plist").c_str()), 0);
    auto result = std::async(std::launch::async, [&] { return PropertyList::readFile(dir / "Info.plist"); });
    ASSERT_EQ(result.wait_for(std::chrono::seconds(5)), std::future_status::ready)
        << "reading through a link to a FIFO blocked";
    EXPECT_FALSE(result.get().has_value());
}

TEST(PropertyListFiles, DevicesAndFilesPastTheCapAreNotRead) {
    // An endless device and a sparse file past 32 MiB: refused from their status alone.
    EXPECT_FALSE(PropertyList::readFile("/dev/zero").has_value());
    test::TempDir dir;
    const std::string huge = dir / "huge.plist";
    test::writeFile(huge, kInfoXML);
    ASSERT_EQ(truncate(huge.c_str(), static_cast<off_t>(PropertyList::kMaximumFileSize) + 1), 0);
    EXPECT_FALSE(PropertyList::readRegularFile(huge).has_value());
    EXPECT_FALSE(PropertyList::readFile(huge).has_value());
    ASSERT_EQ(truncate(huge.c_str(), static_cast<off_t>(PropertyList::kMaximumFileSize)), 0);
    EXPECT_EQ(PropertyList::readRegularFile(huge)->size(), PropertyList::kMaximumFileSize);
}

TEST(PropertyListParsing, GarbageOfEveryShapeIsNone) {
    std::string noise;
    uint32_t state = 12345;
    for (int i = 0; i < 100000; ++i) {
        state = state * 1103515245u + 12345u;
        noise += static_cast<char>(state >> 24);
    }
    EXPECT_FALSE(PropertyList::parse(noise).has_value());
    EXPECT_FALSE(PropertyList::parse("bplist00" + noise).has_value());
    EXPECT_FALSE(PropertyList::parse("<plist>" + noise).has_value());
    EXPECT_FALSE(PropertyList::parse(std::string(1000, '\0')).has_value());
    EXPECT_FALSE(PropertyList::parse("bplist00" + std::string(32, '\xff')).has_value());
}
