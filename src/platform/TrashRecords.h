#pragma once
// What the Trash's own records say about its entries: which original path an entry's
// info file names, whether an entry is still the object that was moved, where an item
// recorded ahead of its move ended up, and the reservations a crash left behind.
#include <cstdint>
#include <optional>
#include <string>
#include <sys/stat.h>

#include "platform/Trash.h"
#include "platform/TrashFolders.h"

namespace sorvel::Trash {

/// The absolute original path the entry's info file records; none when the record is
/// missing, unreadable or names no path.
std::optional<std::string> recordedOriginal(const Location& location);

/// True when the entry's info file is one Sorvel wrote.
bool recordedBySorvel(const Location& location);

/// Where an item recorded before its move went: the entry of the home trash, or of the
/// trash of the file system holding `originalPath`, whose record names `originalPath` (and
/// is Sorvel's own with `sorvelsOnly`) and whose object the identity admits (when one was
/// recorded). None when there is none.
std::optional<std::string> findMoved(const std::string& originalPath, const std::optional<Identity>& identity,
                                     bool sorvelsOnly = false);

/// An info file Sorvel wrote whose entry never arrived (the move was cut short) is removed
/// once it is older than this, so a move in flight elsewhere keeps its reservation.
inline constexpr int kOrphanAgeSeconds = 60;

/// Removes Sorvel's own info files without an entry in files/, the first time this process
/// uses the trash folder.
void removeOrphanRecords(const Folder& folder);
/// The same, whenever called; returns how many were removed.
int removeOrphanRecordsNow(const Folder& folder);

} // namespace sorvel::Trash
