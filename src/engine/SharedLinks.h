#pragma once
// What is said of shared storage: a folder's files that also have a name outside it (hard
// links) stay on disk when it moves. The figures come from the walk (see LinkedFiles).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sorvel {

/// What a row says of `shared` bytes of what it holds that moving it leaves on disk:
/// "8 MB is shared storage: hard links to files also named outside it. Moving it frees
/// nothing." (or "frees 2 MB."); none when it shares nothing.
std::optional<std::string> sharedStorageNote(int64_t held, int64_t shared);

/// The folder itself without trailing slashes ("/" stays).
std::string_view folderPath(std::string_view path);

} // namespace sorvel
