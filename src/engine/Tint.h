#pragma once
// A category's colours: fill, ink and dot, each with a light and a dark variant. The
// engine only stores and hands these on; the windows paint with them.
#include <cstdint>

namespace sorvel {

struct Colour {
    uint32_t light = 0; // 0xRRGGBB
    uint32_t dark = 0;
    friend bool operator==(const Colour&, const Colour&) = default;
};

struct Tint {
    Colour fill;
    Colour ink;
    Colour dot;
    friend bool operator==(const Tint&, const Tint&) = default;

    static const Tint& mint();
    static const Tint& blue();
    static const Tint& violet();
    static const Tint& cyan();
    static const Tint& lime();
    static const Tint& amber();
    static const Tint& rose();
    static const Tint& slate();
    static const Tint& fog();
};

} // namespace sorvel
