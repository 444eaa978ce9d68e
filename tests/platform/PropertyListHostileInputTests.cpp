// Property lists built to hurt the reader: nesting far beyond any real file, shared
// references that expand exponentially, cycles. Each must read as none, quickly, and
// never crash the process.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/PropertyList.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

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

// A count marker: the low nibble when it fits, else 0xF and a four-byte integer.
std::string counted(unsigned type, size_t count) {
    std::string out;
    if (count < 15) return std::string(1, static_cast<char>(type | count));
    out += static_cast<char>(type | 0x0F);
    out += '\x12';
    for (int i = 3; i >= 0; --i) out += static_cast<char>((count >> (8 * i)) & 0xFF);
    return out;
}

std::string ascii(const std::string& text) { return counted(0x50, text.size()) + text; }

std::string utf16(const std::vector<uint16_t>& units) {
    std::string out = counted(0x60, units.size());
    for (uint16_t u : units) {
        out += static_cast<char>(u >> 8);
        out += static_cast<char>(u & 0xFF);
    }
    return out;
}

std::string dictionary(const std::vector<uint32_t>& keys, const std::vector<uint32_t>& values) {
    std::string out = counted(0xD0, keys.size());
    for (const auto* refs : {&keys, &values})
        for (uint32_t r : *refs)
            for (int i = 3; i >= 0; --i) out += static_cast<char>((r >> (8 * i)) & 0xFF);
    return out;
}

enum class Outcome { read, refused, died };

// Parses in a child, so an abort inside the library fails the test instead of the run.
Outcome parseInChild(const std::string& bytes) {
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) _exit(PropertyList::parse(bytes).has_value() ? 0 : 1);
    const int status = pid < 0 ? -1 : test::waitForChild(pid, test::kChildDeadline);
    if (status < 0) return Outcome::died;
    return status == 0 ? Outcome::read : Outcome::refused;
}

const char* name(Outcome o) {
    return o == Outcome::read ? "read" : o == Outcome::refused ? "refused" : "died";
}

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

TEST(PropertyListHostileInput, ObjectsTheLibraryAbortsOnAreRefusedAndTheirNeighboursRead) {
    const std::string xmlHead = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    struct Case {
        const char* what;
        std::string bytes;
        Outcome expected;
    } cases[] = {
        {"UTF-16 string holding U+0000", binaryList({utf16({'a', 0, 'b'})}), Outcome::refused},
        {"UTF-16 key holding U+0000", binaryList({dictionary({1}, {2}), utf16({'k', 0}), ascii("v")}), Outcome::refused},
        {"U+0000 deep inside an array", binaryList({array({1}), array({2, 3}), kTrue, utf16({0})}), Outcome::refused},
        {"long UTF-16 string ending in U+0000", binaryList({utf16([] {
             std::vector<uint16_t> u(40, 'x');
             u.back() = 0;
             return u;
         }())}),
         Outcome::refused},
        {"ASCII string holding NUL", binaryList({ascii(std::string("a\0b", 3))}), Outcome::refused},
        {"ASCII key holding NUL", binaryList({dictionary({1}, {2}), ascii(std::string("k\0z", 3)), kTrue}),
         Outcome::refused},
        {"UTF-16 string running past the objects", binaryList({counted(0x60, 9) + "\0a"}), Outcome::refused},
        {"zero bytes that straddle two UTF-16 units", binaryList({utf16({0x0100, 0x0001})}), Outcome::read},
        {"UTF-16 units with a zero high byte", binaryList({utf16({0x00E9, 0x0041})}), Outcome::read},
        {"lone surrogates", binaryList({utf16({0xD800, 'a', 0xDC00})}), Outcome::read},
        {"empty ASCII string", binaryList({ascii("")}), Outcome::read},
        {"sixteen-byte integer", binaryList({"\x14" + std::string(16, '\x01')}), Outcome::read},
        {"integer of 32 bytes", binaryList({"\x15" + std::string(32, '\x01')}), Outcome::refused},
        {"real of two bytes", binaryList({"\x21" + std::string(10, '\x01')}), Outcome::refused},
        {"date of four bytes", binaryList({"\x32" + std::string(8, '\x41')}), Outcome::refused},
        {"date that is not a number", binaryList({"\x33\x7f\xf8" + std::string(6, '\0')}), Outcome::read},
        {"uid of sixteen bytes", binaryList({"\x8f" + std::string(16, '\0')}), Outcome::read},
        {"set of one string", binaryList({"\xC1" + std::string("\0\0\0\1", 4), ascii("s")}), Outcome::read},
        {"empty data", binaryList({"\x40"}), Outcome::read},
        {"null object", binaryList({std::string(1, '\0')}), Outcome::refused},
        {"dictionary with an integer key", binaryList({dictionary({1}, {2}), "\x10\x05", kTrue}), Outcome::refused},
        {"XML string holding NUL", xmlHead + std::string("<string>a\0b</string></plist>", 29), Outcome::refused},
        {"XML CDATA holding NUL", xmlHead + std::string("<string><![CDATA[a\0b]]></string></plist>", 41),
         Outcome::refused},
        {"XML key holding NUL", xmlHead + std::string("<dict><key>a\0b</key><true/></dict></plist>", 43),
         Outcome::refused},
        {"XML character reference to U+0000", xmlHead + "<string>a&#0;b</string></plist>", Outcome::refused},
        {"XML string with an ordinary reference", xmlHead + "<string>a&#233;b</string></plist>", Outcome::read},
    };
    for (const auto& c : cases) {
        const Outcome got = parseInChild(c.bytes);
        EXPECT_EQ(got, c.expected) << c.what << ": " << name(got);
    }
}

TEST(PropertyListHostileInput, SharedStringsCountEveryCopyTheParserMakes) {
    // The parser copies a shared string for each reference: a 100 kB one referenced a
    // million times is 100 GB in memory, from a file of 4 MB.
    struct Case {
        size_t references;
        size_t length;
        bool read;
    } cases[] = {
        {1'000'000, 100'000, false},
        {5'000, 100'000, false},
        {100, 100'000, true},
        {1'000'000, 10, true},
    };
    for (const auto& c : cases) {
        const auto v = PropertyList::parse(
            binaryList({array(std::vector<uint32_t>(c.references, 1)), ascii(std::string(c.length, 'x'))}));
        ASSERT_EQ(v.has_value(), c.read) << c.references << " x " << c.length;
        if (v) {
            ASSERT_EQ(v->array()->size(), c.references);
            EXPECT_EQ(v->array()->back().string()->size(), c.length);
        }
    }
}
