#pragma once
// Notes for the places a Linux desktop keeps each kind of data, found where the places
// table puts them now (the XDG folders, the system root), so a folder moved by a variable
// is still known for what it is.
#include <optional>
#include <string>

#include "engine/PathKnowledge.h"

namespace sorvel::PathKnowledge {

/// The note of a Linux place: the cache, data, settings and state folders, Flatpak and snap
/// apps' folders, a browser's cache, the system's logs, caches and crash folders, swap
/// files, a home's secrets and mail, and each developer tool's cache by its title. None
/// for any other path. A guidance naming a tool this machine lacks is said without it.
std::optional<PathNote> linuxNote(const std::string& path);

} // namespace sorvel::PathKnowledge
