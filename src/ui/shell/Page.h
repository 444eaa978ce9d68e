#pragma once
// Which page the detail area shows: a pure function of the selected page identifier and
// the scan phase. A page's identity (kind, and the category id for a category page) is
// what makes the host build a new screen; anything else refreshes the screen in place.
// Tool pages keep one identity whatever detail follows "#": they read the detail
// themselves.
#include <optional>
#include <string>

#include "models/ScanCoordinator.h"

namespace sorvel::ui {

enum class PageKind { onboarding, overview, category, apps, duplicates, history };

struct Page {
    PageKind kind = PageKind::overview;
    std::string categoryID; // category pages only
    friend bool operator==(const Page&, const Page&) = default;
};

/// Tools in every phase; onboarding while idle; then the category named by the
/// selection, or the overview.
Page pageFor(const std::optional<std::string>& selected, ScanCoordinator::Phase phase);

/// The access banner stands above the page while access is missing and a scan started; where
/// there is no grant (`grantable` false), only once the scan met folders it could not read.
bool showsAccessBanner(bool fullDiskAccess, ScanCoordinator::Phase phase, bool grantable, int64_t unreadableFolders);

} // namespace sorvel::ui
