#include "cli/ReportOutput.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace sorvel::ReportOutput {
namespace {

// 0 on success, else the errno of the failed write.
int writeAll(int fd, const std::string &text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        done += static_cast<size_t>(n);
    }
    return 0;
}

} // namespace

int emit(const std::string &text) {
    // A reader that went away should give an error we can report, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    if (int error = writeAll(STDOUT_FILENO, text); error != 0) {
        // The reader stopped reading (`| head`): end quietly, as a program that SIGPIPE
        // ends would, but still not as a success.
        if (error == EPIPE) return kReaderGone;
        diagnostic(std::string("sorvel: could not write the report: ") + std::strerror(error) + "\n");
        return 1;
    }
    return 0;
}

void diagnostic(const std::string &text) {
    std::signal(SIGPIPE, SIG_IGN);
    (void)writeAll(STDERR_FILENO, text);
}

} // namespace sorvel::ReportOutput
