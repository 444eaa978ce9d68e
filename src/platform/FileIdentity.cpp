#include "platform/FileIdentity.h"

#include <sys/stat.h>

namespace sorvel {
namespace {

FileIdentity of(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

} // namespace

std::optional<FileIdentity> fileIdentity(const std::string& path, bool followLinks) {
    struct stat st;
    if (path.find('\0') != std::string::npos) return std::nullopt;
    const int rc = followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    if (rc != 0) return std::nullopt;
    return of(st);
}

} // namespace sorvel
