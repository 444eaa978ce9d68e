#pragma once
// How much of what a figure stands for this user could read. A figure worked out from a
// read that found nothing readable is no figure: callers show "not readable by this user"
// in its place, and say so beside a figure from a read that was cut short. One a stop cut
// before it counted a byte is no figure either: callers show "not measured".
#include <cstdint>
#include <string>

namespace sorvel {

class ScanNode;

/// `none`: this user may not read it. `unmeasured`: a stop came before its walk counted a
/// byte, so its 0 is neither a size nor a lower bound.
enum class Reading { whole, partial, none, unmeasured };

/// A figure stands for it: read whole or in part, not refused and not left unmeasured.
inline bool givesFigure(Reading r) { return r == Reading::whole || r == Reading::partial; }

/// Two reads of parts of one thing: whole only when both were, none only when both were,
/// unmeasured when neither gave a figure and one was never reached.
Reading joined(Reading a, Reading b);

/// A folder refused, or holding nothing but folders that were, was not read. One a stop
/// cut before it counted a byte was not measured. One opened and listed is read in part
/// when anything in it was refused or its walk was cut short, whatever the bytes it found:
/// an empty folder beside a refused one is read in part.
Reading readingOf(const ScanNode &node);

/// Opened and listed, with some folder below it refused: what "partly unreadable" says.
/// A walk cut short is said apart, as partial.
bool refusedInPart(const ScanNode &node);

/// Cut short by a stop before its walk counted a byte (a folder never entered, say): a 0
/// there is no lower bound worth a figure, and it reads "not measured".
bool notMeasured(const ScanNode &node);

/// The words shown in place of a figure that was not measured.
inline constexpr const char *kNotMeasuredText = "not measured";

/// Something is at the path (or cannot be looked for) and this user may not open it to
/// read: a record missing for that reason says nothing about what it would hold.
bool refusedToRead(const std::string &path);

/// A size with how it was read. Every way to make one says which: a bare count never
/// becomes a measured size, so an unknown reading cannot be written as 0 by accident.
struct Measured {
    int64_t bytes = 0;
    Reading reading = Reading::none;

    Measured(int64_t bytes, Reading reading)
        : bytes(givesFigure(reading) ? bytes : 0), reading(reading) {}
    Measured(Reading) = delete;

    /// A count read in full: nothing in it was refused or cut short.
    static Measured wholeRead(int64_t bytes) { return {bytes, Reading::whole}; }
    static Measured unread() { return {0, Reading::none}; }
    /// Inside a folder a stop left unread: nothing of it is known, not even that it is empty.
    static Measured unmeasured() { return {0, Reading::unmeasured}; }
    static Measured of(const ScanNode &node);

    /// A figure stands: read whole or in part.
    bool read() const { return givesFigure(reading); }
    bool whole() const { return reading == Reading::whole; }
    friend bool operator==(const Measured &, const Measured &) = default;
};

} // namespace sorvel
