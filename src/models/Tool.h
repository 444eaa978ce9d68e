#pragma once
// The tool pages of the main window and the detail a page identifier may carry.
#include <optional>
#include <string>

namespace sorvel {

enum class Tool { apps, duplicates, history };

inline std::string rawValue(Tool tool) {
    switch (tool) {
    case Tool::apps: return "tool:apps";
    case Tool::duplicates: return "tool:duplicates";
    case Tool::history: return "tool:history";
    }
    return {};
}

inline std::string title(Tool tool) {
    switch (tool) {
    case Tool::apps: return "Applications";
    case Tool::duplicates: return "Duplicates";
    case Tool::history: return "History";
    }
    return {};
}

inline std::optional<Tool> toolFromRaw(const std::string& raw) {
    for (Tool t : {Tool::apps, Tool::duplicates, Tool::history})
        if (rawValue(t) == raw) return t;
    return std::nullopt;
}

/// The text after the first "#" of a page identifier; none without a "#" or when nothing
/// follows it.
inline std::optional<std::string> toolDetail(const std::string& pageID) {
    auto hash = pageID.find('#');
    if (hash == std::string::npos || hash + 1 == pageID.size()) return std::nullopt;
    return pageID.substr(hash + 1);
}

} // namespace sorvel
