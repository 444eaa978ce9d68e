#pragma once
// Random (version 4) identifiers, written upper-case as persisted JSON expects.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace sorvel {

struct UUID {
    std::array<uint8_t, 16> bytes{};

    static UUID random();
    /// Parses "E621E1F8-C36C-495A-93FC-0C247A3E6E5F" in either case; none when malformed.
    static std::optional<UUID> parse(const std::string& text);
    std::string uuidString() const;

    friend bool operator==(const UUID&, const UUID&) = default;
    friend auto operator<=>(const UUID&, const UUID&) = default;
};

} // namespace sorvel

template <> struct std::hash<sorvel::UUID> {
    size_t operator()(const sorvel::UUID& u) const noexcept {
        uint64_t a = 0, b = 0;
        for (int i = 0; i < 8; ++i) a = (a << 8) | u.bytes[i];
        for (int i = 8; i < 16; ++i) b = (b << 8) | u.bytes[i];
        return std::hash<uint64_t>{}(a ^ (b * 0x9E3779B97F4A7C15ULL));
    }
};
