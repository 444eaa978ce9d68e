// A rename that never replaces: the kernel's flag and the ways taken where a file system
// refuses it agree case by case, and none ever loses what holds the name.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileDescriptor.h"
#include "platform/NoReplaceRename.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

ino_t inodeOf(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// 0 or the errno of moving `from` to `to` in `dir`.
int renamed(int (*way)(int, const std::string&, int, const std::string&), const std::string& dir,
            const std::string& from, const std::string& to) {
    const FileDescriptor fd(::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return way(fd.get(), from, fd.get(), to) == 0 ? 0 : errno;
}

} // namespace

TEST(NoReplaceRename, WithOrWithoutTheFlagATakenNameIsNeverReplaced) {
    const auto file = [](const std::string& p) { test::writeFile(p, "x"); };
    const auto dir = [](const std::string& p) { test::writeFile(p + "/x", "x"); };
    const auto nothing = [](const std::string&) {};
    struct Row {
        const char* name;
        std::function<void(const std::string&)> item, occupant;
        int code;                // 0: moved
        const char* to = "to";   // below `from` for a folder into itself
    };
    const Row rows[] = {
        {"file, free name", file, nothing, 0},
        {"file, a file there", file, file, EEXIST},
        {"file, a dangling link there", file, [](auto& t) { ::symlink("/nowhere", t.c_str()); }, EEXIST},
        {"folder, free name", dir, nothing, 0},
        {"folder, an empty folder there", dir, [](auto& t) { test::makeDirs(t); }, EEXIST},
        {"folder, a full folder there", dir, dir, EEXIST},
        {"folder, a file there", dir, file, EEXIST},
        {"folder into itself", dir, nothing, EINVAL, "from/to"},
        {"nothing to move", nothing, nothing, ENOENT},
    };
    for (const auto way : {renameNoReplace, renameNoReplaceWithoutFlag}) {
        for (const auto& row : rows) {
            test::TempDir d;
            row.item(d / "from");
            row.occupant(d / row.to);
            const ino_t item = inodeOf(d / "from"), occupant = inodeOf(d / row.to);
            const int code = renamed(way, d.path(), "from", row.to);
            const std::string what = std::string(way == renameNoReplace ? "flag: " : "no flag: ") + row.name;
            EXPECT_EQ(code, row.code) << what;
            // Moved as a rename moves: the object itself, its first name gone; else both stay.
            EXPECT_EQ(inodeOf(d / row.to), code == 0 ? item : occupant) << what;
            EXPECT_EQ(inodeOf(d / "from"), code == 0 ? 0 : item) << what;
        }
    }
    // A file the user may not link (root's, under protected hard links) still moves to a free name.
    test::TempDir d;
    ::chmod(d.path().c_str(), 0777);
    file(d / "from");
    const int code = test::runAsUnprivileged([&] {
        return ::link((d / "from").c_str(), (d / "probe").c_str()) == 0
                   ? 100
                   : renamed(renameNoReplaceWithoutFlag, d.path(), "from", "to");
    });
    if (code == 100) GTEST_SKIP() << "another's file can be hard linked here (fs.protected_hardlinks is 0)";
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(test::exists(d / "to") && !test::exists(d / "from"));
}
