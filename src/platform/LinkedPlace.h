#pragma once
// A rule's folder kept elsewhere through a link (~/.cache leading to another disk): where it
// really lies, and whether that is a place of its own, told as for a mount at the folder.
#include <optional>
#include <string>

namespace sorvel {

/// Whether the folder is one whose contents the cleanup rules take: the cache folder, the
/// Flatpak and snap apps' folders, or a developer tool's folder.
bool isRuleFolder(const std::string& folder);

/// Where a folder reached through a link after the home (the folder itself a link, or one on
/// its way) really lies, when that is a place of its own: an existing folder which, like where
/// the link leads, is not "/", neither is nor holds the home, and neither is, holds nor lies in
/// one of the user's folders (`UserDirs::userFolders`); it may lie elsewhere in the home. None
/// otherwise, and for a folder no link leads to.
std::optional<std::string> placeBehindLink(const std::string& folder, const std::string& home);

} // namespace sorvel
