#include "cli/CommandPath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/ReportOutput.h"
#include "platform/FileDescriptor.h"
#include "platform/Text.h"

namespace sorvel::CommandPath {

int check(const std::string& argument, const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        if (path.empty() || errno == ENOENT || errno == ENOTDIR || errno == ELOOP || errno == ENAMETOOLONG) {
            ReportOutput::diagnostic("No such path: " + printable(argument) + "\n");
        } else {
            return cannotRead(argument, errno);
        }
        return 1;
    }
    // O_NONBLOCK: a FIFO given as the path must not wait for a writer.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (S_ISDIR(st.st_mode) ? O_DIRECTORY : 0);
    const FileDescriptor fd(::open(path.c_str(), flags));
    if (!fd.valid()) return cannotRead(argument, errno);
    return 0;
}

int cannotRead(const std::string& argument, int error) {
    ReportOutput::diagnostic("Cannot read: " + printable(argument) + " (" + std::strerror(error) + ")\n");
    return 1;
}

} // namespace sorvel::CommandPath
