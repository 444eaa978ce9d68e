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

/// What a selected page text names, read in this one place: a tool page when the text
/// before its first "#" is a tool's raw value (the detail is the text after that "#", none
/// when empty), otherwise a category page named by the whole text.
struct PageID {
    std::optional<Tool> tool;
    std::optional<std::string> detail; // tool pages only
    std::string categoryID;            // category pages only

    static PageID parse(const std::string& text) {
        PageID page;
        const size_t hash = text.find('#');
        page.tool = toolFromRaw(text.substr(0, hash));
        if (!page.tool) {
            page.categoryID = text;
        } else if (hash != std::string::npos && hash + 1 < text.size()) {
            page.detail = text.substr(hash + 1);
        }
        return page;
    }
    static std::optional<PageID> parse(const std::optional<std::string>& text) {
        return text ? std::optional<PageID>(parse(*text)) : std::nullopt;
    }
};

/// The detail of a tool page; none for a category page or a tool page without one.
inline std::optional<std::string> toolDetail(const std::string& pageID) { return PageID::parse(pageID).detail; }

} // namespace sorvel
