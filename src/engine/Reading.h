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

/// A folder refused, or holding nothing but folders that were, was not read. One opened
/// and listed is read in part when anything in it was refused or its walk was cut short,
/// whatever the bytes it found: an empty folder beside a refused one is read in part.
Reading readingOf(const ScanNode &node);

/// Opened and listed, with some folder below it refused: what "partly unreadable" says.
/// A walk cut short is said apart, as partial.
bool refusedInPart(const ScanNode &node);

/// Cut short by a stop before its walk counted a byte (a folder never entered, say): a 0
/// there is no lower bound worth a figure, and it reads "not measured".
bool notMeasured(const ScanNode &node);

/// Something is at the path (or cannot be looked for) and this user may not open it to
/// read: a record missing for that reason says nothing about what it would hold.
bool refusedToRead(const std::string &path);

/// A size with how it was read. Every way to make one says which: a bare count never
/// becomes a measured size, so an unknown reading cannot be written as 0 by accident.
struct Measured {
    int64_t bytes = 0;
    Reading reading = Reading::none;

    Measured(int64_t bytes, Reading reading) : bytes(reading == Reading::none ? 0 : bytes), reading(reading) {}
    Measured(Reading) = delete;

    /// A count read in full: nothing in it was refused or cut short.
    static Measured wholeRead(int64_t bytes) { return {bytes, Reading::whole}; }
    static Measured unread() { return {0, Reading::none}; }
    static Measured of(const ScanNode &node);

    bool read() const { return reading != Reading::none; }
    bool whole() const { return reading == Reading::whole; }
    friend bool operator==(const Measured &, const Measured &) = default;
};

} // namespace sorvel
