#include "cli/CommandPath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/ReportOutput.h"
#include "platform/Text.h"

namespace sorvel::CommandPath {

int check(const std::string& argument, const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        if (path.empty() || errno == ENOENT || errno == ENOTDIR || errno == ELOOP || errno == ENAMETOOLONG) {
            ReportOutput::diagnostic("No such path: " + printable(argument) + "\n");
        } else {
            ReportOutput::diagnostic("Cannot read: " + printable(argument) + " (" + std::strerror(errno) + ")\n");
        }
        return 1;
    }
    // O_NONBLOCK: a FIFO given as the path must not wait for a writer.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (S_ISDIR(st.st_mode) ? O_DIRECTORY : 0);
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        ReportOutput::diagnostic("Cannot read: " + printable(argument) + " (" + std::strerror(errno) + ")\n");
        return 1;
    }
    ::close(fd);
    return 0;
}

} // namespace sorvel::CommandPath
