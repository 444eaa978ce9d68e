#include "engine/VolumeProbe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "engine/PathText.h"
#include "platform/DirectoryListing.h"
#include "platform/FileDescriptor.h"
#include "platform/FileManager.h"
#include "platform/MainBundle.h"
#include "platform/Path.h"
#include "platform/ProcessRunner.h"
#include "platform/Text.h"
#include "platform/VolumeCapacity.h"

namespace sorvel {

int64_t VolumeStats::used() const {
    if (usedCapacity) return std::max<int64_t>(0, *usedCapacity);
    return std::max<int64_t>(0, totalCapacity - availableCapacity);
}

namespace VolumeProbe {

namespace {

// Listing names is not reading: a folder this user may list but not enter (read without
// execute) lets nothing inside it be looked at or opened.
bool canList(const std::string& path) {
    auto listing = DirectoryListing::open(path);
    if (!listing) return false;
    while (listing->next()) {
    }
    return !listing->failed() && searchRefusal(listing->descriptor()) == 0;
}

// O_NONBLOCK: a FIFO without a writer must not hold the caller up.
bool canReadOneByte(const std::string& path) {
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid()) return false;
    char byte;
    ssize_t n;
    do {
        n = ::read(fd.get(), &byte, 1);
    } while (n < 0 && errno == EINTR);
    return n >= 0;
}

std::optional<std::string> runReadOnly(const std::string& executable, const std::vector<std::string>& arguments) {
    if (!ProcessRunner::isExecutableFile(executable)) return std::nullopt;
    auto result = ProcessRunner::run(executable, arguments);
    if (!result.launched || result.timedOut) return std::nullopt;
    if (!isValidUTF8(result.out)) return std::nullopt;
    return result.out;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int number(const std::string& s, size_t from, size_t count) {
    int n = 0;
    for (size_t i = from; i < from + count; ++i) n = n * 10 + (s[i] - '0');
    return n;
}

} // namespace

VolumeStats stats(const std::string& path) {
    VolumeStats s;
    // A home that cannot be read (or is not there) still lies on a disk: the root file
    // system's figures then, and none at all before a zero would pass for a size.
    auto c = volumeCapacity(path);
    if (!c && path != "/") c = volumeCapacity("/");
    if (!c) s.measured = false;
    if (c) {
        s.totalCapacity = c->total;
        s.availableCapacity = c->available;
        s.availableForImportantUsage = c->availableForImportantUsage;
        s.usedCapacity = c->used;
    }
    return s;
}

std::vector<std::string> accessProbes() {
    const std::string home = homeDirectory();
    return {"/Library/Application Support/com.apple.TCC/TCC.db",
            home + "/Library/Application Support/com.apple.TCC/TCC.db",
            home + "/Library/Safari/CloudTabs.db", home + "/Library/Safari/Bookmarks.plist",
            home + "/Library/Mail"};
}

bool canRead(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return canList(path);
    return canReadOneByte(path);
}

bool hasFullDiskAccess() {
    for (const auto& probe : accessProbes())
        if (canRead(probe)) return true;
    return false;
}

std::optional<Date> snapshotDate(const std::string& stamp) {
    // yyyy-MM-dd-HHmmss
    static const char* const shape = "dddd-dd-dd-dddddd";
    if (stamp.size() != 17) return std::nullopt;
    for (size_t i = 0; i < 17; ++i) {
        if (shape[i] == 'd' ? !isDigit(stamp[i]) : stamp[i] != shape[i]) return std::nullopt;
    }
    std::tm parts{};
    parts.tm_year = number(stamp, 0, 4) - 1900;
    parts.tm_mon = number(stamp, 5, 2) - 1;
    parts.tm_mday = number(stamp, 8, 2);
    parts.tm_hour = number(stamp, 11, 2);
    parts.tm_min = number(stamp, 13, 2);
    parts.tm_sec = number(stamp, 15, 2);
    parts.tm_isdst = -1;
    std::tm given = parts;
    errno = 0;
    std::time_t t = std::mktime(&parts);
    if (t == static_cast<std::time_t>(-1) && errno != 0) return std::nullopt;
    // mktime carries 31 April into May; such a stamp names no moment.
    if (parts.tm_year != given.tm_year || parts.tm_mon != given.tm_mon ||
        parts.tm_mday != given.tm_mday || parts.tm_hour != given.tm_hour ||
        parts.tm_min != given.tm_min || parts.tm_sec != given.tm_sec)
        return std::nullopt;
    return dateFromUnixSeconds(static_cast<int64_t>(t));
}

std::vector<LocalSnapshot> snapshotsFromOutput(const std::string& output) {
    std::vector<LocalSnapshot> snapshots;
    size_t start = 0;
    while (start <= output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        std::string piece = output.substr(start, end - start);
        start = end + 1;
        size_t first = piece.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        size_t last = piece.find_last_not_of(" \t");
        piece = piece.substr(first, last - first + 1);
        if (!isDigit(piece[0])) continue;
        LocalSnapshot s;
        s.name = piece;
        s.date = snapshotDate(piece);
        snapshots.push_back(std::move(s));
    }
    // Newest first; a snapshot without a date counts as the distant past.
    std::stable_sort(snapshots.begin(), snapshots.end(), [](const LocalSnapshot& a, const LocalSnapshot& b) {
        if (!a.date) return false;
        if (!b.date) return true;
        return *a.date > *b.date;
    });
    return snapshots;
}

std::vector<LocalSnapshot> localSnapshots(const std::string& tool) {
    auto output = runReadOnly(tool, {"listlocalsnapshotdates", "/"});
    if (!output) return {};
    return snapshotsFromOutput(*output);
}

std::string describeAccess() {
    std::string report = "Full Disk Access probes:";
    int readable = 0, blocked = 0, absent = 0;
    for (const auto& probe : accessProbes()) {
        const bool read = canRead(probe);
        // A probe this user may not even look for is there as far as the user can tell.
        const bool exists = !read && FileManager::presence(probe) != FileManager::Presence::absent;
        (read ? readable : exists ? blocked : absent) += 1;
        const char* status = read ? "read  " : exists ? "BLOCKED" : "absent ";
        report += "\n  [";
        report += status;
        report += "] ";
        report += printable(tildeAbbreviated(probe));
    }
    // No process here runs from an app bundle, so nothing can be granted: only what this
    // user may read is true.
    report += "\n\nResult: nothing to grant outside an app bundle \u2014 readable by this user: " +
              std::to_string(readable) + ", blocked: " + std::to_string(blocked) + ", absent: " + std::to_string(absent);
    report += "\nProgram folder: ";
    report += printable(mainBundlePath());
    return report;
}

} // namespace VolumeProbe
} // namespace sorvel
