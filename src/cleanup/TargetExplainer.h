#pragma once
// Two short texts for any path that would go to the Trash: what it is, and what
// removing it costs.
#include <optional>
#include <string>

namespace sorvel::TargetExplainer {

struct Explanation {
    std::string what;
    std::optional<std::string> cost;

    friend bool operator==(const Explanation&, const Explanation&) = default;
};

/// From the path's own note, the table of known cache folders, the generic caches text
/// or the nearest noted ancestor; a fallback replaces the cost of any of those and is
/// the description when nothing is known.
Explanation explain(const std::string& path, const std::optional<std::string>& fallback = std::nullopt);

} // namespace sorvel::TargetExplainer
