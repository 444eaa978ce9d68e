#include "platform/UUID.h"

#include <random>

#include <sys/random.h>
#include <unistd.h>

namespace sorvel {

UUID UUID::random() {
    UUID u;
    // The kernel's generator: a process forked without exec must not repeat its parent's ids.
    if (getrandom(u.bytes.data(), u.bytes.size(), 0) != static_cast<ssize_t>(u.bytes.size())) {
        thread_local pid_t seededIn = 0;
        thread_local std::mt19937_64 engine;
        if (seededIn != getpid()) {
            std::random_device device;
            std::seed_seq seq{device(), device(), device(), device(), device(), device()};
            engine.seed(seq);
            seededIn = getpid();
        }
        uint64_t hi = engine(), lo = engine();
        for (int i = 0; i < 8; ++i) {
            u.bytes[i] = static_cast<uint8_t>(hi >> (56 - 8 * i));
            u.bytes[8 + i] = static_cast<uint8_t>(lo >> (56 - 8 * i));
        }
    }
    u.bytes[6] = (u.bytes[6] & 0x0F) | 0x40; // version 4
    u.bytes[8] = (u.bytes[8] & 0x3F) | 0x80; // RFC 4122 variant
    return u;
}

std::string UUID::uuidString() const {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        out += hex[bytes[i] >> 4];
        out += hex[bytes[i] & 0xF];
    }
    return out;
}

std::optional<UUID> UUID::parse(const std::string& text) {
    if (text.size() != 36) return std::nullopt;
    UUID u;
    int byte = 0;
    for (size_t i = 0; i < text.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        auto nibble = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            return -1;
        };
        int h = nibble(text[i]), l = nibble(text[i + 1]);
        if (h < 0 || l < 0) return std::nullopt;
        u.bytes[byte++] = static_cast<uint8_t>(h << 4 | l);
        i += 2;
    }
    return u;
}

} // namespace sorvel
