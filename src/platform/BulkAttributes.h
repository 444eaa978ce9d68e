#pragma once
// Bulk directory attribute reads: one call fills the caller's buffer with one packed
// record per directory entry, each carrying the attributes the request asks for, so a
// directory is listed without a separate stat call from the caller per entry. Built
// here from getdents64 + statx(AT_SYMLINK_NOFOLLOW).
//
// Record layout (little-endian, packed, 64-bit values not aligned):
//   0   u32  record length in bytes, this field included; the next record starts there
//   4   u32  returned common attributes (mask)
//   8   u32  returned volume attributes (always 0)
//   12  u32  returned directory attributes (mask)
//   16  u32  returned file attributes (mask)
//   20  u32  returned fork attributes (always 0)
//   24  ...  values of the returned attributes, in this order, each only when returned:
//        ATTR_CMN_NAME       attrreference_t: i32 offset of the name counted from the
//                            first byte of this reference, u32 length (NUL included)
//        ATTR_CMN_DEVID      u64 device number -- WIDER than the classic 4 bytes:
//                            Linux device numbers do not fit 32 bits
//        ATTR_CMN_OBJTYPE    u32 object type (VREG, VDIR, VLNK, ...)
//        ATTR_CMN_MODTIME    i64 seconds, i64 nanoseconds
//        ATTR_CMN_FILEID     u64 file number
//        ATTR_DIR_MOUNTSTATUS u32 DIR_MNTSTATUS_MNTPOINT when the entry is the root of a
//                            mount, else 0; returned only where the kernel says (5.8 on)
//        ATTR_FILE_LINKCOUNT u32 link count
//        ATTR_FILE_ALLOCSIZE i64 allocated bytes (st_blocks * 512)
//   then the NUL-terminated name, the record padded to a multiple of 8 bytes.
// Directory and file attributes are returned for every object type, so the two ways of listing a
// directory (bulk, or readdir + fstatat) describe each entry identically.
#include <cstddef>
#include <cstdint>

namespace sorvel {

using attrgroup_t = uint32_t;

struct attrlist {
    uint16_t bitmapcount = 0;
    uint16_t reserved = 0;
    attrgroup_t commonattr = 0;
    attrgroup_t volattr = 0;
    attrgroup_t dirattr = 0;
    attrgroup_t fileattr = 0;
    attrgroup_t forkattr = 0;
};

inline constexpr uint16_t ATTR_BIT_MAP_COUNT = 5;

inline constexpr attrgroup_t ATTR_CMN_NAME = 0x1;
inline constexpr attrgroup_t ATTR_CMN_DEVID = 0x2;
inline constexpr attrgroup_t ATTR_CMN_OBJTYPE = 0x8;
inline constexpr attrgroup_t ATTR_CMN_MODTIME = 0x400;
inline constexpr attrgroup_t ATTR_CMN_FILEID = 0x2000000;
inline constexpr attrgroup_t ATTR_CMN_RETURNED_ATTRS = 0x80000000;
inline constexpr attrgroup_t ATTR_DIR_MOUNTSTATUS = 0x8;
inline constexpr attrgroup_t ATTR_FILE_LINKCOUNT = 0x1;
inline constexpr attrgroup_t ATTR_FILE_ALLOCSIZE = 0x4;

/// The value of ATTR_DIR_MOUNTSTATUS for the root of a mount.
inline constexpr uint32_t DIR_MNTSTATUS_MNTPOINT = 0x1;

/// Object types stored for ATTR_CMN_OBJTYPE.
enum : uint32_t { VNON = 0, VREG = 1, VDIR = 2, VBLK = 3, VCHR = 4, VLNK = 5, VSOCK = 6, VFIFO = 7 };

/// Size of the fixed header of every record (length + five returned masks).
inline constexpr size_t kBulkRecordHeaderSize = 24;
/// Size of the ATTR_CMN_DEVID value in a record (see the layout above).
inline constexpr size_t kBulkDeviceFieldSize = 8;

/// Fills `buffer` with records for the next entries of the directory open on `dirfd`,
/// continuing where the previous call on that descriptor stopped ("." and ".." and
/// entries that vanish before they can be described are left out). Returns the number
/// of records, 0 once the directory is exhausted, or -1 (errno set) when the directory
/// cannot be read this way or the buffer cannot hold a single record. `options` must be
/// 0. When `filledBytes` is given it receives the number of bytes the records occupy.
int getattrlistbulk(int dirfd, const attrlist* request, void* buffer, size_t bufferSize,
                    uint64_t options, size_t* filledBytes = nullptr);

/// Opens a directory for reading without following a final symbolic link, and without
/// moving its access time where that is permitted (see QuietOpen.h). Paths longer than
/// the kernel accepts in one piece are opened component by component. -1 with errno set
/// on failure.
int openDirectory(const char* path);

} // namespace sorvel
