// Which page the main window shows, and a browser-like history of pages with back,
// forward and up. Lives only until the next scan.
#include "models/ScanCoordinator.h"

#include <algorithm>

#include "models/PageID.h"

namespace sorvel {

bool operator==(const NavigationState& a, const NavigationState& b) {
    if (a.categoryID != b.categoryID) return false;
    if (a.drillPath.size() != b.drillPath.size()) return false;
    for (size_t i = 0; i < a.drillPath.size(); ++i)
        if (a.drillPath[i]->id != b.drillPath[i]->id) return false;
    return true;
}

void ScanCoordinator::setSelectedCategory(std::optional<std::string> id) {
    if (selectedCategory_ == id) return;
    selectedCategory_ = std::move(id);
    emit selectedCategoryChanged();
}

void ScanCoordinator::setDrillPath(std::vector<ScanNodePtr> path) {
    if (drillPath_ == path) return;
    drillPath_ = std::move(path);
    emit drillPathChanged();
}

void ScanCoordinator::raiseNavigationToken() {
    ++navigationToken_;
    emit navigationTokenChanged();
}

ScanCoordinator::NavigationState ScanCoordinator::position() const { return {selectedCategory_, drillPath_}; }

void ScanCoordinator::move(const NavigationState& target, bool recordingHistory) {
    if (target == position()) return;
    if (recordingHistory) history_.leave(position());
    setSelectedCategory(target.categoryID);
    setDrillPath(target.drillPath);
    raiseNavigationToken();
}

void ScanCoordinator::navigateBack() {
    auto previous = history_.back(position());
    if (!previous) return;
    setSelectedCategory(std::move(previous->categoryID));
    setDrillPath(std::move(previous->drillPath));
    raiseNavigationToken();
}

void ScanCoordinator::navigateForward() {
    auto next = history_.forward(position());
    if (!next) return;
    setSelectedCategory(std::move(next->categoryID));
    setDrillPath(std::move(next->drillPath));
    raiseNavigationToken();
}

void ScanCoordinator::navigateUp() {
    if (!drillPath_.empty()) {
        std::vector<ScanNodePtr> shorter(drillPath_.begin(), drillPath_.end() - 1);
        move({selectedCategory_, std::move(shorter)}, true);
        return;
    }
    if (!selectedCategory_) return;
    // From a tool's detail up to the tool page; from anything else up to the overview.
    if (const PageID page = PageID::parse(*selectedCategory_); page.tool && page.detail) {
        move({rawValue(*page.tool), {}}, true);
    } else {
        move({std::nullopt, {}}, true);
    }
}

bool ScanCoordinator::canGoUp() const { return !drillPath_.empty() || selectedCategory_.has_value(); }

std::optional<std::string> ScanCoordinator::parentName() const {
    if (drillPath_.size() >= 2) return drillPath_[drillPath_.size() - 2]->name;
    if (drillPath_.size() == 1) {
        if (!selectedCategory_) return std::nullopt;
        const CategoryResult* category = result_.category(*selectedCategory_);
        if (!category) return std::nullopt;
        return category->category.title;
    }
    if (!selectedCategory_) return std::nullopt;
    if (const PageID page = PageID::parse(*selectedCategory_); page.tool && page.detail) return title(*page.tool);
    return std::string("Overview");
}

void ScanCoordinator::show(Tool tool, const std::optional<std::string>& detail) {
    std::string page = rawValue(tool);
    if (detail) page += "#" + *detail;
    move({std::move(page), {}}, true);
}

void ScanCoordinator::drill(const ScanNodePtr& node) {
    std::vector<ScanNodePtr> deeper = drillPath_;
    deeper.push_back(node);
    move({selectedCategory_, std::move(deeper)}, true);
}

void ScanCoordinator::drillBack(size_t depth) {
    const size_t keep = std::min(depth, drillPath_.size());
    move({selectedCategory_, std::vector<ScanNodePtr>(drillPath_.begin(), drillPath_.begin() + keep)}, true);
}

void ScanCoordinator::resetNavigation() {
    setSelectedCategory(std::nullopt);
    setDrillPath({});
    history_.clear();
    raiseNavigationToken();
}

} // namespace sorvel
