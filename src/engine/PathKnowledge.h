#pragma once
// A fixed catalogue of notes for well-known folders: what they hold, what removing them
// costs, and whether to remove them at all.
#include <optional>
#include <string>

namespace sorvel {

struct PathNote {
    enum class Verdict { safe, review, keep };

    std::string title;
    std::string what;
    std::optional<std::string> guidance;
    Verdict verdict = Verdict::review;

    friend bool operator==(const PathNote&, const PathNote&) = default;
};

namespace PathKnowledge {

/// The note for a path: exact paths first, then the Messages hash buckets, then path
/// prefixes in order, then the folder name. None when nothing matches.
std::optional<PathNote> note(const std::string& path);

} // namespace PathKnowledge
} // namespace sorvel
