// Property lists built to hurt the reader: nesting far beyond any real file, shared
// references that expand exponentially, cycles. Each must read as none, quickly, and
// never crash the process.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/PropertyList.h"

using namespace sorvel;
using Clock = std::chrono::steady_clock;

namespace {

// A binary property list of the given objects, the first one on top. Object
// references are four bytes wide, offsets eight.
std::string binaryList(const std::vector<std::string>& objects) {
    auto bigEndian = [](uint64_t value, int width) {
        std::string out;
        for (int i = width - 1; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
        return out;
    };
    std::string out = "bplist00";
    std::vector<uint64_t> offsets;
    for (const auto& object : objects) {
        offsets.push_back(out.size());
        out += object;
    }
    const uint64_t table = out.size();
    for (uint64_t offset : offsets) out += bigEndian(offset, 8);
    out += std::string(6, '\0');
    out += static_cast<char>(8);
    out += static_cast<char>(4);
    out += bigEndian(objects.size(), 8) + bigEndian(0, 8) + bigEndian(table, 8);
    return out;
}

std::string array(const std::vector<uint32_t>& references) {
    std::string out;
    if (references.size() < 15) {
        out += static_cast<char>(0xA0 | references.size());
    } else {
        out += "\xAF\x12";
        for (int i = 3; i >= 0; --i) out += static_cast<char>((references.size() >> (8 * i)) & 0xFF);
    }
    for (uint32_t r : references)
        for (int i = 3; i >= 0; --i) out += static_cast<char>((r >> (8 * i)) & 0xFF);
    return out;
}

const std::string kTrue = "\x09";

// Arrays nested `levels` deep, the innermost empty.
std::string nestedBinary(uint32_t levels) {
    std::vector<std::string> objects;
    for (uint32_t i = 0; i + 1 < levels; ++i) objects.push_back(array({i + 1}));
    objects.push_back(array({}));
    return binaryList(objects);
}

std::string nestedXML(int levels, const std::string& open, const std::string& inner, const std::string& close) {
    std::string xml = "<plist>";
    xml.reserve(levels * (open.size() + close.size()) + 64);
    for (int i = 0; i < levels; ++i) xml += open;
    xml += inner;
    for (int i = 0; i < levels; ++i) xml += close;
    return xml + "</plist>";
}

int depthOf(const PlistValue& value) {
    int depth = 0;
    const PlistValue* v = &value;
    while (const auto* a = v->array()) {
        ++depth;
        if (a->empty()) break;
        v = &a->front();
    }
    return depth;
}

} // namespace

TEST(PropertyListHostileInput, BinaryNestingUpToTheLimitIsRead) {
    auto v = PropertyList::parse(nestedBinary(257));
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(depthOf(*v), 257);
    EXPECT_FALSE(PropertyList::parse(nestedBinary(258)).has_value());
}

TEST(PropertyListHostileInput, DeepBinaryNestingIsNoneNotACrash) {
    // The library's parser recurses once per level: this many levels overflowed the stack.
    EXPECT_FALSE(PropertyList::parse(nestedBinary(200000)).has_value());
}

TEST(PropertyListHostileInput, SharedReferencesThatExpandExponentiallyAreRefused) {
    // Each array holds the next one twice: 40 levels in under a kilobyte name 2^40 nodes.
    std::vector<std::string> objects;
    for (uint32_t i = 0; i < 40; ++i) objects.push_back(array({i + 1, i + 1}));
    objects.push_back(kTrue);
    const std::string bytes = binaryList(objects);
    ASSERT_LT(bytes.size(), 1024u);
    const auto start = Clock::now();
    EXPECT_FALSE(PropertyList::parse(bytes).has_value());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST(PropertyListHostileInput, ModestSharingIsStillRead) {
    // Writers share equal values; a few levels of it are ordinary.
    std::vector<std::string> objects;
    for (uint32_t i = 0; i < 8; ++i) objects.push_back(array({i + 1, i + 1}));
    objects.push_back(kTrue);
    auto v = PropertyList::parse(binaryList(objects));
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(depthOf(*v), 8);
}

TEST(PropertyListHostileInput, ReferenceCyclesAreNone) {
    EXPECT_FALSE(PropertyList::parse(binaryList({array({0})})).has_value());
    EXPECT_FALSE(PropertyList::parse(binaryList({array({1}), array({0})})).has_value());
}

TEST(PropertyListHostileInput, DeepXMLNestingIsNoneNotACrash) {
    // The text parser copes, but freeing this many levels recursed off the stack.
    EXPECT_FALSE(PropertyList::parse(nestedXML(400000, "<array>", "", "</array>")).has_value());
    EXPECT_FALSE(PropertyList::parse(nestedXML(300000, "<dict><key>k</key>", "<true/>", "</dict>")).has_value());
}

TEST(PropertyListHostileInput, DeepXMLWithWideLevelsIsFreedWhole) {
    const std::string open = "<dict><key>a</key><array><true/><dict><key>x</key><string>y</string></dict>"
                             "<array/></array><key>b</key>";
    const std::string close = "<key>c</key><array><false/><string>z</string></array></dict>";
    EXPECT_FALSE(PropertyList::parse(nestedXML(1000, open, "<array><integer>1</integer></array>", close)).has_value());
    auto shallow = PropertyList::parse(nestedXML(100, open, "<array><integer>1</integer></array>", close));
    ASSERT_TRUE(shallow.has_value());
    ASSERT_TRUE(shallow->isDictionary());
    EXPECT_EQ(shallow->dictionary()->size(), 3u);
}

TEST(PropertyListHostileInput, XMLNestingUpToTheLimitIsRead) {
    auto v = PropertyList::parse(nestedXML(257, "<array>", "", "</array>"));
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(depthOf(*v), 257);
    EXPECT_FALSE(PropertyList::parse(nestedXML(258, "<array>", "", "</array>")).has_value());
}
