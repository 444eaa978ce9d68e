#pragma once
// What the category pane shows, worked out afresh from the coordinator's state: the rows
// of the current level, its size and path, where "Reveal in File Manager" points, whether the
// Docker block applies, and the limits on rows and tiles.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/ScanResult.h"
#include "engine/Tint.h"

namespace sorvel::ui {

struct CategoryPaneState {
    static constexpr size_t maxRows = 200;
    static constexpr size_t maxTiles = 24;

    const CategoryResult* category = nullptr; // none when the result has no such category
    std::vector<BrowseRow> rows;              // the whole level, largest first
    std::optional<std::string> currentPath;   // none for a several-root category at its own level
    std::set<std::string> excludedBelow;      // the category's excluded paths inside currentPath
    std::optional<std::string> revealTarget;  // the breadcrumb's "Reveal in File Manager"
    bool drilled = false;
    bool showsDocker = false;
    int64_t levelSize = 0;
    Tint tint;
    int64_t fileCount = 0;         // the category's, or while drilled the folder's
    bool partiallyBlocked = false; // a root of the category, or a folder below the one shown, could not be opened
    bool nothingRead = false;      // nothing of the category, or of the folder drilled into, was read
    bool partial = false;          // a stop cut short the walk of the level shown (its figure and file count)
    bool notMeasured = false;      // a stop came before the level shown counted a byte: no figure
    std::vector<std::string> linkNotes; // roots that are links, not followed, at the category's own level

    /// `hasDocker`: whether the Docker command-line tool was found.
    static CategoryPaneState derive(const ScanResult& result, const std::string& categoryID,
                                    const std::vector<ScanNodePtr>& drillPath, bool hasDocker);

    std::string title() const;
    std::string blurb() const;
    /// The rows drawn (at most 200) and the tiles (at most 24).
    size_t visibleRowCount() const { return rows.size() < maxRows ? rows.size() : maxRows; }
    size_t tileCount() const { return rows.size() < maxTiles ? rows.size() : maxTiles; }
    /// "+ N smaller items" for the rows beyond the first 200; none when all show.
    std::optional<std::string> moreRowsText() const;
    /// The share of the level against which rows are measured (at least 1).
    int64_t rowTotal() const { return levelSize > 1 ? levelSize : 1; }
};

namespace CategoryPane {

/// Fill opacity of tile `index` of `count`: 1 for the first, falling to 0.45 at the 24th.
double tileOpacity(size_t index, size_t count);

/// Width of a row's share bar on a track `track` wide: at least 2, never past the track
/// (a row can outgrow its level for a moment while a live update lands).
double shareBarWidth(double track, int64_t size, int64_t total);
/// "12.5%" with a full stop whatever the locale.
std::string shareText(int64_t size, int64_t total);

enum class OpenAction { reveal, drill };
/// Folders with something to list are entered; empty or leaf folders and files are revealed.
OpenAction openAction(const BrowseRow& row);

std::string rowName(const BrowseRow& row);
/// The names of the first `count` rows as shown together: a name that two of them bear (two
/// roots of one category, each called "cache") is shown as its path, with the home as "~".
std::vector<std::string> rowNames(const std::vector<BrowseRow>& rows, size_t count);
std::string rowPath(const BrowseRow& row);

} // namespace CategoryPane
} // namespace sorvel::ui
