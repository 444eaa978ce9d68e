#include "ui/screens/CategoryPaneState.h"

#include <algorithm>
#include <unordered_map>

#include "engine/Reading.h"
#include "platform/Path.h"
#include "ui/screens/ScreenText.h"
#include "platform/Text.h"

namespace sorvel::ui {

CategoryPaneState CategoryPaneState::derive(const ScanResult& result, const std::string& categoryID,
                                            const std::vector<ScanNodePtr>& drillPath, bool hasDocker) {
    CategoryPaneState s;
    s.category = result.category(categoryID);
    s.drilled = !drillPath.empty();
    s.tint = s.category ? s.category->category.tint : Tint::slate();

    if (s.drilled) {
        const ScanNode& last = *drillPath.back();
        s.rows = last.browsableRows();
        s.currentPath = last.path;
        s.revealTarget = last.path;
        s.levelSize = last.size;
        s.partial = last.partial;
    } else if (s.category) {
        s.rows = s.category->browsableRows();
        if (s.category->roots.size() == 1 && !s.category->roots.front()->isFile)
            s.currentPath = s.category->roots.front()->path;
        if (!s.category->roots.empty()) s.revealTarget = s.category->roots.front()->path;
        for (const auto& root : s.category->roots) s.levelSize += root->size;
    }

    if (s.category && s.currentPath) {
        // Folders that another category owns were left out of this one's sizes; the
        // insights leave them out too.
        const std::string prefix = *s.currentPath + "/";
        for (const auto& excluded : s.category->category.excludedPaths)
            if (excluded.compare(0, prefix.size(), prefix) == 0) s.excludedBelow.insert(excluded);
    }

    if (s.category) {
        for (const auto& root : s.category->roots) {
            s.fileCount += root->fileCount;
            s.partiallyBlocked = s.partiallyBlocked || root->accessDenied;
        }
        s.nothingRead = s.category->unreadable() && s.category->total() == 0;
        if (!s.drilled) s.partial = s.category->partial();
        if (!s.drilled) s.notMeasured = s.category->notMeasured();
        if (!s.drilled) s.linkNotes = s.category->linkNotes();
    }
    if (s.drilled) {
        // The header speaks of the folder shown, as its insights do: its files, and no
        // figure at all for a folder nothing of which was read.
        s.fileCount = drillPath.back()->fileCount;
        const Reading reading = readingOf(*drillPath.back());
        s.nothingRead = s.nothingRead || reading == Reading::none;
        s.notMeasured = reading == Reading::unmeasured;
        s.partiallyBlocked = s.partiallyBlocked || refusedInPart(*drillPath.back());
    }

    if (hasDocker) {
        if (s.category && s.category->category.storage == StorageCategory::containers && !s.drilled)
            s.showsDocker = true;
        else
            s.showsDocker = s.currentPath && s.currentPath->find("com.docker.docker") != std::string::npos;
    }
    return s;
}

std::string CategoryPaneState::title() const { return category ? category->category.title : std::string(); }
std::string CategoryPaneState::blurb() const { return category ? category->category.blurb : std::string(); }

std::optional<std::string> CategoryPaneState::moreRowsText() const {
    if (rows.size() <= maxRows) return std::nullopt;
    return "+ " + counted(int64_t(rows.size() - maxRows), "smaller item");
}

namespace CategoryPane {

double tileOpacity(size_t index, size_t count) {
    const double span = static_cast<double>(std::max<size_t>(count, 2) - 1);
    return 1.0 - 0.55 * static_cast<double>(index) / span;
}

double shareBarWidth(double track, int64_t size, int64_t total) {
    if (track <= 0) return 0;
    const double share = static_cast<double>(size) / static_cast<double>(std::max<int64_t>(total, 1));
    return std::clamp(track * share, std::min(2.0, track), track);
}

std::string shareText(int64_t size, int64_t total) {
    const double v = static_cast<double>(size) / static_cast<double>(std::max<int64_t>(total, 1)) * 100.0;
    return ScreenText::percentOneDecimal(v);
}

OpenAction openAction(const BrowseRow& row) {
    if (!row.isDirectory()) return OpenAction::reveal;
    const ScanNode& node = *row.node();
    return node.children.empty() && node.largestFiles.empty() ? OpenAction::reveal : OpenAction::drill;
}

std::string rowName(const BrowseRow& row) { return row.isDirectory() ? row.node()->name : row.fileEntry().name; }
std::string rowPath(const BrowseRow& row) { return row.isDirectory() ? row.node()->path : row.fileEntry().path; }

std::vector<std::string> rowNames(const std::vector<BrowseRow>& rows, size_t count) {
    count = std::min(count, rows.size());
    std::vector<std::string> names;
    names.reserve(count);
    std::unordered_map<std::string, int> seen;
    for (size_t i = 0; i < count; ++i) ++seen[names.emplace_back(rowName(rows[i]))];
    for (size_t i = 0; i < count; ++i)
        if (seen[names[i]] > 1) names[i] = tildeAbbreviated(rowPath(rows[i]));
    return names;
}

} // namespace CategoryPane
} // namespace sorvel::ui
