#include "ui/shell/Page.h"

#include "models/PageID.h"

namespace sorvel::ui {

Page pageFor(const std::optional<std::string>& selected, ScanCoordinator::Phase phase) {
    const std::optional<PageID> page = PageID::parse(selected);
    if (page && page->tool) {
        switch (*page->tool) {
        case Tool::apps: return {PageKind::apps, {}};
        case Tool::duplicates: return {PageKind::duplicates, {}};
        case Tool::history: return {PageKind::history, {}};
        }
    }
    if (phase == ScanCoordinator::Phase::idle) return {PageKind::onboarding, {}};
    if (page) return {PageKind::category, page->categoryID};
    return {PageKind::overview, {}};
}

bool showsAccessBanner(bool fullDiskAccess, ScanCoordinator::Phase phase, bool grantable, int64_t unreadableFolders) {
    if (fullDiskAccess || phase == ScanCoordinator::Phase::idle) return false;
    // With nothing to grant, the probes say nothing: only folders the scan could not read do.
    return grantable || unreadableFolders > 0;
}

} // namespace sorvel::ui
