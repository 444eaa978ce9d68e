// Opening a file only as a plain file, never waiting on what stands in its place.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "platform/FileDescriptor.h"
#include "platform/RegularFile.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

struct Case {
    const char* name;
    std::function<void(const std::string& path)> make; // what stands at the path
    int flags;
    int error; // 0: opened
};

const Case kCases[] = {
    {"a plain file", [](const std::string& p) { test::writeFile(p, "x"); }, O_RDONLY, 0},
    {"a plain file for writing", [](const std::string& p) { test::writeFile(p, "x"); }, O_RDWR, 0},
    {"nothing, made", [](const std::string&) {}, O_RDWR | O_CREAT, 0},
    {"nothing", [](const std::string&) {}, O_RDONLY, ENOENT},
    {"a folder", [](const std::string& p) { test::makeDirs(p); }, O_RDONLY, EISDIR},
    {"a pipe nobody writes", [](const std::string& p) { ::mkfifo(p.c_str(), 0600); }, O_RDONLY, EINVAL},
    {"a pipe, for writing", [](const std::string& p) { ::mkfifo(p.c_str(), 0600); }, O_RDWR | O_CREAT, EINVAL},
    {"a device", [](const std::string& p) { ::symlink("/dev/null", p.c_str()); }, O_RDWR, EINVAL},
    {"a link to a plain file, followed", [](const std::string& p) {
         test::writeFile(p + ".target", "x");
         ::symlink((p + ".target").c_str(), p.c_str());
     }, O_RDONLY, 0},
    {"a link to a plain file, not followed", [](const std::string& p) {
         test::writeFile(p + ".target", "x");
         ::symlink((p + ".target").c_str(), p.c_str());
     }, O_RDONLY | O_NOFOLLOW, ELOOP},
};

} // namespace

TEST(PlainFile, OpensOnlyAPlainFileAndNeverWaits) {
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string path = dir / "f";
        c.make(path);
        // In a child, so an open that waited would end there (the alarm) and fail here.
        const int status = test::runInChild([&] {
            ::alarm(10);
            const FileDescriptor fd(openPlainFileAt(AT_FDCWD, path.c_str(), c.flags));
            const int error = fd.valid() ? 0 : errno;
            if (error != c.error) return 10 + error;
            struct stat st;
            if (fd.valid() && (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))) return 2;
            return 0;
        });
        EXPECT_EQ(status, 0) << "(10 + the error it gave)";
    }
}

// In a folder opened apart, as the lock files are.
TEST(PlainFile, OpensByItsNameInAFolder) {
    test::TempDir dir;
    test::writeFile(dir / "f", "x");
    ASSERT_EQ(::mkfifo((dir / "p").c_str(), 0600), 0);
    const FileDescriptor folder(::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(folder.valid());
    EXPECT_TRUE(FileDescriptor(openPlainFileAt(folder.get(), "f", O_RDONLY)).valid());
    EXPECT_FALSE(FileDescriptor(openPlainFileAt(folder.get(), "p", O_RDONLY)).valid());
    EXPECT_EQ(errno, EINVAL);
    const FileDescriptor made(openPlainFileAt(folder.get(), "new", O_RDWR | O_CREAT | O_NOFOLLOW, 0600));
    ASSERT_TRUE(made.valid());
    struct stat st;
    ASSERT_EQ(::stat((dir / "new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// Asked to leave the access time alone, it does where the kernel lets it (the file's owner)
// and opens the file all the same where not (anyone else), never failing for it.
TEST(PlainFile, QuietOpenLeavesTheAccessTimeAndOpensForAnyone) {
    test::TempDir dir;
    const std::string path = dir / "f";
    test::writeFile(path, "some bytes");
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    const struct {
        const char* name;
        bool unprivileged;
    } rows[] = {{"by its owner", false}, {"by another user", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        // Long ago, so a read that moved it would be seen whatever the mount's atime rule.
        const timespec old[2] = {{1'000'000, 0}, {1'000'000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
        auto readQuietly = [&] {
            const FileDescriptor fd(openPlainFileAt(AT_FDCWD, path.c_str(), O_RDONLY | O_NOATIME));
            if (!fd.valid()) return 10 + errno;
            char buffer[4];
            return ::read(fd.get(), buffer, sizeof buffer) == 4 ? 0 : 2;
        };
        const int status = row.unprivileged ? test::runAsUnprivileged(readQuietly) : readQuietly();
        EXPECT_EQ(status, 0) << "(10 + the error it gave)";
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        if (!row.unprivileged) {
            EXPECT_EQ(st.st_atim.tv_sec, 1'000'000);
        }
    }
}
