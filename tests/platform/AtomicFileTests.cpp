#include <gtest/gtest.h>

#include <dirent.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* e = readdir(dir))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.emplace_back(e->d_name);
        closedir(dir);
    }
    return names;
}

} // namespace

// Whichever way `fill` fails, the old contents stay and no temporary file is left beside
// them; only a fill that succeeds replaces the file.
TEST(AtomicFile, EveryFailedFillLeavesTheOldFileAndNoTemporary) {
    const struct {
        const char* what;
        std::function<int(int)> fill;
        int status;      // what writeWith returns (-1: it throws)
        const char* contents;
    } rows[] = {
        {"succeeds", [](int fd) { return AtomicFile::writeAll(fd, "new"); }, 0, "new"},
        {"returns an errno", [](int fd) { return AtomicFile::writeAll(fd, "half") == 0 ? EIO : 0; }, EIO, "old"},
        {"throws after writing", [](int fd) -> int {
             (void)AtomicFile::writeAll(fd, "half");
             throw std::runtime_error("fill failed");
         }, -1, "old"},
        {"throws anything", [](int) -> int { throw 42; }, -1, "old"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        test::TempDir dir;
        const std::string path = dir / "defaults.json";
        test::writeFile(path, "old");
        int status = -2;
        bool threw = false;
        try {
            status = AtomicFile::writeWith(path, 0644, row.fill);
        } catch (...) {
            threw = true;
        }
        EXPECT_EQ(threw, row.status == -1);
        if (!threw) {
            EXPECT_EQ(status, row.status);
        }
        EXPECT_EQ(test::readFile(path), row.contents);
        EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"defaults.json"});
    }
}
