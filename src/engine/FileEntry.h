#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/Date.h"
#include "platform/UUID.h"

namespace sorvel {

/// One large regular file remembered under its directory's node.
struct FileEntry {
    UUID id = UUID::random();
    std::string name;
    std::string path;
    int64_t size = 0; // allocated bytes
    std::optional<Date> modified;

    friend bool operator==(const FileEntry&, const FileEntry&) = default;
};

} // namespace sorvel
