#pragma once
// Per-file attribute query for the extended common attributes that say how much of a
// file's storage is its own. Built here from stat(2) and the file's extent map: a file
// with more than one name shares all its blocks with another name (private size 0);
// otherwise its private size is its allocation less the extents another file holds too
// (reflinked copies), and its clone identifier comes from where those shared extents
// lie. Where the file system keeps no extent map, the private size is the allocation
// and the clone identifier 0.
//
// Result layout (little-endian, packed): u32 length of the filled bytes, this field
// included, then each requested value in attribute-bit order:
//   ATTR_CMNEXT_PRIVATESIZE  i64 bytes
//   ATTR_CMNEXT_CLONEID      u64 clone identifier
#include <cstddef>
#include <cstdint>

#include "platform/BulkAttributes.h"

namespace sorvel {

inline constexpr attrgroup_t ATTR_CMNEXT_PRIVATESIZE = 0x8;
inline constexpr attrgroup_t ATTR_CMNEXT_CLONEID = 0x100;
/// Makes the fork field of the request name extended common attributes.
inline constexpr uint64_t FSOPT_ATTR_CMN_EXTENDED = 0x20;

/// Fills `buffer` for the file at `path` (a final symbolic link is followed). Only the
/// two extended attributes above may be asked for, and only with
/// FSOPT_ATTR_CMN_EXTENDED; anything else fails with EINVAL, a buffer too small for the
/// answer with ERANGE. Returns 0, or -1 with errno set.
int getattrlist(const char* path, const attrlist* request, void* buffer, size_t bufferSize,
                uint64_t options);

} // namespace sorvel
