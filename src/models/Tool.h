#pragma once
// The tool pages of the main window.
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

} // namespace sorvel
