#include "cli/CommandPath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/ReportOutput.h"
#include "engine/PathText.h"
#include "platform/BulkAttributes.h"
#include "platform/DirectoryListing.h"
#include "platform/FileDescriptor.h"
#include "platform/FileManager.h"
#include "platform/RegularFile.h"
#include "platform/Text.h"

namespace sorvel::CommandPath {

namespace {

// Why `path` cannot be looked at (0: it can). Past PATH_MAX it may well be there, so it is
// looked at again, folder by folder: if it is, the reason stays that it is too long.
int lookError(const std::string& path) {
    struct stat st {};
    if (path.empty()) return ENOENT;
    if (::stat(path.c_str(), &st) == 0) return 0;
    const int error = errno;
    if (error != ENAMETOOLONG) return error;
    return statAnyLength(path.c_str(), &st) == 0 ? ENAMETOOLONG : errno;
}

int noSuchPath(const std::string& argument) {
    ReportOutput::diagnostic("No such path: " + printable(argument) + "\n");
    return 1;
}

int notThere(const std::string& argument, const std::string& path) {
    const int error = lookError(path);
    if (error == 0 || error == ENOENT || error == ENOTDIR || error == ELOOP) return noSuchPath(argument);
    return cannotRead(argument, error);
}

} // namespace

int cannotRead(const std::string& argument, int error) {
    ReportOutput::diagnostic("Cannot read: " + printable(argument) + " (" + std::strerror(error) + ")\n");
    return 1;
}

int missing(const std::string& argument, const std::string& path) {
    if (lookError(path) == ENAMETOOLONG) return cannotRead(argument, ENAMETOOLONG);
    return noSuchPath(argument);
}

int enterable(const std::string& argument, const std::string& path) {
    const FileDescriptor fd(openDirectory(path.c_str()));
    const int refusal = fd.valid() ? searchRefusal(fd.get()) : 0;
    return refusal != 0 ? cannotRead(argument, refusal) : 0;
}

int folder(const std::string& argument, const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return notThere(argument, path);
    if (!S_ISDIR(st.st_mode)) {
        ReportOutput::diagnostic("Not a folder: " + printable(argument) + "\n");
        return 1;
    }
    if (const int status = check(argument, path); status != 0) return status;
    return enterable(argument, path);
}

std::string unreadableNote(int64_t folders) {
    if (folders < 1) return {};
    return std::to_string(folders) + (folders == 1 ? " folder" : " folders") +
           " not readable by this user";
}

std::string mountedNote(int64_t folders) {
    if (folders < 1) return {};
    // A bind mount of the walk's own file system is left out as well: "another file system" would not hold.
    return std::to_string(folders) + (folders == 1 ? " folder" : " folders") + " where a file system or a folder is mounted";
}

int nothingReadUnder(const std::string& argument) {
    ReportOutput::diagnostic("Cannot read anything under " + printable(argument) + " (" + std::strerror(EACCES) + ")\n");
    return 1;
}

int nothingReadable(const std::string& path) {
    const std::string refusing = FileManager::hidingFolder(path).value_or(path);
    return cannotRead(tildeAbbreviated(refusing), EACCES);
}

int check(const std::string& argument, const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return notThere(argument, path);
    // A socket cannot be opened at all (ENXIO), yet it is there to be described like any
    // other non-folder.
    if (S_ISSOCK(st.st_mode)) return 0;
    // O_NONBLOCK: a FIFO given as the path must not wait for a writer.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (S_ISDIR(st.st_mode) ? O_DIRECTORY : 0);
    const FileDescriptor fd(::open(path.c_str(), flags));
    if (!fd.valid()) return cannotRead(argument, errno);
    return 0;
}

} // namespace sorvel::CommandPath
