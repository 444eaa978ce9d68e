#include "platform/FileManager.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/DirectoryListing.h"
#include "platform/Path.h"

namespace sorvel::FileManager {

std::optional<std::vector<std::string>> contentsOfDirectory(const std::string &path) {
    return DirectoryListing::names(path);
}

bool fileExists(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

Presence presence(const std::string &path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0)
        return Presence::present;
    return errno == EACCES || errno == EPERM ? Presence::hidden : Presence::absent;
}

std::optional<std::string> hidingFolder(const std::string &path) {
    if (presence(path) != Presence::hidden)
        return std::nullopt;
    // The deepest folder above that can itself be looked at is the one refusing the search.
    for (std::string folder = deletingLastPathComponent(path); !folder.empty();
         folder = deletingLastPathComponent(folder)) {
        if (presence(folder) == Presence::present)
            return folder;
        if (folder == "/")
            break;
    }
    return std::nullopt;
}

bool isDirectory(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool canLookInside(const std::string &path) {
    auto listing = DirectoryListing::open(path);
    return listing && searchRefusal(listing->descriptor()) == 0;
}

std::optional<std::string> linkTarget(const std::string &path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return std::nullopt;
    std::string text(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    for (;;) {
        countPathResolution();
        const ssize_t got = readlink(path.c_str(), text.data(), text.size());
        if (got < 0)
            return std::nullopt;
        if (static_cast<size_t>(got) < text.size()) {
            text.resize(static_cast<size_t>(got));
            return text;
        }
        if (text.size() > 65536)
            return std::nullopt;
        text.resize(text.size() * 2);
    }
}

std::optional<Date> modificationDate(const std::string &path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return std::nullopt;
    // A time stamp past the clock's ends (anyone may set one) is clamped, not wrapped.
    const Date whole = dateFromUnixSeconds(static_cast<int64_t>(st.st_mtim.tv_sec));
    if (std::chrono::floor<std::chrono::seconds>(whole.time_since_epoch()).count() != st.st_mtim.tv_sec) return whole;
    return whole + std::chrono::duration_cast<Date::duration>(std::chrono::nanoseconds{st.st_mtim.tv_nsec});
}

std::optional<int64_t> fileSize(const std::string &path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<int64_t>(st.st_size);
}

} // namespace sorvel::FileManager
