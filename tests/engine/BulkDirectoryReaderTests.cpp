#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include "engine/BulkDirectoryReader.h"
#include "support/TestSupport.h"
#include "WalkerTestTree.h"

using namespace sorvel;
namespace bdr = sorvel::BulkDirectoryReader;

namespace {

std::vector<DirectoryEntry> readBulk(const std::string& dir, bool* result = nullptr) {
    std::vector<DirectoryEntry> entries;
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    bool ok = bdr::read(fd, [&](const DirectoryEntry& e) { entries.push_back(e); });
    if (result) *result = ok;
    close(fd);
    return entries;
}

std::vector<DirectoryEntry> readSecondWay(const std::string& dir) {
    std::vector<DirectoryEntry> entries;
    DIR* d = opendir(dir.c_str());
    EXPECT_NE(d, nullptr);
    bdr::readFallback(d, [&](const DirectoryEntry& e) { entries.push_back(e); });
    closedir(d);
    return entries;
}

std::map<std::string, DirectoryEntry> byName(const std::vector<DirectoryEntry>& entries) {
    std::map<std::string, DirectoryEntry> m;
    for (const auto& e : entries) m.emplace(e.name, e);
    return m;
}

void makeSocket(const std::string& path) {
    int s = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::strcpy(addr.sun_path, path.c_str());
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(s);
}

// Builds one record of the bulk layout by hand.
struct RecordBuilder {
    std::vector<unsigned char> bytes;
    void put32(uint32_t v) { bytes.insert(bytes.end(), reinterpret_cast<unsigned char*>(&v), reinterpret_cast<unsigned char*>(&v) + 4); }
    void put64(uint64_t v) { bytes.insert(bytes.end(), reinterpret_cast<unsigned char*>(&v), reinterpret_cast<unsigned char*>(&v) + 8); }

    // A record with name, object type and (when withFileAttributes) link count and size.
    static std::vector<unsigned char> record(const std::string& name, uint32_t type, bool withFileAttributes,
                                             int32_t nameOffsetAdjust = 0) {
        RecordBuilder b;
        uint32_t common = ATTR_CMN_NAME | ATTR_CMN_OBJTYPE;
        uint32_t file = withFileAttributes ? (ATTR_FILE_LINKCOUNT | ATTR_FILE_ALLOCSIZE) : 0;
        b.put32(0); // length, patched below
        b.put32(common);
        b.put32(0);
        b.put32(0);
        b.put32(file);
        b.put32(0);
        size_t refAt = b.bytes.size();
        b.put32(0);
        b.put32(static_cast<uint32_t>(name.size() + 1));
        b.put32(type);
        if (withFileAttributes) {
            b.put32(3);
            b.put64(8192);
        }
        int32_t offset = static_cast<int32_t>(b.bytes.size() - refAt) + nameOffsetAdjust;
        std::memcpy(b.bytes.data() + refAt, &offset, 4);
        b.bytes.insert(b.bytes.end(), name.begin(), name.end());
        b.bytes.push_back(0);
        while (b.bytes.size() % 8) b.bytes.push_back(0);
        uint32_t length = static_cast<uint32_t>(b.bytes.size());
        std::memcpy(b.bytes.data(), &length, 4);
        return b.bytes;
    }
};

// A stand-in bulk call that serves prepared batches, then 0.
struct ScriptedCall {
    std::vector<std::vector<unsigned char>> batches; // concatenated records per batch
    std::vector<int> counts;
    std::vector<size_t> filledOverride; // 0: the batch's own size
    int failAtCall = -1;                 // index of the call that returns -1
    int calls = 0;

    int operator()(int, const attrlist* request, void* buffer, size_t size, uint64_t, size_t* filled) {
        EXPECT_EQ(request->commonattr, 0x8200040Bu);
        EXPECT_EQ(request->fileattr, 0x5u);
        EXPECT_EQ(size, 131072u);
        int index = calls++;
        if (index == failAtCall) return -1;
        if (index >= static_cast<int>(batches.size())) return 0;
        const auto& b = batches[index];
        std::memcpy(buffer, b.data(), b.size());
        *filled = index < static_cast<int>(filledOverride.size()) && filledOverride[index] ? filledOverride[index] : b.size();
        return counts[index];
    }
};

std::vector<unsigned char> concat(std::initializer_list<std::vector<unsigned char>> parts) {
    std::vector<unsigned char> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<std::string> namesFrom(ScriptedCall call) {
    std::vector<std::string> names;
    auto sink = [&](const DirectoryEntry& e) { names.push_back(e.name); };
    bdr::detail::readWith(-1, call, sink);
    return names;
}

} // namespace

TEST(BulkDirectoryReader, EmptyDirectoryReadsWithoutCallingTheSink) {
    test::TempDir dir;
    bool ok = false;
    auto entries = readBulk(dir.path(), &ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(entries.empty());
}

TEST(BulkDirectoryReader, BothWaysDescribeEveryKindOfEntryAlike) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "file", 10000);
    test::makeDirs(dir / "sub");
    ASSERT_EQ(symlink("file", (dir / "link").c_str()), 0);
    ASSERT_EQ(link((dir / "file").c_str(), (dir / "hard").c_str()), 0);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
    makeSocket(dir / "sock");
    test::writeFile(dir / "a name longer than fifteen bytes — ünïcødé", "x");
    test::writeFile(dir / "line\nbreak", "x");
    test::writeFile(dir / "bad\xff\xfe", "x");

    auto bulk = byName(readBulk(dir.path()));
    auto second = byName(readSecondWay(dir.path()));
    ASSERT_EQ(bulk.size(), 9u);
    EXPECT_EQ(bulk, second);

    struct stat st;
    ASSERT_EQ(lstat((dir / "file").c_str(), &st), 0);
    const auto& file = bulk.at("file");
    EXPECT_TRUE(file.isRegularFile);
    EXPECT_FALSE(file.isDirectory || file.isSymlink);
    EXPECT_EQ(file.allocatedSize, st.st_blocks * 512);
    EXPECT_EQ(file.linkCount, 2u);
    EXPECT_EQ(file.fileID, st.st_ino);
    EXPECT_EQ(file.device, st.st_dev);
    ASSERT_TRUE(file.modified.has_value());
    EXPECT_EQ(*file.modified, dateFromUnixSeconds(st.st_mtim.tv_sec));

    EXPECT_TRUE(bulk.at("sub").isDirectory);
    const auto& link = bulk.at("link");
    EXPECT_TRUE(link.isSymlink);
    EXPECT_FALSE(link.isRegularFile); // the link itself, not its target
    for (const char* odd : {"fifo", "sock"}) {
        const auto& e = bulk.at(odd);
        EXPECT_FALSE(e.isDirectory || e.isRegularFile || e.isSymlink) << odd;
    }
    EXPECT_TRUE(bulk.count("a name longer than fifteen bytes — ünïcødé"));
    EXPECT_TRUE(bulk.count("line\nbreak"));
    EXPECT_TRUE(bulk.count("bad\xff\xfe"));
}

TEST(BulkDirectoryReader, ManyBatchesDeliverEachEntryOnceInListingOrder) {
    test::ScratchDir dir;
    const int count = 5000; // far more than one 128 KiB batch holds
    for (int i = 0; i < count; ++i) {
        std::string name = "entry-with-a-rather-long-name-to-fill-batches-" + std::to_string(i);
        int fd = open((dir / name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    auto bulk = readBulk(dir.path());
    std::vector<std::string> bulkNames, listed;
    for (const auto& e : bulk) bulkNames.push_back(e.name);
    DIR* d = opendir(dir.path().c_str());
    while (auto* e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") listed.push_back(n);
    }
    closedir(d);
    EXPECT_EQ(bulkNames.size(), static_cast<size_t>(count));
    EXPECT_EQ(bulkNames, listed);
}

TEST(BulkDirectoryReader, AFirstCallFailureSaysReadTheSecondWay) {
    ScriptedCall call;
    call.failAtCall = 0;
    std::vector<std::string> names;
    auto sink = [&](const DirectoryEntry& e) { names.push_back(e.name); };
    EXPECT_FALSE(bdr::detail::readWith(-1, call, sink));
    EXPECT_TRUE(names.empty());

    // A descriptor that is no directory cannot be read the bulk way either.
    test::TempDir dir;
    test::writeFile(dir / "plain", "x");
    int fd = open((dir / "plain").c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_FALSE(bdr::read(fd, sink));
    close(fd);
}

TEST(BulkDirectoryReader, ALaterFailureKeepsWhatWasDeliveredAndReportsSuccess) {
    ScriptedCall call;
    call.batches = {concat({RecordBuilder::record("one", VREG, true), RecordBuilder::record("two", VDIR, true)})};
    call.counts = {2};
    call.failAtCall = 1;
    std::vector<std::string> names;
    auto sink = [&](const DirectoryEntry& e) { names.push_back(e.name); };
    EXPECT_TRUE(bdr::detail::readWith(-1, call, sink));
    EXPECT_EQ(names, (std::vector<std::string>{"one", "two"}));
}

TEST(BulkDirectoryReader, MissingFileAttributesKeepTheDefaults) {
    ScriptedCall call;
    call.batches = {concat({RecordBuilder::record("dir", VDIR, false), RecordBuilder::record("file", VREG, true)})};
    call.counts = {2};
    std::vector<DirectoryEntry> entries;
    auto sink = [&](const DirectoryEntry& e) { entries.push_back(e); };
    EXPECT_TRUE(bdr::detail::readWith(-1, call, sink));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].linkCount, 1u);
    EXPECT_EQ(entries[0].allocatedSize, 0);
    EXPECT_TRUE(entries[0].isDirectory);
    EXPECT_EQ(entries[1].linkCount, 3u); // the previous record's values never leak over
    EXPECT_EQ(entries[1].allocatedSize, 8192);
    EXPECT_FALSE(entries[1].modified.has_value());
}

TEST(BulkDirectoryReader, NamelessRecordsAreSkipped) {
    ScriptedCall call;
    call.batches = {concat({RecordBuilder::record("", VREG, true), RecordBuilder::record("kept", VREG, true)})};
    call.counts = {2};
    EXPECT_EQ(namesFrom(call), (std::vector<std::string>{"kept"}));
}

TEST(BulkDirectoryReader, ARecordShorterThanItsHeaderEndsTheDirectory) {
    auto good = RecordBuilder::record("good", VREG, true);
    auto shortRecord = RecordBuilder::record("short", VREG, true);
    uint32_t tiny = 12;
    std::memcpy(shortRecord.data(), &tiny, 4);
    ScriptedCall call;
    call.batches = {concat({good, shortRecord, RecordBuilder::record("after", VREG, true)}),
                    RecordBuilder::record("next batch", VREG, true)};
    call.counts = {3, 1};
    EXPECT_EQ(namesFrom(call), (std::vector<std::string>{"good"}));

    // A zero length would otherwise loop on the same record forever.
    auto zero = RecordBuilder::record("zero", VREG, true);
    uint32_t none = 0;
    std::memcpy(zero.data(), &none, 4);
    ScriptedCall looping;
    looping.batches = {concat({good, zero})};
    looping.counts = {1000};
    EXPECT_EQ(namesFrom(looping), (std::vector<std::string>{"good"}));
}

TEST(BulkDirectoryReader, ARecordRunningPastTheFilledBytesEndsTheDirectory) {
    auto good = RecordBuilder::record("good", VREG, true);
    auto longRecord = RecordBuilder::record("overlong", VREG, true);
    uint32_t huge = 1u << 30;
    std::memcpy(longRecord.data(), &huge, 4);
    ScriptedCall call;
    call.batches = {concat({good, longRecord})};
    call.counts = {2};
    EXPECT_EQ(namesFrom(call), (std::vector<std::string>{"good"}));

    // More records claimed than the filled bytes hold.
    ScriptedCall overCount;
    overCount.batches = {good};
    overCount.counts = {5};
    EXPECT_EQ(namesFrom(overCount), (std::vector<std::string>{"good"}));

    // A record that fits the buffer but not the part the call says it filled.
    ScriptedCall shortFill;
    shortFill.batches = {concat({good, RecordBuilder::record("cut", VREG, true)})};
    shortFill.counts = {2};
    shortFill.filledOverride = {good.size() + 30};
    EXPECT_EQ(namesFrom(shortFill), (std::vector<std::string>{"good"}));
}

TEST(BulkDirectoryReader, ANameReferenceOutsideItsRecordEndsTheDirectory) {
    auto good = RecordBuilder::record("good", VREG, true);
    ScriptedCall pastEnd;
    pastEnd.batches = {concat({good, RecordBuilder::record("far", VREG, true, 64), good})};
    pastEnd.counts = {3};
    EXPECT_EQ(namesFrom(pastEnd), (std::vector<std::string>{"good"}));

    ScriptedCall beforeStart;
    beforeStart.batches = {concat({good, RecordBuilder::record("back", VREG, true, -200), good})};
    beforeStart.counts = {3};
    EXPECT_EQ(namesFrom(beforeStart), (std::vector<std::string>{"good"}));

    // A name whose terminating NUL is missing stops at its stated length.
    auto unterminated = RecordBuilder::record("abc", VREG, true);
    unterminated[unterminated.size() - 5] = 'd'; // overwrite the NUL after "abc"
    ScriptedCall noNul;
    noNul.batches = {unterminated};
    noNul.counts = {1};
    auto names = namesFrom(noNul);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].substr(0, 3), "abc");
    EXPECT_LE(names[0].size(), 4u);
}

TEST(BulkDirectoryReader, NestedReadsOnOneThreadKeepTheirOwnBuffers) {
    test::TempDir dir;
    test::makeDirs(dir / "outer/inner");
    test::writeFile(dir / "outer/inner/x", "x");
    test::writeFile(dir / "outer/y", "y");
    std::vector<std::string> seen;
    int fd = open((dir / "outer").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bdr::read(fd, [&](const DirectoryEntry& e) {
        seen.push_back(e.name);
        if (e.isDirectory) {
            int inner = open((dir / "outer/inner").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            bdr::read(inner, [&](const DirectoryEntry& i) { seen.push_back("inner/" + i.name); });
            close(inner);
        }
    });
    close(fd);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"inner", "inner/x", "y"}));
}
