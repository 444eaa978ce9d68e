#pragma once
// Shared set-up of the removal tests: a fake home with the standard library folders.
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "cleanup/CloudStatus.h"
#include "support/TestSupport.h"

namespace sorvel::test {

/// Gives the item to the unprivileged test user when running as root, so a child that
/// drops to it may write (and move) it.
inline void giveToNobody(const std::string& path) {
    if (::geteuid() == 0) {
        [[maybe_unused]] int rc = ::lchown(path.c_str(), 65534, 65534);
    }
}

/// A block-multiple file: its allocated size is exactly `blocks` file-system blocks.
inline long long blockSize(const std::string& folder) {
    struct stat st;
    return ::stat(folder.c_str(), &st) == 0 ? static_cast<long long>(st.st_blksize) : 4096;
}

/// Messages in iCloud in the given state, not read from the settings.
inline CloudStatus cloudWithMessages(CloudState state) {
    CloudStatus status;
    status.accountID = "someone@example.com";
    status.messages = CloudService{"Messages in iCloud", state, false, {}};
    return status;
}

} // namespace sorvel::test
