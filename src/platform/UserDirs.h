#pragma once
// The desktop's named folders, as ${XDG_CONFIG_HOME:-~/.config}/user-dirs.dirs names them
// (a German desktop writes XDG_PICTURES_DIR="$HOME/Bilder" by itself): the folder a user
// knows as their pictures need not be called Pictures.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvel::UserDirs {

/// ${XDG_CONFIG_HOME:-$HOME/.config}; a relative XDG_CONFIG_HOME is ignored, as the base
/// directory rules say.
std::string configHome();
/// configHome() + "/user-dirs.dirs".
std::string filePath();

/// What the file says of one key.
struct Lookup {
    /// The folder named, standardised; none when the file is absent, names none, or names
    /// the home itself (the desktop then has no such folder).
    std::optional<std::string> folder;
    /// Set when the file is there but could not be read: the system's reason.
    std::optional<std::string> unreadable;
};

/// The folder `key` (such as "XDG_PICTURES_DIR") names in the file's text, read as the
/// desktop reads it: the last line for the key wins; the value is in double quotes, either
/// "$HOME" followed by a path inside the home, or an absolute path; a backslash takes the
/// next character as it is. None for any other form, or for the home itself.
std::optional<std::string> folderIn(std::string_view text, std::string_view key, const std::string& home);

/// The folder `key` names in the user's file now, against the home read now.
Lookup lookup(std::string_view key);

/// The desktop's pictures folder when the file names one (see `lookup`).
Lookup pictures();

/// Every folder that may be one of the user's own (desktop, documents, downloads, music,
/// pictures, public, templates, videos): those the file names, in the settings folder the
/// environment gives and in ~/.config, and the home's folders of the English names.
std::vector<std::string> userFolders();

/// The same but for the downloads folder: where the desktop keeps a person's own documents,
/// music, pictures, videos and the like.
std::vector<std::string> documentFolders();

} // namespace sorvel::UserDirs
