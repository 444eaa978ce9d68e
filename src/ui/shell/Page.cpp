#include "ui/shell/Page.h"

namespace sorvel::ui {

std::optional<Tool> toolOfPage(const std::string& pageID) {
    size_t start = 0;
    while (start <= pageID.size()) {
        size_t end = pageID.find('#', start);
        if (end == std::string::npos) end = pageID.size();
        if (end > start) return toolFromRaw(pageID.substr(start, end - start));
        start = end + 1;
    }
    return toolFromRaw(pageID);
}

Page pageFor(const std::optional<std::string>& selected, ScanCoordinator::Phase phase) {
    if (selected) {
        if (auto tool = toolOfPage(*selected)) {
            switch (*tool) {
            case Tool::apps: return {PageKind::apps, {}};
            case Tool::duplicates: return {PageKind::duplicates, {}};
            case Tool::history: return {PageKind::history, {}};
            }
        }
    }
    if (phase == ScanCoordinator::Phase::idle) return {PageKind::onboarding, {}};
    if (selected) return {PageKind::category, *selected};
    return {PageKind::overview, {}};
}

bool showsAccessBanner(bool fullDiskAccess, ScanCoordinator::Phase phase) {
    return !fullDiskAccess && phase != ScanCoordinator::Phase::idle;
}

} // namespace sorvel::ui
