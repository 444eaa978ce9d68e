#pragma once
// Parsing of bulk attribute records into DirectoryEntry values. A template, so that
// each caller's sink is compiled into the loop.
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/BulkAttributes.h"
#include "platform/MountBorder.h"

namespace sorvel::BulkDirectoryReader {
namespace detail {

inline constexpr size_t kBufferSize = 131072;

inline constexpr attrlist kRequest = [] {
    attrlist a;
    a.bitmapcount = ATTR_BIT_MAP_COUNT;
    a.commonattr = ATTR_CMN_NAME | ATTR_CMN_DEVID | ATTR_CMN_OBJTYPE | ATTR_CMN_MODTIME |
                   ATTR_CMN_FILEID | ATTR_CMN_RETURNED_ATTRS;
    a.dirattr = ATTR_DIR_MOUNTSTATUS;
    a.fileattr = ATTR_FILE_LINKCOUNT | ATTR_FILE_ALLOCSIZE;
    return a;
}();

/// The record buffer of one read: kBufferSize bytes, zero-filled when first made and
/// kept per thread, so a directory costs no allocation. A nested read on the same
/// thread gets a buffer of its own.
class Buffer {
public:
    Buffer();
    ~Buffer();
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    unsigned char* data() const { return data_; }

private:
    unsigned char* data_;
    bool pooled_;
};

inline uint32_t load32(const unsigned char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline uint64_t load64(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline void resetEntry(DirectoryEntry& e) {
    e.name.clear(); // keeps its capacity for the next record
    e.isDirectory = e.isRegularFile = e.isSymlink = false;
    e.allocatedSize = 0;
    e.linkCount = 1;
    e.device = 0;
    e.fileID = 0;
    e.mountRoot.reset();
    e.modified.reset();
}

/// Hands each of the `count` records in the first `filled` bytes of `buffer` to the
/// sink. False when a record is malformed (shorter than its header, running past the
/// filled bytes, a value or the name reference outside the record): the batch ends there.
template <typename Sink>
bool parseBatch(const unsigned char* buffer, size_t filled, int count, DirectoryEntry& entry,
                Sink& sink) {
    size_t at = 0;
    for (int i = 0; i < count; ++i) {
        if (filled - at < kBulkRecordHeaderSize) return false;
        const uint32_t length = load32(buffer + at);
        if (length < kBulkRecordHeaderSize || length > filled - at) return false;
        const unsigned char* record = buffer + at;
        const unsigned char* end = record + length;
        const uint32_t common = load32(record + 4);
        const uint32_t dir = load32(record + 12);
        const uint32_t file = load32(record + 16);
        const unsigned char* p = record + kBulkRecordHeaderSize;
        auto fits = [&](size_t n) { return static_cast<size_t>(end - p) >= n; };

        resetEntry(entry);
        if (common & ATTR_CMN_NAME) {
            if (!fits(8)) return false;
            const int64_t offset = static_cast<int32_t>(load32(p));
            const uint64_t nameLength = load32(p + 4);
            const int64_t start = (p - record) + offset;
            if (start < 0 || start > static_cast<int64_t>(length) ||
                nameLength > static_cast<uint64_t>(length - start))
                return false;
            const char* name = reinterpret_cast<const char*>(record + start);
            const void* nul = std::memchr(name, 0, nameLength);
            entry.name.assign(name, nul ? static_cast<const char*>(nul) - name : nameLength);
            p += 8;
        }
        if (common & ATTR_CMN_DEVID) {
            if (!fits(kBulkDeviceFieldSize)) return false;
            entry.device = load64(p);
            p += kBulkDeviceFieldSize;
        }
        if (common & ATTR_CMN_OBJTYPE) {
            if (!fits(4)) return false;
            const uint32_t type = load32(p);
            entry.isDirectory = type == VDIR;
            entry.isRegularFile = type == VREG;
            entry.isSymlink = type == VLNK;
            p += 4;
        }
        if (common & ATTR_CMN_MODTIME) {
            if (!fits(16)) return false;
            entry.modified = dateFromUnixSeconds(static_cast<int64_t>(load64(p)));
            p += 16;
        }
        if (common & ATTR_CMN_FILEID) {
            if (!fits(8)) return false;
            entry.fileID = load64(p);
            p += 8;
        }
        if (dir & ATTR_DIR_MOUNTSTATUS) {
            if (!fits(4)) return false;
            entry.mountRoot = (load32(p) & DIR_MNTSTATUS_MNTPOINT) != 0;
            p += 4;
        }
        if (file & ATTR_FILE_LINKCOUNT) {
            if (!fits(4)) return false;
            entry.linkCount = load32(p);
            p += 4;
        }
        if (file & ATTR_FILE_ALLOCSIZE) {
            if (!fits(8)) return false;
            entry.allocatedSize = static_cast<int64_t>(load64(p));
            p += 8;
        }
        if (!entry.name.empty()) sink(static_cast<const DirectoryEntry&>(entry));
        at += length;
    }
    return true;
}

/// The read loop over any call with the bulk read's signature (tests feed it records).
template <typename BulkCall, typename Sink>
bool readWith(int directoryFD, BulkCall&& call, Sink& sink) {
    Buffer buffer;
    DirectoryEntry entry;
    bool readABatch = false;
    for (;;) {
        size_t filled = 0;
        const int n = call(directoryFD, &kRequest, buffer.data(), kBufferSize, uint64_t{0}, &filled);
        if (n < 0) return readABatch;
        if (n == 0) return true;
        readABatch = true;
        if (filled > kBufferSize) filled = kBufferSize;
        if (!parseBatch(buffer.data(), filled, n, entry, sink)) return true;
    }
}

inline void entryFromStat(DirectoryEntry& e, const char* name, const struct stat& st,
                          std::optional<bool> mountRoot = std::nullopt) {
    e.name.assign(name);
    const auto type = st.st_mode & S_IFMT;
    e.isDirectory = type == S_IFDIR;
    e.isRegularFile = type == S_IFREG;
    e.isSymlink = type == S_IFLNK;
    e.allocatedSize = static_cast<int64_t>(st.st_blocks) * 512;
    e.linkCount = static_cast<uint32_t>(st.st_nlink);
    e.device = static_cast<uint64_t>(st.st_dev);
    e.fileID = static_cast<uint64_t>(st.st_ino);
    e.mountRoot = mountRoot;
    e.modified = dateFromUnixSeconds(static_cast<int64_t>(st.st_mtim.tv_sec));
}

} // namespace detail

template <typename Sink> bool read(int directoryFD, Sink&& sink) {
    return detail::readWith(
        directoryFD,
        [](int fd, const attrlist* request, void* buffer, size_t size, uint64_t options,
           size_t* filled) { return getattrlistbulk(fd, request, buffer, size, options, filled); },
        sink);
}

template <typename Sink> void readFallback(DIR* directory, Sink&& sink) {
    rewinddir(directory);
    const int fd = dirfd(directory);
    DirectoryEntry entry;
    while (const struct dirent* d = ::readdir(directory)) {
        const char* name = d->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        struct stat st;
        std::optional<bool> mountRoot;
        if (!describeEntry(fd, name, st, mountRoot)) continue;
        detail::entryFromStat(entry, name, st, mountRoot);
        sink(static_cast<const DirectoryEntry&>(entry));
    }
}

template <typename Sink> void readThenClose(int directoryFD, Sink&& sink) {
    if (read(directoryFD, sink)) {
        close(directoryFD);
        return;
    }
    if (DIR* directory = fdopendir(directoryFD)) {
        readFallback(directory, sink);
        closedir(directory);
    } else {
        close(directoryFD);
    }
}

template <typename Sink> void readAll(int directoryFD, Sink&& sink) {
    if (read(directoryFD, sink)) return;
    const int copy = fcntl(directoryFD, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return;
    if (DIR* directory = fdopendir(copy)) {
        readFallback(directory, sink);
        closedir(directory);
    } else {
        close(copy);
    }
}

} // namespace sorvel::BulkDirectoryReader
