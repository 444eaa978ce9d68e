#include "platform/ByteCountFormatter.h"

namespace sorvel {
namespace {

struct Unit {
    const char* name;
    unsigned __int128 size;
    int fractionDigits;
};

constexpr Unit kUnits[] = {
    {"KB", 1000, 0},
    {"MB", 1000'000, 1},
    {"GB", 1000'000'000, 2},
    {"TB", 1000'000'000'000, 2},
};
constexpr int kUnitCount = 4;

unsigned __int128 pow10(int digits) {
    unsigned __int128 p = 1;
    for (int i = 0; i < digits; ++i) p *= 10;
    return p;
}

std::string grouped(unsigned __int128 value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    } while (value > 0);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

} // namespace

std::string formatByteCount(int64_t bytes) {
    const bool negative = bytes < 0;
    // Magnitude without overflow for INT64_MIN.
    const unsigned __int128 magnitude =
        negative ? static_cast<unsigned __int128>(-(bytes + 1)) + 1 : static_cast<unsigned __int128>(bytes);

    int unit = 0;
    for (int u = kUnitCount - 1; u > 0; --u) {
        if (magnitude >= kUnits[u].size) {
            unit = u;
            break;
        }
    }
    unsigned __int128 scaled = 0; // the value in `unit`, times 10^fractionDigits, rounded
    for (;;) {
        const Unit& U = kUnits[unit];
        const unsigned __int128 scale = pow10(U.fractionDigits);
        scaled = (magnitude * scale * 2 + U.size) / (U.size * 2);
        if (scaled >= 1000 * scale && unit + 1 < kUnitCount) {
            ++unit;
            continue;
        }
        break;
    }
    const Unit& U = kUnits[unit];
    const unsigned __int128 scale = pow10(U.fractionDigits);
    std::string text = grouped(scaled / scale);
    std::string fraction;
    unsigned __int128 rest = scaled % scale;
    for (int i = 0; i < U.fractionDigits; ++i) {
        fraction.insert(fraction.begin(), static_cast<char>('0' + static_cast<int>(rest % 10)));
        rest /= 10;
    }
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (!fraction.empty()) text += "." + fraction;
    if (negative && scaled != 0) text.insert(text.begin(), '-');
    return text + " " + U.name;
}

} // namespace sorvel
