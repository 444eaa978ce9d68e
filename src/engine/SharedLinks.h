#pragma once
// The hard-linked files a scan met, kept so that the part of a folder's size that moving
// the folder would not free can be told from the tree alone: a file's blocks go only with
// its last name, so a file with a name outside the folder stays on disk.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvel {

class SharedLinks final {
public:
    /// One file of two or more names, as the walk met it.
    struct File {
        uint64_t links = 0;      // names it has on its file system
        uint64_t namesMet = 0;   // names the walk met
        int64_t size = 0;        // allocated bytes, counted in `countedIn`
        std::string countedIn;   // the folder whose size holds the file
        size_t commonLength = 0; // how much of `countedIn` names the deepest folder holding every name met

        /// Notes another name, in `folder`.
        void meet(std::string_view folder);
    };

    SharedLinks() = default;
    explicit SharedLinks(std::vector<File> files);

    /// Of the size the scan counted in the folder at `path`, the bytes of files that have a
    /// name outside it, or a name the scan never met: moving the folder leaves them on disk.
    int64_t sharedBytes(std::string_view path) const;

private:
    std::vector<File> files_; // only those some folder shares, by `countedIn`
};

/// What a row says of `shared` bytes of what it holds that moving it leaves on disk:
/// "8 MB is shared storage: hard links to files also named outside it. Moving it frees
/// nothing." (or "frees 2 MB."); none when it shares nothing.
std::optional<std::string> sharedStorageNote(int64_t held, int64_t shared);

/// The folder itself without trailing slashes ("/" stays).
std::string_view folderPath(std::string_view path);

} // namespace sorvel
