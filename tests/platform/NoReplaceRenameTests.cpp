// A rename that never replaces: the kernel's flag and the way taken where a file system
// refuses it must agree, case by case, and neither may ever lose what holds the name.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
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

std::string linkTarget(const std::string& path) {
    char buffer[64] = {};
    return ::readlink(path.c_str(), buffer, sizeof buffer - 1) > 0 ? buffer : "";
}

} // namespace

TEST(NoReplaceRename, WithAndWithoutTheFlagNothingHoldingTheNameIsReplaced) {
    using Rename = int (*)(int, const std::string&, int, const std::string&);
    const std::pair<const char*, Rename> ways[] = {{"the flag", renameNoReplace},
                                                   {"without the flag", renameNoReplaceWithoutFlag}};
    struct Row {
        const char* name;
        std::function<void(const std::string& from, const std::string& to)> make;
        int code;           // 0: moved
        std::string within; // where `to` is, below `from` for a folder into itself
        std::function<bool(const std::string& to)> toHolds; // after, whatever the outcome
    };
    const auto file = [](const std::string& p, const char* text) { test::writeFile(p, text); };
    const auto holds = [](const char* text) {
        return [=](const std::string& to) { return test::readFile(to) == text; };
    };
    const Row rows[] = {
        {"file to a free name", [&](auto& f, auto&) { file(f, "item"); }, 0, "", holds("item")},
        {"file to a taken name", [&](auto& f, auto& t) { file(f, "item"), file(t, "theirs"); }, EEXIST, "",
         holds("theirs")},
        {"file onto a hard link of itself", [&](auto& f, auto& t) { file(f, "item"), ::link(f.c_str(), t.c_str()); },
         EEXIST, "", holds("item")},
        {"file onto an empty folder", [](auto& f, auto& t) { test::writeFile(f, "item"), test::makeDirs(t); }, EEXIST,
         "", [](auto& t) { return test::exists(t + "/."); }},
        {"link to a free name", [](auto& f, auto&) { ::symlink("/nowhere", f.c_str()); }, 0, "",
         [](auto& t) { return linkTarget(t) == "/nowhere"; }},
        {"file onto a dangling link", [&](auto& f, auto& t) { file(f, "item"), ::symlink("/nowhere", t.c_str()); },
         EEXIST, "", [](auto& t) { return linkTarget(t) == "/nowhere"; }},
        {"folder to a free name", [&](auto& f, auto&) { file(f + "/a", "inside"); }, 0, "",
         [](auto& t) { return test::readFile(t + "/a") == "inside"; }},
        {"folder onto an empty folder", [&](auto& f, auto& t) { file(f + "/a", "inside"), test::makeDirs(t); }, EEXIST,
         "", [](auto& t) { return !test::exists(t + "/a"); }},
        {"folder onto a folder with contents",
         [&](auto& f, auto& t) { file(f + "/a", "inside"), file(t + "/b", "theirs"); }, EEXIST, "",
         [](auto& t) { return test::readFile(t + "/b") == "theirs" && !test::exists(t + "/a"); }},
        {"folder onto a file", [&](auto& f, auto& t) { file(f + "/a", "inside"), file(t, "theirs"); }, EEXIST, "",
         holds("theirs")},
        {"folder into itself", [&](auto& f, auto&) { file(f + "/a", "inside"); }, EINVAL, "from/",
         [](auto& t) { return !test::exists(t); }},
        {"nothing to move", [](auto&, auto&) {}, ENOENT, "", [](auto& t) { return !test::exists(t); }},
    };
    for (const auto& [way, rename] : ways) {
        for (const auto& row : rows) {
            test::TempDir dir;
            const std::string from = dir / "from", to = dir / (row.within + "to");
            row.make(from, to);
            const ino_t moving = inodeOf(from);
            const FileDescriptor folder(::open(dir.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            const int status = rename(folder.get(), "from", folder.get(), row.within + "to");
            const int code = status == 0 ? 0 : errno;
            const std::string what = std::string(way) + ": " + row.name;
            EXPECT_EQ(code, row.code) << what << ": " << std::strerror(code);
            EXPECT_TRUE(row.toHolds(to)) << what;
            if (row.code == 0) {
                // The object itself moved, as a rename moves it: no copy, its first name gone.
                EXPECT_EQ(inodeOf(to), moving) << what;
                EXPECT_EQ(::access(from.c_str(), F_OK), -1) << what;
            } else if (moving != 0) {
                EXPECT_EQ(inodeOf(from), moving) << what << ": the item stays where it was";
            }
        }
    }
}

// A file the user may not link (another's, with protected hard links on) takes a free
// name by a plain rename, and still never a taken one.
TEST(NoReplaceRename, WhereNoLinkCanBeMadeATakenNameStillStays) {
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0777);
    struct Row {
        const char* name;
        std::function<void(const std::string& to)> occupy;
        int code;
    };
    const Row rows[] = {
        {"a free name", [](auto&) {}, 0},
        {"a name a file holds", [](auto& t) { test::writeFile(t, "theirs"); }, EEXIST},
        {"a name a dangling link holds", [](auto& t) { ::symlink("/nowhere", t.c_str()); }, EEXIST},
    };
    for (const auto& row : rows) {
        const std::string from = std::string(row.name) + " from", to = std::string(row.name) + " to";
        test::writeFile(dir / from, "item"); // root's, and not writable by the user below
        row.occupy(dir / to);
        const ino_t moving = inodeOf(dir / from), there = inodeOf(dir / to);
        const int code = test::runAsUnprivileged([&] {
            if (::link((dir / from).c_str(), (dir / "probe").c_str()) == 0) return 100; // no such case here
            const FileDescriptor folder(::open(dir.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            return renameNoReplaceWithoutFlag(folder.get(), from, folder.get(), to) == 0 ? 0 : errno;
        });
        if (code == 100) GTEST_SKIP() << "hard links of another's files are allowed here (fs.protected_hardlinks is 0)";
        EXPECT_EQ(code, row.code) << row.name << ": " << std::strerror(code);
        EXPECT_EQ(inodeOf(dir / from), row.code == 0 ? 0 : moving) << row.name;
        EXPECT_EQ(inodeOf(dir / to), row.code == 0 ? moving : there) << row.name;
    }
}
