#pragma once
// How much of what a figure stands for this user could read. A figure worked out from a
// read that found nothing readable is no figure: callers show "not readable by this user"
// in its place, and say so beside a figure from a read that was cut short.
#include <cstdint>
#include <string>

namespace sorvel {

class ScanNode;

enum class Reading { whole, partial, none };

/// Two reads of parts of one thing: whole only when both were, none only when both were.
Reading joined(Reading a, Reading b);

/// A folder refused, or with folders refused below it and no file read, was not read; one
/// with files read and a folder refused below it was read in part.
Reading readingOf(const ScanNode &node);

/// Something is at the path (or cannot be looked for) and this user may not open it to
/// read: a record missing for that reason says nothing about what it would hold.
bool refusedToRead(const std::string &path);

/// A size with how it was read. Built from a plain byte count it is whole, so measurers
/// that cannot be refused need not say so.
struct Measured {
    int64_t bytes = 0;
    Reading reading = Reading::whole;

    Measured() = default;
    Measured(int64_t bytes) : bytes(bytes) {} // NOLINT: a plain count is a whole read
    Measured(int64_t bytes, Reading reading) : bytes(reading == Reading::none ? 0 : bytes), reading(reading) {}

    static Measured unread() { return {0, Reading::none}; }
    static Measured of(const ScanNode &node);

    bool read() const { return reading != Reading::none; }
    bool whole() const { return reading == Reading::whole; }
    friend bool operator==(const Measured &, const Measured &) = default;
};

} // namespace sorvel
