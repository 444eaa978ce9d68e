#include "platform/BinaryPlistShape.h"

#include <algorithm>
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

// Arrays, sets and dictionaries hold references; everything else is a leaf. The bounds
// are the parser's own, so what it would accept is never called bad here.
Kind inspect(const Graph& g, uint64_t index, uint64_t& refsAt, uint64_t& refCount) {
    const uint64_t offset = readBigEndian(g.data + g.offsetTable + index * g.offsetSize, g.offsetSize);
    if (offset >= g.offsetTable) return Kind::bad;
    uint64_t pos = offset;
    const unsigned char marker = g.data[pos++];
    const unsigned type = marker & 0xF0;
    if (type != 0xA0 && type != 0xC0 && type != 0xD0) return Kind::leaf;
    uint64_t count = marker & 0x0F;
    if (count == 0x0F) {
        if (pos >= g.offsetTable) return Kind::bad;
        const unsigned char sizeMarker = g.data[pos++];
        if ((sizeMarker & 0xF0) != 0x10) return Kind::bad;
        const uint64_t width = uint64_t{1} << (sizeMarker & 0x0F);
        if (pos + width > g.offsetTable) return Kind::bad;
        count = readBigEndian(g.data + pos, width);
        pos += width;
    }
    if (pos + count < pos || pos + count > g.offsetTable) return Kind::bad;
    // Now count < 32 MiB, so none of these products can overflow.
    const uint64_t refs = type == 0xD0 ? 2 * count : count;
    if (pos + refs * g.refSize > g.offsetTable) return Kind::bad;
    refsAt = pos;
    refCount = refs;
    return Kind::container;
}

struct Frame {
    uint64_t index;
    uint64_t refsAt;
    uint64_t refCount;
    uint64_t next = 0;
    uint64_t nodes = 1;  // this object and everything below it, shared objects counted each time
    uint32_t levels = 1; // this object's level count, itself included
};

struct Measure {
    uint64_t nodes;
    uint32_t levels;
};

} // namespace

bool withinLimits(std::string_view bytes, uint32_t maxLevels, uint64_t maxNodes) {
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
    if (maxLevels == 0 || maxNodes == 0) return false;

    uint64_t refsAt = 0, refCount = 0;
    const Kind topKind = inspect(g, top, refsAt, refCount);
    if (topKind != Kind::container) return topKind == Kind::leaf;

    // Depth-first without recursion; finished objects are remembered, so a shared
    // object is walked once however often it is referenced, and a reference back to
    // an object still open is a cycle.
    std::unordered_map<uint64_t, Measure> finished;
    std::unordered_set<uint64_t> open{top};
    std::vector<Frame> stack{Frame{top, refsAt, refCount}};
    for (;;) {
        Frame& frame = stack.back();
        Measure child{1, 1};
        if (frame.next < frame.refCount) {
            const uint64_t index = readBigEndian(g.data + frame.refsAt + frame.next * g.refSize, g.refSize);
            ++frame.next;
            if (index >= g.objectCount || open.count(index)) return false;
            if (auto known = finished.find(index); known != finished.end()) {
                child = known->second;
            } else {
                const Kind kind = inspect(g, index, refsAt, refCount);
                if (kind == Kind::bad) return false;
                if (kind == Kind::container) {
                    if (stack.size() >= maxLevels || finished.size() + stack.size() >= maxNodes) return false;
                    open.insert(index);
                    stack.push_back(Frame{index, refsAt, refCount});
                    continue;
                }
            }
        } else {
            child = Measure{frame.nodes, frame.levels};
            finished.emplace(frame.index, child);
            open.erase(frame.index);
            stack.pop_back();
            if (stack.empty()) return true;
        }
        Frame& parent = stack.back();
        parent.nodes += child.nodes;
        parent.levels = std::max(parent.levels, child.levels + 1);
        if (parent.nodes > maxNodes || parent.levels > maxLevels) return false;
    }
}

} // namespace sorvel::BinaryPlistShape
