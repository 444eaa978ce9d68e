#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/BulkAttributes.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

attrlist fullRequest() {
    attrlist a;
    a.bitmapcount = ATTR_BIT_MAP_COUNT;
    a.commonattr = ATTR_CMN_NAME | ATTR_CMN_DEVID | ATTR_CMN_OBJTYPE | ATTR_CMN_MODTIME |
                   ATTR_CMN_FILEID | ATTR_CMN_RETURNED_ATTRS;
    a.fileattr = ATTR_FILE_LINKCOUNT | ATTR_FILE_ALLOCSIZE;
    return a;
}

template <typename T> T at(const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

int openDir(const std::string& path) { return open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }

// Names of every record of every batch, read with a buffer of `size` bytes.
std::vector<std::string> allNames(const std::string& dir, size_t size, int* batches = nullptr) {
    attrlist request = fullRequest();
    std::vector<unsigned char> buffer(size);
    std::vector<std::string> names;
    int fd = openDir(dir);
    int calls = 0;
    for (;;) {
        size_t filled = 0;
        int n = getattrlistbulk(fd, &request, buffer.data(), buffer.size(), 0, &filled);
        EXPECT_GE(n, 0) << strerror(errno);
        if (n <= 0) break;
        ++calls;
        size_t offset = 0;
        for (int i = 0; i < n; ++i) {
            const unsigned char* rec = buffer.data() + offset;
            const unsigned char* ref = rec + 24;
            names.emplace_back(reinterpret_cast<const char*>(ref + at<int32_t>(ref)));
            offset += at<uint32_t>(rec);
        }
        EXPECT_EQ(offset, filled);
    }
    close(fd);
    if (batches) *batches = calls;
    return names;
}

} // namespace

TEST(BulkAttributes, RecordsFollowTheDocumentedLayout) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "data.bin", 5000);
    ASSERT_EQ(link((dir / "data.bin").c_str(), (dir / "other").c_str()), 0);
    struct stat st;
    ASSERT_EQ(lstat((dir / "data.bin").c_str(), &st), 0);

    attrlist request = fullRequest();
    std::vector<unsigned char> buffer(131072);
    int fd = openDir(dir.path());
    size_t filled = 0;
    int n = getattrlistbulk(fd, &request, buffer.data(), buffer.size(), 0, &filled);
    ASSERT_EQ(n, 2); // "." and ".." are left out
    bool sawData = false;
    size_t offset = 0;
    for (int i = 0; i < n; ++i) {
        const unsigned char* rec = buffer.data() + offset;
        uint32_t length = at<uint32_t>(rec);
        EXPECT_EQ(length % 8, 0u);
        EXPECT_EQ(at<uint32_t>(rec + 4), request.commonattr);
        EXPECT_EQ(at<uint32_t>(rec + 8), 0u);
        EXPECT_EQ(at<uint32_t>(rec + 12), 0u);
        EXPECT_EQ(at<uint32_t>(rec + 16), request.fileattr);
        EXPECT_EQ(at<uint32_t>(rec + 20), 0u);
        const unsigned char* p = rec + 24;
        int32_t nameOffset = at<int32_t>(p);
        uint32_t nameLength = at<uint32_t>(p + 4);
        std::string name(reinterpret_cast<const char*>(p + nameOffset));
        EXPECT_EQ(nameLength, name.size() + 1);
        EXPECT_LE(24 + nameOffset + nameLength, length);
        if (name == "data.bin") {
            sawData = true;
            EXPECT_EQ(at<uint64_t>(p + 8), st.st_dev); // 8-byte device
            EXPECT_EQ(at<uint32_t>(p + 16), uint32_t{VREG});
            EXPECT_EQ(at<int64_t>(p + 20), st.st_mtim.tv_sec);
            EXPECT_EQ(at<int64_t>(p + 28), st.st_mtim.tv_nsec);
            EXPECT_EQ(at<uint64_t>(p + 36), st.st_ino);
            EXPECT_EQ(at<uint32_t>(p + 44), 2u);
            EXPECT_EQ(at<int64_t>(p + 48), st.st_blocks * 512);
            EXPECT_EQ(nameOffset, 56);
        }
        offset += length;
    }
    EXPECT_EQ(offset, filled);
    EXPECT_TRUE(sawData);
    EXPECT_EQ(getattrlistbulk(fd, &request, buffer.data(), buffer.size(), 0, &filled), 0);
    close(fd);
}

TEST(BulkAttributes, OnlyRequestedAttributesAreStored) {
    test::TempDir dir;
    test::makeDirs(dir / "sub");
    attrlist request;
    request.bitmapcount = ATTR_BIT_MAP_COUNT;
    request.commonattr = ATTR_CMN_NAME | ATTR_CMN_OBJTYPE;
    std::vector<unsigned char> buffer(4096);
    int fd = openDir(dir.path());
    ASSERT_EQ(getattrlistbulk(fd, &request, buffer.data(), buffer.size(), 0), 1);
    close(fd);
    EXPECT_EQ(at<uint32_t>(buffer.data() + 4), request.commonattr);
    EXPECT_EQ(at<uint32_t>(buffer.data() + 16), 0u);
    EXPECT_EQ(at<uint32_t>(buffer.data() + 32), uint32_t{VDIR});
    EXPECT_EQ(at<int32_t>(buffer.data() + 24), 12); // name right after the type
    EXPECT_STREQ(reinterpret_cast<const char*>(buffer.data() + 36), "sub");
}

TEST(BulkAttributes, SmallBuffersResumeWhereThePreviousBatchStopped) {
    test::TempDir dir;
    std::set<std::string> made;
    for (int i = 0; i < 300; ++i) {
        std::string name = "n" + std::to_string(i) + std::string(static_cast<size_t>(i % 40), 'x');
        test::writeFile(dir / name, "");
        made.insert(name);
    }
    for (size_t size : {size_t{160}, size_t{700}, size_t{4096}, size_t{131072}}) {
        int batches = 0;
        auto names = allNames(dir.path(), size, &batches);
        EXPECT_EQ(names.size(), made.size()) << size;
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), made) << size;
        if (size < 4096) {
            EXPECT_GT(batches, 10) << size;
        }
    }
}

TEST(BulkAttributes, FailsWhereTheDirectoryCannotBeReadThisWay) {
    test::TempDir dir;
    test::writeFile(dir / "plain", "x");
    attrlist request = fullRequest();
    std::vector<unsigned char> buffer(4096);
    int fd = open((dir / "plain").c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(getattrlistbulk(fd, &request, buffer.data(), buffer.size(), 0), -1);
    close(fd);
    EXPECT_EQ(getattrlistbulk(-1, &request, buffer.data(), buffer.size(), 0), -1);

    // A buffer too small for a single record.
    fd = openDir(dir.path());
    EXPECT_EQ(getattrlistbulk(fd, &request, buffer.data(), 40, 0), -1);
    close(fd);
}

TEST(OpenDirectory, OpensPathsLongerThanTheKernelTakesInOnePiece) {
    test::TempDir dir;
    // Built relatively: the full path soon passes what one call may name.
    const std::string component(200, 'd');
    int fd = openDirectory(dir.path().c_str());
    ASSERT_GE(fd, 0);
    std::string full = dir.path();
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(mkdirat(fd, component.c_str(), 0755), 0);
        int next = openat(fd, component.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(next, 0);
        close(fd);
        fd = next;
        full += "/" + component;
    }
    int marker = openat(fd, "marker", O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    close(marker);
    close(fd);
    ASSERT_GT(full.size(), 4096u);

    int opened = openDirectory(full.c_str());
    ASSERT_GE(opened, 0) << strerror(errno);
    struct stat st;
    EXPECT_EQ(fstatat(opened, "marker", &st, 0), 0);
    close(opened);
    EXPECT_LT(openDirectory((full + "/missing").c_str()), 0);
    EXPECT_EQ(errno, ENOENT);
}

TEST(OpenDirectory, NeverFollowsAFinalSymbolicLink) {
    test::TempDir dir;
    test::makeDirs(dir / "real");
    ASSERT_EQ(symlink("real", (dir / "link").c_str()), 0);
    int fd = openDirectory((dir / "link").c_str());
    EXPECT_LT(fd, 0);
    EXPECT_TRUE(errno == ELOOP || errno == ENOTDIR) << errno;
    fd = openDirectory((dir / "real").c_str());
    EXPECT_GE(fd, 0);
    close(fd);
}
