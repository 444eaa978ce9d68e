#include "platform/FileAttributes.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include "platform/FileExtents.h"
#include "platform/RegularFile.h"

namespace sorvel {

int getattrlist(const char* path, const attrlist* request, void* buffer, size_t bufferSize,
                uint64_t options) {
    constexpr attrgroup_t kSupported = ATTR_CMNEXT_PRIVATESIZE | ATTR_CMNEXT_CLONEID;
    if (!path || !request || !buffer || request->bitmapcount != ATTR_BIT_MAP_COUNT ||
        options != FSOPT_ATTR_CMN_EXTENDED || request->commonattr != 0 || request->volattr != 0 ||
        request->dirattr != 0 || request->fileattr != 0 || (request->forkattr & ~kSupported) != 0) {
        errno = EINVAL;
        return -1;
    }
    const attrgroup_t wanted = request->forkattr;
    const size_t needed = 4 + ((wanted & ATTR_CMNEXT_PRIVATESIZE) ? 8 : 0) +
                          ((wanted & ATTR_CMNEXT_CLONEID) ? 8 : 0);
    if (bufferSize < needed) {
        errno = ERANGE;
        return -1;
    }
    struct stat st {};
    if (statAnyLength(path, &st) != 0) return -1;
    std::optional<ExtentSharing> sharing;
    if (const int fd = openRegularFile(path); fd >= 0) {
        sharing = FileExtents::sharingOf(fd);
        ::close(fd);
    }

    auto* out = static_cast<unsigned char*>(buffer);
    const uint32_t length = static_cast<uint32_t>(needed);
    std::memcpy(out, &length, 4);
    size_t at = 4;
    if (wanted & ATTR_CMNEXT_PRIVATESIZE) {
        // Another name holds the same blocks: removing this one frees nothing.
        const int64_t allocated = static_cast<int64_t>(st.st_blocks) * 512;
        const int64_t privateSize = st.st_nlink > 1 ? 0 : sharing ? sharing->privateBytes : allocated;
        std::memcpy(out + at, &privateSize, 8);
        at += 8;
    }
    if (wanted & ATTR_CMNEXT_CLONEID) {
        const uint64_t cloneID = sharing ? sharing->cloneID : 0;
        std::memcpy(out + at, &cloneID, 8);
    }
    return 0;
}

} // namespace sorvel
