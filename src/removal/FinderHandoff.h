#pragma once
// Asks the Finder, through the system's script runner, to move an item the user cannot
// write (an app bundle owned by root) to the Trash, after the same guard every other
// removal passes. The Finder asks for the password; Sorvel never holds admin rights.
#include <optional>
#include <string>
#include <variant>

#include "removal/CleanupGuard.h"
#include "removal/CleanupPolicy.h"

namespace sorvel::FinderHandoff {

struct Result {
    std::string path;                     // the standardised path handed to the Finder
    std::optional<std::string> trashPath; // where it is in the Trash, when the reply or its record says
    friend bool operator==(const Result&, const Result&) = default;
};

struct Failure {
    enum class Kind { refused, finderFailed, notPermitted };
    Kind kind = Kind::finderFailed;
    std::optional<CleanupGuard::Refusal> refusal; // refused
    std::string message;                          // finderFailed

    static Failure refusedBy(CleanupGuard::Refusal refusal) { return {Kind::refused, std::move(refusal), {}}; }
    static Failure finderFailed(std::string message) { return {Kind::finderFailed, std::nullopt, std::move(message)}; }
    static Failure notPermitted() { return {Kind::notPermitted, std::nullopt, {}}; }

    std::string description() const;
    friend bool operator==(const Failure&, const Failure&) = default;
};

using Outcome = std::variant<Result, Failure>;

/// The script runner of the system.
inline constexpr const char* kScriptRunner = "/usr/bin/osascript";

/// Whether the hand-off can run at all here: the script runner is an executable file.
/// Where it is not, asking could only fail, so nothing should offer it.
bool isAvailable(const std::string& runner = kScriptRunner);

/// The AppleScript handed to the runner; the item's path is its first argument.
const std::string& script();

/// Guards the path (no size re-measure, no iCloud test), then runs the script on the
/// standardised path and waits for it, however long the Finder's password prompt takes.
Outcome moveToTrash(const std::string& path, const CleanupPolicy& policy);
/// The same with another runner executable (tests use fixture scripts).
Outcome moveToTrash(const std::string& path, const CleanupPolicy& policy, const std::string& runner);

/// The item's place in the home Trash from the Finder's reply ("application file
/// \"X.app\" of folder \".Trash\" of ..."); none unless that place exists.
std::optional<std::string> trashPath(const std::string& finderReply);

} // namespace sorvel::FinderHandoff
