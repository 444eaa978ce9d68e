#pragma once
// The few file-manager questions the evidence readers ask. None of them reports an
// error: a failure is an absent answer.
#include <optional>
#include <string>
#include <vector>

#include "platform/Date.h"

namespace sorvel::FileManager {

/// Entry names of a folder ("." and ".." left out) in the order the system lists them;
/// none when the folder cannot be opened.
std::optional<std::vector<std::string>> contentsOfDirectory(const std::string &path);
/// Something is at the path (symbolic links followed).
bool fileExists(const std::string &path);

enum class Presence { absent, present, hidden };
/// Whether something is at the path (symbolic links followed); `hidden` when this user may
/// not look, because a folder on the way refuses the search (EACCES or EPERM).
Presence presence(const std::string &path);
/// For a hidden path: the nearest folder above it that this user may not search. None
/// when the path is not hidden.
std::optional<std::string> hidingFolder(const std::string &path);
/// A directory is at the path (symbolic links followed).
bool isDirectory(const std::string &path);
/// A folder at the path that this user may both list and enter (symbolic links followed):
/// one that refuses either names nothing that can be read.
bool canLookInside(const std::string &path);
/// The item's own modification date (a final symbolic link is not followed).
std::optional<Date> modificationDate(const std::string &path);
/// The item's own size in bytes (a final symbolic link is not followed).
std::optional<int64_t> fileSize(const std::string &path);
/// Where the item points when it is itself a symbolic link (its text, as written); none for
/// anything else, or when it cannot be read.
std::optional<std::string> linkTarget(const std::string &path);

} // namespace sorvel::FileManager
