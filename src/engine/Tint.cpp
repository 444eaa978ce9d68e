#include "engine/Tint.h"

namespace sorvel {

namespace {

// Components are given as fractions of full intensity, the form the palette was
// designed in, and stored as 8-bit channels.
constexpr uint32_t channel(double fraction) {
    double scaled = fraction * 255.0 + 0.5;
    if (scaled < 0) return 0;
    if (scaled > 255) return 255;
    return static_cast<uint32_t>(scaled);
}
constexpr uint32_t rgb(double r, double g, double b) {
    return (channel(r) << 16) | (channel(g) << 8) | channel(b);
}

struct Components {
    double r, g, b;
};
constexpr Colour adaptive(Components light, Components dark) {
    return Colour{rgb(light.r, light.g, light.b), rgb(dark.r, dark.g, dark.b)};
}

} // namespace

// Function-local statics: made once per process, thread-safe on first use.
const Tint& Tint::mint() {
    static const Tint t{adaptive({0.78, 0.925, 0.843}, {0.075, 0.243, 0.176}),
                        adaptive({0.055, 0.412, 0.263}, {0.51, 0.898, 0.706}),
                        adaptive({0.204, 0.78, 0.49}, {0.263, 0.82, 0.541})};
    return t;
}

const Tint& Tint::blue() {
    static const Tint t{adaptive({0.792, 0.855, 0.976}, {0.098, 0.153, 0.31}),
                        adaptive({0.114, 0.267, 0.639}, {0.639, 0.749, 0.98}),
                        adaptive({0.376, 0.573, 0.965}, {0.439, 0.62, 0.973})};
    return t;
}

const Tint& Tint::violet() {
    static const Tint t{adaptive({0.843, 0.808, 0.976}, {0.165, 0.129, 0.298}),
                        adaptive({0.322, 0.18, 0.663}, {0.749, 0.686, 0.976}),
                        adaptive({0.612, 0.51, 0.949}, {0.663, 0.573, 0.961})};
    return t;
}

const Tint& Tint::cyan() {
    static const Tint t{adaptive({0.776, 0.898, 0.929}, {0.063, 0.204, 0.239}),
                        adaptive({0.086, 0.376, 0.451}, {0.545, 0.831, 0.882}),
                        adaptive({0.267, 0.671, 0.784}, {0.318, 0.714, 0.824})};
    return t;
}

const Tint& Tint::lime() {
    static const Tint t{adaptive({0.882, 0.929, 0.686}, {0.184, 0.212, 0.055}),
                        adaptive({0.298, 0.365, 0.059}, {0.827, 0.89, 0.541}),
                        adaptive({0.678, 0.788, 0.278}, {0.722, 0.827, 0.337})};
    return t;
}

const Tint& Tint::amber() {
    static const Tint t{adaptive({0.98, 0.878, 0.729}, {0.259, 0.176, 0.055}),
                        adaptive({0.518, 0.329, 0.043}, {0.961, 0.808, 0.573}),
                        adaptive({0.925, 0.663, 0.259}, {0.937, 0.706, 0.337})};
    return t;
}

const Tint& Tint::rose() {
    static const Tint t{adaptive({0.98, 0.82, 0.835}, {0.278, 0.106, 0.129}),
                        adaptive({0.545, 0.176, 0.22}, {0.973, 0.706, 0.741}),
                        adaptive({0.918, 0.475, 0.518}, {0.929, 0.529, 0.565})};
    return t;
}

const Tint& Tint::slate() {
    static const Tint t{adaptive({0.804, 0.831, 0.871}, {0.161, 0.18, 0.216}),
                        adaptive({0.192, 0.235, 0.31}, {0.749, 0.784, 0.831}),
                        adaptive({0.478, 0.529, 0.612}, {0.502, 0.537, 0.596})};
    return t;
}

const Tint& Tint::fog() {
    static const Tint t{adaptive({0.898, 0.867, 0.816}, {0.125, 0.137, 0.161}),
                        adaptive({0.361, 0.298, 0.216}, {0.812, 0.769, 0.706}),
                        adaptive({0.647, 0.573, 0.478}, {0.549, 0.494, 0.427})};
    return t;
}

} // namespace sorvel
