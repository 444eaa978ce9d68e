#pragma once
// The text of a .trashinfo file as desktop file managers read it.
#include <ctime>
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

} // namespace sorvel::TrashInfo
