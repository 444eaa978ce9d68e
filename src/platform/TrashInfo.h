#pragma once
// The text of a .trashinfo file as desktop file managers read it.
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace sorvel::TrashInfo {

/// Percent-encodes every byte but letters, digits, "-._~" and "/" (upper-case hex),
/// so names that are not UTF-8 survive as their exact bytes.
std::string encodePath(std::string_view path);

/// "YYYY-MM-DDThh:mm:ss" in local time.
std::string deletionDate(std::time_t when);

/// "[Trash Info]", "Path=" with the encoded path and "DeletionDate=", one per line.
std::string text(std::string_view path, std::time_t when);

/// The line Sorvel adds to the records it writes, so it can tell them from other programs'
/// (file managers ignore keys they do not know).
inline constexpr std::string_view kSorvelLine = "X-Sorvel=1";

/// `text` and the Sorvel line.
std::string sorvelText(std::string_view path, std::time_t when);
bool isSorvels(std::string_view text);

/// The decoded value of the first "Path=" line; none when there is none or its encoding
/// is malformed.
std::optional<std::string> recordedPath(std::string_view text);

} // namespace sorvel::TrashInfo
