#pragma once
// A look at the object graph of a binary property list before the parser sees it. The
// parser recurses once per nesting level and builds a fresh node every time an object
// is referenced, so a few hundred bytes of shared references can expand into billions
// of nodes, and deep nesting runs off the end of the stack. This walks the same graph
// without recursion and says whether it is safe to hand over.
#include <cstdint>
#include <string_view>

namespace sorvel::BinaryPlistShape {

struct Limits {
    uint32_t levels; // the top object is level 1
    uint64_t nodes;  // objects after expansion, a shared one counted at each reference
    uint64_t bytes;  // memory after expansion: each object's contents, at least 64 bytes
};

/// False when `bytes` is a binary property list ("bplist00") that is malformed, has a
/// reference cycle, goes past one of `limits` once expanded, or holds a string or key
/// with a NUL character in it (the library aborts the process on reading one back).
/// Anything else, including text that is no binary property list at all, is true: it
/// is the parser's to judge.
bool withinLimits(std::string_view bytes, const Limits& limits);

} // namespace sorvel::BinaryPlistShape
