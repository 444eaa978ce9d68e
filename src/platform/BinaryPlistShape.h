#pragma once
// A look at the object graph of a binary property list before the parser sees it. The
// parser recurses once per nesting level and builds a fresh node every time an object
// is referenced, so a few hundred bytes of shared references can expand into billions
// of nodes, and deep nesting runs off the end of the stack. This walks the same graph
// without recursion and says whether it is safe to hand over.
#include <cstdint>
#include <string_view>

namespace sorvel::BinaryPlistShape {

/// False when `bytes` is a binary property list ("bplist00") that is malformed, has a
/// reference cycle, nests more than `maxLevels` levels (the top object is level 1) or
/// expands into more than `maxNodes` nodes. Anything else, including text that is no
/// binary property list at all, is true: it is the parser's to judge.
bool withinLimits(std::string_view bytes, uint32_t maxLevels, uint64_t maxNodes);

} // namespace sorvel::BinaryPlistShape
