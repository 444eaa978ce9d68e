#pragma once
// The selected page of the main window is stored as one text; this reads it.
#include <optional>
#include <string>

#include "models/Tool.h"

namespace sorvel {

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
