#pragma once
// Checks of own folders that a hung disk cannot hold up: each runs on a thread of its own,
// its caller waits for it only so long, and a folder whose check is still held is not
// checked again beside it (each such check would be one more thread stuck for good).
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sorvel::FolderChecks {

/// Why a folder may not be swept, none when it may (OwnFolder::refusal).
using Check = std::function<std::optional<std::string>(const std::string& folder)>;

/// How long a folder's check may take before the folder is refused as not answering.
inline constexpr std::chrono::milliseconds kDeadline{10'000};

/// What becomes of a folder that did not answer: when adding it, and in a sweep.
inline constexpr const char* kNotAdded = "so it was not added. Try again once it answers.";
inline constexpr const char* kNotSwept = "so it was not swept. It is checked again at the next sweep.";

/// "“~/X” did not answer in time (its disk may be disconnected or not responding), " + consequence.
std::string notAnswering(const std::string& folder, const char* consequence);

/// Starts `check(folder)` on a thread of its own; its verdict goes to `answered` there, or
/// what it threw to `failed`. False, starting nothing, while an earlier check of the same
/// folder (by its standardised path) still runs. Everything given is let go on that thread
/// before the check counts as ended. Throws (`std::system_error`) when no thread can
/// start, leaving the folder free to be checked again.
bool start(const std::string& folder, Check check, std::function<void(std::optional<std::string>)> answered,
           std::function<void(const std::string& reason)> failed);

/// Checks every folder at once and waits at most `deadline` for them all: the folders that
/// may be swept, in order; each refused one's sentence goes to `refused` (one that did not
/// answer in time or whose earlier check still runs: `notAnswering(folder, kNotSwept)`).
std::vector<std::string> sweepable(const std::vector<std::string>& folders, std::vector<std::string>& refused,
                                   const Check& check, std::chrono::milliseconds deadline = kDeadline);

/// How many checks run now.
size_t running();
/// Waits at most `bound` for every running check to end; false when some still run.
bool waitForAll(std::chrono::milliseconds bound);

} // namespace sorvel::FolderChecks
