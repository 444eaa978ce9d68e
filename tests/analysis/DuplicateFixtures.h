#pragma once
// Files for the duplicate finder tests: contents with a chosen pattern and date.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "analysis/DuplicateFinder.h"
#include "engine/BulkDirectoryReader.h"
#include "platform/BulkAttributes.h"
#include "platform/SHA256.h"
#include "support/TestSupport.h"

namespace sorvel::test {

inline constexpr size_t kTwoMB = 2'000'000;

/// `bytes` bytes made from `seed` (different seeds give different contents everywhere).
inline std::string patterned(size_t bytes, char seed) {
    std::string s(bytes, '\0');
    for (size_t i = 0; i < bytes; ++i) s[i] = static_cast<char>(seed + (i * 31 + i / 4096) % 97);
    return s;
}

inline void setModified(const std::string& path, std::time_t seconds) {
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

/// Written back now: before that the file system may count a block more for a file, and
/// copies measured on either side of the write-back would not read as one size.
inline void writeBack(const std::string& path) {
    if (const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

inline void writeDated(const std::string& path, const std::string& contents, std::time_t seconds) {
    writeFile(path, contents);
    writeBack(path);
    setModified(path, seconds);
}

/// The defaults, with the home-relative exclusions of whatever HOME is now.
inline DuplicateFinder::Report scanOne(const std::string& root,
                                       const DuplicateFinder::Options& options = {}) {
    ScanControl control;
    return DuplicateFinder::scan({root}, options, control);
}

} // namespace sorvel::test
