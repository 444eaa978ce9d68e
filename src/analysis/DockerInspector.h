#pragma once
// Reads Docker's own disk accounting through its command-line tool: images, containers,
// volumes and build cache, with the commands a user could paste to remove an entry or
// prune a group. Only read-only listings are run; remove and prune commands are text.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace sorvel {

struct DockerUsage {
    enum class State { notInstalled, notResponding, ready };

    struct Entry {
        std::string id;   // image or container ID, or the volume name
        std::string name;
        std::optional<std::string> detail; // facts joined by " · "
        int64_t size = 0;
        bool isReclaimable = false; // a prune of its group would remove it
        std::optional<std::string> removeCommand;
        // False when Docker did not say whether anything uses it: such an entry is never
        // offered as unused.
        bool useKnown = true;
        // False when Docker's size text could not be read (negative, not a number, beyond
        // 64 bits): `size` is then 0 and counts in no total.
        bool sizeKnown = true;

        friend bool operator==(const Entry&, const Entry&) = default;
    };

    struct Group {
        std::string id; // "images", "containers", "volumes" or "build-cache"
        std::string title;
        int64_t total = 0;
        int64_t reclaimable = 0;
        std::vector<Entry> entries; // largest first
        std::optional<std::string> pruneCommand;
        // False when a size its totals should count could not be read: they then count only
        // the sizes that could.
        bool sizesKnown = true;

        friend bool operator==(const Group&, const Group&) = default;
    };

    State state = State::notInstalled;
    std::vector<Group> groups; // images, containers, volumes, build cache; empty ones left out
    std::optional<std::string> note; // a whole sentence for the two failure states

    friend bool operator==(const DockerUsage&, const DockerUsage&) = default;
};

namespace DockerInspector {

/// One inspection, all its commands together, may run this long: a command still running
/// then is stopped, and those after it are not started.
inline constexpr std::chrono::milliseconds kDeadline{8000};

/// Where the tool is looked for, in order.
const std::vector<std::string>& candidatePaths();
/// The first candidate that is an executable file, looked up afresh on every call.
std::optional<std::string> dockerPath();
std::optional<std::string> dockerPath(const std::vector<std::string>& candidates);

/// Finds the tool and inspects; blocks for up to about 8.25 s in all.
DockerUsage inspect();
/// Inspects with the given tool (none: not installed) and deadline for all its commands.
/// Listings cut short by it leave their entries out, and the note says so.
DockerUsage inspect(const std::optional<std::string>& tool, std::chrono::milliseconds deadline = kDeadline);

namespace detail {
/// The tool's standard output when it exited with status 0 within the deadline and wrote
/// valid UTF-8; none otherwise.
std::optional<std::string> run(const std::string& tool, const std::vector<std::string>& arguments,
                               std::chrono::milliseconds deadline = kDeadline);
/// The text without spaces and tabs at either end.
std::string trimmed(std::string_view text);
/// A JSON text unchanged, a number in decimal; none for anything else.
std::optional<std::string> string(const nlohmann::json* value);
/// Docker's size texts ("1.09kB", "2.5 GB", "0B (virtual 1.2GB)") in bytes, decimal
/// units; 0 for what cannot be read.
int64_t bytes(const std::optional<std::string>& text);
/// As `bytes`, but none for a text that is there and cannot be a size: not a number,
/// negative, not finite or beyond 64 bits ("N/A", "-5GB", "nanGB"). No text is 0.
std::optional<int64_t> measured(const std::optional<std::string>& text);
/// Whether a daemon speaking API `version` ("1.42") prunes only anonymous volumes
/// unless told `--all`; unreadable versions count as older.
bool volumePruneNeedsAll(const std::optional<std::string>& version);
/// One word for a POSIX shell: unchanged when it is plain (letters, digits and
/// "_@%+=:,./-"), else in single quotes with each quote written '\''.
std::string shellQuoted(std::string_view word);
/// `command` followed by `operand` as one quoted word, after "--" when the operand
/// would otherwise read as an option.
std::string withOperand(const std::string& command, std::string_view operand);
} // namespace detail

} // namespace DockerInspector
} // namespace sorvel
