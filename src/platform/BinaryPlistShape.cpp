#include "platform/BinaryPlistShape.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace sorvel::BinaryPlistShape {

namespace {

constexpr uint64_t kHeaderSize = 8; // "bplist00"
constexpr uint64_t kTrailerSize = 32;

// Big-endian unsigned of `width` bytes; of a wider field only the last eight count,
// which is how the parser reads one.
uint64_t readBigEndian(const unsigned char* p, uint64_t width) {
    if (width > 8) {
        p += width - 8;
        width = 8;
    }
    uint64_t value = 0;
    for (uint64_t i = 0; i < width; ++i) value = (value << 8) | p[i];
    return value;
}

struct Graph {
    const unsigned char* data = nullptr;
    uint64_t offsetTable = 0; // where the offset table starts, and the object area ends
    uint64_t objectCount = 0;
    uint64_t offsetSize = 0;
    uint64_t refSize = 0;
};

enum class Kind { leaf, container, bad };

// Whether `count` units of `unit` bytes from `pos` lie in the object area.
bool fits(const Graph& g, uint64_t pos, uint64_t count, uint64_t unit) {
    if (pos > g.offsetTable) return false;
    return count <= (g.offsetTable - pos) / unit;
}

// A string the library would store with a NUL inside. It asserts on reading such a
// string (or key) back, killing the process; and a name cut at the NUL is not the name
// the file holds.
bool holdsNul(const Graph& g, uint64_t pos, uint64_t count, bool utf16) {
    const unsigned char* p = g.data + pos;
    if (!utf16) return std::memchr(p, 0, count) != nullptr;
    for (uint64_t i = 0; i < count; ++i)
        if (p[2 * i] == 0 && p[2 * i + 1] == 0) return true;
    return false;
}

// Arrays, sets and dictionaries hold references; everything else is a leaf. Bounds are
// the parser's own, so what it would read is never called bad here, except strings with
// a NUL inside, which it reads into a state it then aborts on.
Kind inspect(const Graph& g, uint64_t index, uint64_t& refsAt, uint64_t& refCount, uint64_t& payload) {
    payload = 0;
    const uint64_t offset = readBigEndian(g.data + g.offsetTable + index * g.offsetSize, g.offsetSize);
    if (offset >= g.offsetTable) return Kind::bad;
    uint64_t pos = offset;
    const unsigned char marker = g.data[pos++];
    const unsigned type = marker & 0xF0;
    const bool counted = type == 0x40 || type == 0x50 || type == 0x60 || type == 0xA0 || type == 0xC0 ||
                         type == 0xD0;
    if (!counted) return Kind::leaf;
    uint64_t count = marker & 0x0F;
    if (count == 0x0F) {
        if (pos >= g.offsetTable) return Kind::bad;
        const unsigned char sizeMarker = g.data[pos++];
        if ((sizeMarker & 0xF0) != 0x10) return Kind::bad;
        const uint64_t width = uint64_t{1} << (sizeMarker & 0x0F);
        if (!fits(g, pos, width, 1)) return Kind::bad;
        count = readBigEndian(g.data + pos, width);
        pos += width;
    }
    if (type == 0x40) {
        payload = count;
        return fits(g, pos, count, 1) ? Kind::leaf : Kind::bad;
    }
    if (type == 0x50 || type == 0x60) {
        const bool utf16 = type == 0x60;
        if (!fits(g, pos, count, utf16 ? 2 : 1) || holdsNul(g, pos, count, utf16)) return Kind::bad;
        payload = utf16 ? 3 * count : count; // as UTF-8, at most three bytes a unit
        return Kind::leaf;
    }
    if (!fits(g, pos, count, 1)) return Kind::bad;
    // Now count < 32 MiB, so none of these products can overflow.
    const uint64_t refs = type == 0xD0 ? 2 * count : count;
    if (!fits(g, pos, refs, g.refSize)) return Kind::bad;
    refsAt = pos;
    refCount = refs;
    return Kind::container;
}

// What an object costs once the parser has copied it: small ones are rounded up to the
// size of a node.
constexpr uint64_t kNodeBytes = 64;

struct Measure {
    uint64_t nodes = 1;
    uint64_t bytes = kNodeBytes;
    uint32_t levels = 1;
};

struct Frame {
    uint64_t index;
    uint64_t refsAt;
    uint64_t refCount;
    uint64_t next = 0;
    Measure total{}; // this object and everything below it, shared objects counted each time
};

} // namespace

bool withinLimits(std::string_view bytes, const Limits& limits) {
    if (bytes.size() < kHeaderSize + kTrailerSize || bytes.substr(0, kHeaderSize) != "bplist00") return true;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const uint64_t endOfObjects = bytes.size() - kTrailerSize;
    const unsigned char* trailer = data + endOfObjects;

    Graph g;
    g.data = data;
    g.offsetSize = trailer[6];
    g.refSize = trailer[7];
    g.objectCount = readBigEndian(trailer + 8, 8);
    const uint64_t top = readBigEndian(trailer + 16, 8);
    g.offsetTable = readBigEndian(trailer + 24, 8);
    if (g.objectCount == 0 || g.offsetSize == 0 || g.refSize == 0 || top >= g.objectCount) return false;
    if (g.offsetTable < kHeaderSize || g.offsetTable >= endOfObjects) return false;
    if (g.objectCount > (endOfObjects - g.offsetTable) / g.offsetSize) return false;
    if (limits.levels == 0 || limits.nodes == 0 || limits.bytes == 0) return false;

    uint64_t refsAt = 0, refCount = 0, payload = 0;
    const Kind topKind = inspect(g, top, refsAt, refCount, payload);
    if (topKind != Kind::container) return topKind == Kind::leaf && payload <= limits.bytes;

    // Depth-first without recursion. Every object is looked at once however often it
    // is referenced: finished containers and large leaves keep their measure, small
    // leaves only that they were seen. A reference back to an open object is a cycle.
    std::unordered_map<uint64_t, Measure> finished;
    std::vector<bool> smallLeafSeen(g.objectCount);
    std::unordered_set<uint64_t> open{top};
    std::vector<Frame> stack{Frame{top, refsAt, refCount}};
    for (;;) {
        Frame& frame = stack.back();
        Measure child;
        if (frame.next < frame.refCount) {
            const uint64_t index = readBigEndian(g.data + frame.refsAt + frame.next * g.refSize, g.refSize);
            ++frame.next;
            if (index >= g.objectCount || open.count(index)) return false;
            if (smallLeafSeen[index]) {
                // One node of the smallest size, as `child` already says.
            } else if (auto known = finished.find(index); known != finished.end()) {
                child = known->second;
            } else {
                const Kind kind = inspect(g, index, refsAt, refCount, payload);
                if (kind == Kind::bad) return false;
                if (finished.size() + stack.size() >= limits.nodes) return false;
                if (kind == Kind::container) {
                    if (stack.size() >= limits.levels) return false;
                    open.insert(index);
                    stack.push_back(Frame{index, refsAt, refCount});
                    continue;
                }
                if (payload <= kNodeBytes) {
                    smallLeafSeen[index] = true;
                } else {
                    child.bytes = payload;
                    finished.emplace(index, child);
                }
            }
        } else {
            child = frame.total;
            finished.emplace(frame.index, child);
            open.erase(frame.index);
            stack.pop_back();
            if (stack.empty()) return true;
        }
        Measure& parent = stack.back().total;
        parent.nodes += child.nodes;
        parent.bytes += child.bytes;
        parent.levels = std::max(parent.levels, child.levels + 1);
        if (parent.nodes > limits.nodes || parent.bytes > limits.bytes || parent.levels > limits.levels)
            return false;
    }
}

} // namespace sorvel::BinaryPlistShape
