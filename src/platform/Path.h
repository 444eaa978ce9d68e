#pragma once
// Paths are byte strings: Linux names need not be UTF-8, so every file operation takes
// the bytes as they are; only text meant for people is made valid UTF-8 (see Text.h).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvel {

/// The user's home folder: $HOME without trailing slashes, else the password database.
/// Read afresh on every call so tests can point HOME at a fake home.
std::string homeDirectory();
/// The home folder shown as "~": the home itself is "~", a path inside it "~/..."; any
/// other path (a sibling whose name merely extends the home's name too) is unchanged.
std::string tildeAbbreviated(std::string_view path);

/// Lexical standardisation: expands a leading "~", drops empty and "." components,
/// resolves ".." against the preceding component (never above "/"), and removes a
/// trailing slash. Symbolic links are not resolved.
std::string standardizePath(std::string_view path);

/// The absolute path a relative one names from the current folder, its leading "./" pieces
/// dropped and nothing else touched (links and ".." stay for the kernel to follow); an
/// absolute or empty path unchanged, and a relative one too when the current folder is gone.
std::string absolutePath(std::string_view path);

/// Last component; "/" for "/", the whole text when it has no slash.
std::string lastPathComponent(std::string_view path);
/// Everything before the last component ("/" for a child of the root, "" without a slash).
std::string deletingLastPathComponent(std::string_view path);
/// parent + "/" + name, without doubling a slash the parent already ends with.
std::string appendingPathComponent(std::string_view parent, std::string_view name);
/// True when path equals folder or begins with folder followed by "/" (text comparison);
/// every absolute path is inside "/".
bool isPathInside(std::string_view path, std::string_view folder);
/// The names between slashes, empty ones (doubled or trailing slashes) left out; views
/// into `path`.
std::vector<std::string_view> pathPieces(std::string_view path);
/// The number of non-empty components of the path from byte `start` on.
size_t componentsFrom(std::string_view path, size_t start);
/// Where the path's links lead (an existing path, absolute and without "." or ".."), or
/// nothing when it cannot be resolved.
std::optional<std::string> resolvedPath(const std::string& path);
/// How many times this process has asked the system where links lead (a `resolvedPath`,
/// or a link's text read): what a piece of work resolves is told by the difference.
uint64_t pathResolutions();
/// Counts one such request; for the other readers of links in this layer.
void countPathResolution();
/// The path as written and, when it is absolute and its links lead elsewhere, also where
/// they lead: the spellings a place is compared by.
std::vector<std::string> writtenAndResolved(const std::string& path);

/// Where a folder a person named (a searched folder, one added to sweeps) is read: where its
/// links lead, the last one too, when that is a folder; else the path as given.
std::string namedFolderPlace(const std::string& path);

/// Where a folder lies as a place of its own: the links in front of the home (or, for a
/// folder outside the home, in front of the folder) are followed, and none from there on.
/// A link met there leaves no place, only the link's path: what is behind it is elsewhere.
struct OwnPlace {
    std::optional<std::string> path; // absolute, its missing tail as written
    std::string link;                // the link in the way, when there is no place
};
OwnPlace ownPlace(const std::string& folder, const std::string& home);

} // namespace sorvel
