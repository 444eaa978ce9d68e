#pragma once
// Puts one item of a test's own folders into the Trash the way the cleanup executor does:
// its parent opened without following links, the item moved by name.
#include <string>

#include "platform/Trash.h"

namespace sorvel::test {

Trash::MoveResult moveToTrash(const std::string& path);

} // namespace sorvel::test
