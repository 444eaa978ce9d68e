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

/// The key of the line naming the run a record of Sorvel's was written for.
inline constexpr std::string_view kRunKey = "X-Sorvel-Run=";

/// `text` and the Sorvel line, and the run's line when a run is named.
std::string sorvelText(std::string_view path, std::time_t when, std::string_view run = {});
bool isSorvels(std::string_view text);
/// The run a record names; none when it names none (another program's, or an earlier
/// version's).
std::optional<std::string> recordedRun(std::string_view text);

/// The decoded value of the first "Path=" line; none when there is none or its encoding
/// is malformed.
std::optional<std::string> recordedPath(std::string_view text);

} // namespace sorvel::TrashInfo
