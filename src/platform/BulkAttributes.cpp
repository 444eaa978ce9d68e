#include "platform/BulkAttributes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/QuietOpen.h"

namespace sorvel {
namespace {

constexpr attrgroup_t kSupportedCommon = ATTR_CMN_NAME | ATTR_CMN_DEVID | ATTR_CMN_OBJTYPE |
                                         ATTR_CMN_MODTIME | ATTR_CMN_FILEID |
                                         ATTR_CMN_RETURNED_ATTRS;
constexpr attrgroup_t kSupportedDir = ATTR_DIR_MOUNTSTATUS;
constexpr attrgroup_t kSupportedFile = ATTR_FILE_LINKCOUNT | ATTR_FILE_ALLOCSIZE;

// Directory entries are read in chunks of at most a quarter of the room left in the
// caller's buffer: a record is at most 64 bytes longer than the kernel's entry for the
// same name, and a kernel entry is at least 24 bytes, so every entry of such a chunk is
// sure to fit and the directory offset never has to be moved back.
constexpr size_t kChunkBytes = 32768;
constexpr size_t kMinChunkBytes = 512; // more than the largest kernel entry (~280 bytes)

void put32(unsigned char* p, uint32_t v) { std::memcpy(p, &v, 4); }
void put64(unsigned char* p, uint64_t v) { std::memcpy(p, &v, 8); }

uint32_t objectType(uint16_t mode) {
    switch (mode & S_IFMT) {
    case S_IFREG: return VREG;
    case S_IFDIR: return VDIR;
    case S_IFLNK: return VLNK;
    case S_IFBLK: return VBLK;
    case S_IFCHR: return VCHR;
    case S_IFSOCK: return VSOCK;
    case S_IFIFO: return VFIFO;
    default: return VNON;
    }
}

size_t roundUp8(size_t n) { return (n + 7) & ~size_t{7}; }

struct Returned {
    attrgroup_t common = 0;
    attrgroup_t dir = 0;
    attrgroup_t file = 0;
};

size_t valueBytes(Returned r) {
    size_t n = 0;
    if (r.common & ATTR_CMN_NAME) n += 8;
    if (r.common & ATTR_CMN_DEVID) n += kBulkDeviceFieldSize;
    if (r.common & ATTR_CMN_OBJTYPE) n += 4;
    if (r.common & ATTR_CMN_MODTIME) n += 16;
    if (r.common & ATTR_CMN_FILEID) n += 8;
    if (r.dir & ATTR_DIR_MOUNTSTATUS) n += 4;
    if (r.file & ATTR_FILE_LINKCOUNT) n += 4;
    if (r.file & ATTR_FILE_ALLOCSIZE) n += 8;
    return n;
}

// Writes one record at `rec`, which has room for `size` bytes.
void writeRecord(unsigned char* rec, size_t size, Returned r, const struct statx& sx,
                 const char* name, size_t nameLength) {
    std::memset(rec, 0, size);
    put32(rec + 0, static_cast<uint32_t>(size));
    put32(rec + 4, r.common);
    put32(rec + 12, r.dir);
    put32(rec + 16, r.file);
    unsigned char* p = rec + kBulkRecordHeaderSize;
    unsigned char* nameReference = nullptr;
    if (r.common & ATTR_CMN_NAME) {
        nameReference = p;
        p += 8;
    }
    if (r.common & ATTR_CMN_DEVID) {
        put64(p, makedev(sx.stx_dev_major, sx.stx_dev_minor));
        p += kBulkDeviceFieldSize;
    }
    if (r.common & ATTR_CMN_OBJTYPE) {
        put32(p, objectType(sx.stx_mode));
        p += 4;
    }
    if (r.common & ATTR_CMN_MODTIME) {
        put64(p, static_cast<uint64_t>(sx.stx_mtime.tv_sec));
        put64(p + 8, static_cast<uint64_t>(sx.stx_mtime.tv_nsec));
        p += 16;
    }
    if (r.common & ATTR_CMN_FILEID) {
        put64(p, sx.stx_ino);
        p += 8;
    }
    if (r.dir & ATTR_DIR_MOUNTSTATUS) {
        put32(p, (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) ? DIR_MNTSTATUS_MNTPOINT : 0);
        p += 4;
    }
    if (r.file & ATTR_FILE_LINKCOUNT) {
        put32(p, sx.stx_nlink);
        p += 4;
    }
    if (r.file & ATTR_FILE_ALLOCSIZE) {
        put64(p, sx.stx_blocks * 512);
        p += 8;
    }
    if (nameReference) {
        put32(nameReference, static_cast<uint32_t>(p - nameReference));
        put32(nameReference + 4, static_cast<uint32_t>(nameLength + 1));
        std::memcpy(p, name, nameLength); // the NUL after it comes from the memset
    }
}

} // namespace

int getattrlistbulk(int dirfd, const attrlist* request, void* buffer, size_t bufferSize,
                    uint64_t options, size_t* filledBytes) {
    if (filledBytes) *filledBytes = 0;
    if (!request || request->bitmapcount != ATTR_BIT_MAP_COUNT || options != 0 || !buffer) {
        errno = EINVAL;
        return -1;
    }
    const attrgroup_t wantCommon = request->commonattr & kSupportedCommon;
    const attrgroup_t wantDir = request->dirattr & kSupportedDir;
    const attrgroup_t wantFile = request->fileattr & kSupportedFile;
    // What the kernel holds of each entry, never a wait on the process serving a mount whose
    // root is listed here (a stopped FUSE daemon would hold the listing for ever).
    constexpr int kEntryFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC;
    unsigned statxMask = STATX_TYPE | STATX_MODE;
    if (wantCommon & ATTR_CMN_MODTIME) statxMask |= STATX_MTIME;
    if (wantCommon & ATTR_CMN_FILEID) statxMask |= STATX_INO;
    if (wantFile & ATTR_FILE_LINKCOUNT) statxMask |= STATX_NLINK;
    if (wantFile & ATTR_FILE_ALLOCSIZE) statxMask |= STATX_BLOCKS;

    auto* out = static_cast<unsigned char*>(buffer);
    alignas(8) unsigned char dents[kChunkBytes];
    size_t used = 0;
    int count = 0;
    bool haveResumePoint = false; // whether `resumeOffset` says where the next entry starts
    off_t resumeOffset = 0;

    for (;;) {
        const size_t room = bufferSize - used;
        size_t chunk = std::min(kChunkBytes, room / 4);
        if (chunk < kMinChunkBytes) {
            if (count > 0) break;
            // A buffer too small for the safe chunk size: read anyway and give back
            // whatever does not fit.
            chunk = kMinChunkBytes;
            if (!haveResumePoint) {
                resumeOffset = lseek(dirfd, 0, SEEK_CUR);
                haveResumePoint = resumeOffset >= 0;
            }
        }
        const ssize_t n = getdents64(dirfd, dents, chunk);
        if (n < 0) {
            if (count > 0) break; // the error shows again on the next call
            return -1;
        }
        if (n == 0) break; // exhausted

        for (ssize_t at = 0; at < n;) {
            const auto* d = reinterpret_cast<const struct dirent64*>(dents + at);
            at += d->d_reclen;
            const char* name = d->d_name;
            const size_t nameLength = std::strlen(name);
            const bool dotOrDotDot =
                name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
            struct statx sx;
            if (dotOrDotDot ||
                statx(dirfd, name, kEntryFlags, statxMask, &sx) != 0) {
                // Left out: the entry vanished, or cannot be described.
                resumeOffset = d->d_off;
                haveResumePoint = true;
                continue;
            }
            Returned r;
            r.common = wantCommon & (ATTR_CMN_NAME | ATTR_CMN_DEVID | ATTR_CMN_RETURNED_ATTRS);
            if (sx.stx_mask & STATX_TYPE) r.common |= wantCommon & ATTR_CMN_OBJTYPE;
            if (sx.stx_mask & STATX_MTIME) r.common |= wantCommon & ATTR_CMN_MODTIME;
            if (sx.stx_mask & STATX_INO) r.common |= wantCommon & ATTR_CMN_FILEID;
            if (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) r.dir |= wantDir & ATTR_DIR_MOUNTSTATUS;
            if (sx.stx_mask & STATX_NLINK) r.file |= wantFile & ATTR_FILE_LINKCOUNT;
            if (sx.stx_mask & STATX_BLOCKS) r.file |= wantFile & ATTR_FILE_ALLOCSIZE;
            const size_t size = roundUp8(kBulkRecordHeaderSize + valueBytes(r) +
                                         ((r.common & ATTR_CMN_NAME) ? nameLength + 1 : 0));
            if (size > bufferSize - used) {
                // Give this entry and the rest of the chunk back to the next call.
                if (!haveResumePoint || lseek(dirfd, resumeOffset, SEEK_SET) < 0 || count == 0) {
                    errno = ERANGE;
                    return -1;
                }
                if (filledBytes) *filledBytes = used;
                return count;
            }
            writeRecord(out + used, size, r, sx, name, nameLength);
            used += size;
            ++count;
            resumeOffset = d->d_off;
            haveResumePoint = true;
        }
        // A chunk the kernel left well short of full almost always means the listing is
        // done; let the next call confirm it rather than asking again here.
        if (count > 0 && static_cast<size_t>(n) + kMinChunkBytes < chunk) break;
    }
    if (filledBytes) *filledBytes = used;
    return count;
}

int openDirectory(const char* path) {
    constexpr int kFinalFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
    int fd = openQuietly(path, kFinalFlags);
    if (fd >= 0 || errno != ENAMETOOLONG) return fd;

    // Too long for one call: walk down in pieces that each stay well below the limit.
    std::string rest(path);
    int current = open(rest[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (current < 0) return -1;
    size_t start = rest.find_first_not_of('/');
    if (start == std::string::npos) {
        close(current);
        return openQuietly(path, kFinalFlags);
    }
    rest.erase(0, start);
    constexpr size_t kPiece = 2048;
    while (!rest.empty()) {
        size_t cut = rest.size();
        bool last = true;
        if (rest.size() > kPiece) {
            cut = rest.rfind('/', kPiece);
            if (cut == std::string::npos || cut == 0) cut = rest.find('/');
            last = cut == std::string::npos;
            if (last) cut = rest.size();
        }
        std::string piece = rest.substr(0, cut);
        size_t next = rest.find_first_not_of('/', cut);
        if (next == std::string::npos) {
            last = true;
            rest.clear();
        } else {
            rest.erase(0, next);
        }
        int opened = last ? openatQuietly(current, piece.c_str(), kFinalFlags)
                          : openat(current, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        int saved = errno;
        close(current);
        if (opened < 0) {
            errno = saved;
            return -1;
        }
        current = opened;
    }
    return current;
}

} // namespace sorvel
