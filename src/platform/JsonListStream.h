#pragma once
// Rewriting a settings file whose one large value is a list, one element at a time: the
// file is read in small pieces and each element of the list is parsed, changed and written
// out alone, so the whole parsed file is never held. What it writes is byte for byte what
// writing the whole parsed file would (two-space indent, keys in order, one newline at the
// end). Files of another shape than an object holding that list as an array, with no key
// twice (or any file that cannot be parsed), are left to the caller as `unusual`.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace sorvel::JsonListStream {

struct Edit {
    /// Written ahead of the stored elements; asked once, after any look.
    std::function<std::vector<nlohmann::json>()> head;
    /// Each stored element in turn; false drops it, else what it leaves is written.
    std::function<bool(nlohmann::json& element)> each;
    /// After the last element: false when nothing changed, so nothing is written.
    std::function<bool()> changed;
    /// An empty list takes the key out rather than being written as "[]".
    bool emptyRemovesKey = false;
};

enum class Outcome { written, unchanged, unusual, failed };

struct Result {
    Outcome outcome = Outcome::unusual;
    int error = 0; // for `failed`: the errno of the write that failed
};

/// Writes the edited file over `path` atomically with `mode`. The caller holds the lock.
Result rewrite(const std::string& path, const std::string& key, const Edit& edit, mode_t mode);

/// Gives `found` each stored element whose own `field` is the text `wanted` (ASCII letters
/// in either case), in order,
/// until it returns true; other elements are skipped without being built. False when the
/// file is unusual.
bool look(const std::string& path, const std::string& key, std::string_view field, std::string_view wanted,
          const std::function<bool(const nlohmann::json& element)>& found);

/// Gives `element` each stored element in order, read from the open file `fd` (from where
/// it stands) and built one at a time. False when the file is unusual or cannot be read.
bool each(int fd, const std::string& key, const std::function<void(nlohmann::json& element)>& element);

} // namespace sorvel::JsonListStream
