#include "ui/screens/CleanupSheetState.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "platform/Path.h"
#include "ui/screens/ScreenText.h"

namespace sorvel::ui {

namespace {

// An absolute path without empty, "." or ".." parts and no slash at its end: what
// standardising would give back unchanged, told without building it again.
bool isStandardAbsolute(const std::string& path) {
    if (path.empty() || path[0] != '/') return false;
    if (path.size() == 1) return true;
    if (path.back() == '/') return false;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string_view part(path.data() + start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

const char* const kReviewSentence =
    "Nothing has been moved. Untick anything you want to keep \u2014 the total follows your ticks.";
}

std::string CleanupSheetState::Group::title() const { return item ? item->title : std::string("Other items"); }

// The executor standardises every path it is given; rows must compare the same way, or an
// outcome could be ticked and moved without standing under any recommendation.
std::string CleanupSheetState::normalizedPath(const std::string& path) {
    return isStandardAbsolute(path) ? path : standardizePath(path);
}

bool CleanupSheetState::isEligible(const CleanupOutcome& outcome) { return outcome.moved() || outcome.wouldMove(); }

void CleanupSheetState::dryRunReturned(std::vector<CleanupOutcome> outcomes) {
    outcomes_ = std::move(outcomes);
    ++outcomesGeneration_;
    selected_.clear();
    chosen_.reset();
    for (const auto& o : outcomes_)
        if (isEligible(o)) selected_.insert(o.path);
    preparing_ = false;
}

bool CleanupSheetState::canProceed() const { return canReview() && !chosen().empty(); }

void CleanupSheetState::proceed() {
    if (canProceed()) stage_ = Stage::confirming;
}

void CleanupSheetState::back() {
    if (canGoBack()) stage_ = Stage::review;
}

std::optional<std::vector<CleanupExecutor::PathSize>> CleanupSheetState::startMove() {
    if (stage_ != Stage::confirming || working_) return std::nullopt;
    std::vector<CleanupExecutor::PathSize> paths;
    for (const auto* o : chosen()) paths.push_back({o->path, o->size, o->shared});
    if (paths.empty()) return std::nullopt;
    working_ = true;
    moveProgress_ = {0, static_cast<int>(paths.size())};
    return paths;
}

void CleanupSheetState::moveReturned(std::vector<CleanupOutcome> outcomes) {
    outcomes_ = std::move(outcomes);
    ++outcomesGeneration_;
    chosen_.reset();
    working_ = false;
    stage_ = Stage::done;
}

void CleanupSheetState::moveProgressed(int done, int total) {
    if (working_ && total > 0) moveProgress_ = {std::clamp(done, 0, total), total};
}

void CleanupSheetState::failed(std::string sentence) {
    failure_ = std::move(sentence);
    outcomes_.clear();
    ++outcomesGeneration_;
    selected_.clear();
    chosen_.reset();
    preparing_ = false;
    // A move that stopped ends the sheet; a dry run that stopped leaves nothing to pick.
    if (working_) stage_ = Stage::done;
    working_ = false;
}

bool CleanupSheetState::isSelectable(const CleanupOutcome& outcome) const {
    return stage_ == Stage::review && isEligible(outcome);
}

void CleanupSheetState::toggle(const std::string& path) {
    if (stage_ != Stage::review) return;
    const auto it = std::find_if(outcomes_.begin(), outcomes_.end(),
                                 [&](const CleanupOutcome& o) { return o.path == path && isEligible(o); });
    if (it == outcomes_.end()) return;
    chosen_.reset();
    if (!selected_.erase(path)) selected_.insert(path);
}

bool CleanupSheetState::allSelected() const {
    const auto e = eligible();
    return !e.empty() && selected_.size() == e.size();
}

void CleanupSheetState::toggleAll() {
    if (stage_ != Stage::review) return;
    chosen_.reset();
    if (allSelected()) {
        selected_.clear();
        return;
    }
    for (const auto* o : eligible()) selected_.insert(o->path);
}

bool CleanupSheetState::groupHasUsableRows(const Group& group) const {
    return std::any_of(group.rows.begin(), group.rows.end(), [&](size_t i) { return isEligible(outcomes_[i]); });
}

bool CleanupSheetState::groupFullySelected(const Group& group) const {
    if (!groupHasUsableRows(group)) return false;
    return std::all_of(group.rows.begin(), group.rows.end(),
                       [&](size_t i) { return !isEligible(outcomes_[i]) || selected_.count(outcomes_[i].path); });
}

void CleanupSheetState::toggleGroup(const Group& group) {
    if (stage_ != Stage::review) return;
    const bool full = groupFullySelected(group);
    chosen_.reset();
    for (size_t i : group.rows) {
        if (!isEligible(outcomes_[i])) continue;
        if (full) selected_.erase(outcomes_[i].path);
        else selected_.insert(outcomes_[i].path);
    }
}

std::vector<const CleanupOutcome*> CleanupSheetState::eligible() const {
    std::vector<const CleanupOutcome*> list;
    for (const auto& o : outcomes_)
        if (isEligible(o)) list.push_back(&o);
    return list;
}

std::vector<const CleanupOutcome*> CleanupSheetState::refused() const {
    std::vector<const CleanupOutcome*> list;
    for (const auto& o : outcomes_)
        if (!isEligible(o)) list.push_back(&o);
    return list;
}

std::vector<const CleanupOutcome*> CleanupSheetState::chosen() const {
    if (chosen_) return *chosen_;
    std::vector<const CleanupOutcome*> list;
    for (const auto& o : outcomes_)
        if (isEligible(o) && selected_.count(o.path)) list.push_back(&o);
    chosen_ = list;
    return list;
}

int64_t CleanupSheetState::chosenBytes() const {
    int64_t sum = 0;
    for (const auto* o : chosen()) sum += o->freed();
    return sum;
}

std::vector<CleanupSheetState::Group> CleanupSheetState::groups(const std::vector<CleanupItem>& items) const {
    // Placed once for the outcomes and items at hand: a tick among thousands of rows only
    // filters the placement again.
    size_t print = items.size();
    const auto mix = [&print](size_t h) { print ^= h + 0x9e3779b97f4a7c15ULL + (print << 6) + (print >> 2); };
    for (const auto& item : items) {
        mix(std::hash<std::string>{}(item.id));
        for (const auto& t : item.targets) mix(std::hash<std::string>{}(t.path));
    }
    if (!placement_ || placedFor_ != std::make_pair(outcomesGeneration_, print)) {
        placement_ = std::make_shared<const std::vector<Group>>(place(items));
        placedFor_ = {outcomesGeneration_, print};
    }
    std::vector<Group> list = *placement_;
    // Confirming lists only what will move, so a wrong tick is seen before it moves.
    if (stage_ == Stage::confirming) {
        for (auto& g : list)
            std::erase_if(g.rows, [&](size_t i) { return !isEligible(outcomes_[i]) || !isSelected(outcomes_[i]); });
        std::erase_if(list, [](const Group& g) { return g.rows.empty(); });
    }
    // After the move, what could not be moved leads its group, where it is seen first.
    if (stage_ == Stage::done)
        for (auto& g : list)
            std::stable_partition(g.rows.begin(), g.rows.end(), [&](size_t i) { return !outcomes_[i].moved(); });
    return list;
}

std::vector<CleanupSheetState::Group> CleanupSheetState::place(const std::vector<CleanupItem>& items) const {
    // Each outcome's path is standardised once and found by it, so thousands of rows under
    // thousands of targets cost their number, not its square.
    std::deque<std::string> standardised;
    auto standard = [&standardised](const std::string& path) -> std::string_view {
        if (isStandardAbsolute(path)) return path;
        return standardised.emplace_back(normalizedPath(path));
    };
    std::unordered_multimap<std::string_view, size_t> byPath;
    byPath.reserve(outcomes_.size());
    for (size_t i = 0; i < outcomes_.size(); ++i) byPath.emplace(standard(outcomes_[i].path), i);
    std::vector<Group> list;
    std::vector<bool> placed(outcomes_.size(), false);
    for (const auto& source : items) {
        auto item = std::make_shared<const CleanupItem>(source);
        auto details = std::make_shared<Details>();
        details->item = item;
        details->byPath.reserve(item->targets.size());
        for (const auto& t : item->targets) {
            std::string_view path = t.path;
            if (!isStandardAbsolute(t.path)) path = details->standardised.emplace_back(normalizedPath(t.path));
            details->byPath.emplace(path, &t.detail); // the first target of a path speaks for it
        }
        Group g{item, {}, details};
        for (const auto& [path, detail] : details->byPath) {
            const auto [from, to] = byPath.equal_range(path);
            for (auto it = from; it != to; ++it) g.rows.push_back(it->second);
        }
        std::sort(g.rows.begin(), g.rows.end());
        for (size_t i : g.rows) placed[i] = true;
        if (!g.rows.empty()) list.push_back(std::move(g));
    }
    Group rest{nullptr, {}, nullptr};
    for (size_t i = 0; i < outcomes_.size(); ++i)
        if (!placed[i]) rest.rows.push_back(i);
    if (!rest.rows.empty()) list.push_back(std::move(rest));
    return list;
}

std::optional<std::string> CleanupSheetState::fallbackDetail(const CleanupOutcome& outcome, const Group& group) {
    if (!group.item) return std::nullopt;
    const std::string path = normalizedPath(outcome.path);
    if (group.details) {
        const auto found = group.details->byPath.find(path);
        return found == group.details->byPath.end() ? std::nullopt : *found->second;
    }
    for (const auto& t : group.item->targets)
        if (normalizedPath(t.path) == path) return t.detail;
    return std::nullopt;
}

int64_t CleanupSheetState::groupBytes(const Group& group, const std::vector<CleanupOutcome>& outcomes) {
    int64_t sum = 0;
    for (size_t i : group.rows) sum += outcomes[i].freed();
    return sum;
}

int CleanupSheetState::movedCount() const {
    return static_cast<int>(std::count_if(outcomes_.begin(), outcomes_.end(), [](const auto& o) { return o.moved(); }));
}

int CleanupSheetState::notMovedCount() const {
    return static_cast<int>(
        std::count_if(outcomes_.begin(), outcomes_.end(), [](const auto& o) { return o.refusal() || o.failure(); }));
}

std::string CleanupSheetState::title() const {
    switch (stage_) {
    case Stage::review: return "Choose what to remove";
    case Stage::confirming: {
        const auto n = static_cast<int64_t>(chosen().size());
        return "Move " + std::to_string(n) + " " + ScreenText::items(n) + " to the Trash?";
    }
    case Stage::done: {
        if (failure_) return "The move stopped";
        const int moved = movedCount();
        if (moved == 0) return "Nothing was moved";
        if (notMovedCount() == 0) return "Moved to the Trash";
        const auto all = static_cast<int64_t>(moved + notMovedCount());
        return "Moved " + std::to_string(moved) + " of " + std::to_string(all) + " " + ScreenText::items(all) +
               " to the Trash";
    }
    }
    return {};
}

std::string CleanupSheetState::subtitle() const {
    if (failure_) return *failure_;
    switch (stage_) {
    case Stage::review: {
        // Back during a move: items are leaving, so "Nothing has been moved" would be untrue.
        std::string lead = kReviewSentence;
        if (working_) {
            const auto [done, total] = moveProgress_;
            lead = "The move to the Trash is under way \u2014 " + std::to_string(done) + " of " +
                   std::to_string(total) + " " + ScreenText::items(total) +
                   " moved so far. What it moved is shown when it ends.";
        }
        const auto n = static_cast<int64_t>(refused().size());
        if (n == 0) return lead;
        return lead + " " + std::to_string(n) + (n == 1 ? " item was" : " items were") +
               " refused by the safety checks and cannot be selected.";
    }
    case Stage::confirming:
        return "These go to the Trash, not deleted. You can put any of them back from the file manager until you empty it.";
    case Stage::done: {
        const int moved = movedCount();
        const int64_t failed = notMovedCount();
        const std::string failures = std::to_string(failed) + " " + ScreenText::items(failed) +
                                     " could not be moved \u2014 each is listed below with the reason.";
        if (moved == 0) return failed == 0 ? std::string("Nothing was chosen to move.") : failures;
        if (failed == 0) return "Nothing is gone until you empty the Trash, so all of this is still recoverable.";
        return "Nothing is gone until you empty the Trash, so what was moved is still recoverable. " + failures;
    }
    }
    return {};
}

CleanupSheetState::HeaderSymbol CleanupSheetState::headerSymbol() const {
    if (failure_) return HeaderSymbol::warning;
    if (stage_ != Stage::done) return HeaderSymbol::checklist;
    return movedCount() > 0 && notMovedCount() == 0 ? HeaderSymbol::success : HeaderSymbol::warning;
}

std::optional<std::string> CleanupSheetState::headerButton() const {
    if (stage_ != Stage::review) return std::nullopt;
    return allSelected() ? "Deselect all" : "Select all";
}

std::optional<std::string> CleanupSheetState::groupButton(const Group& group) const {
    if (stage_ != Stage::review || !groupHasUsableRows(group)) return std::nullopt;
    return groupFullySelected(group) ? "None" : "All";
}

// After the move only what really went to the Trash counts.
int64_t CleanupSheetState::amount() const {
    if (stage_ != Stage::done) return chosenBytes();
    int64_t sum = 0;
    for (const auto& o : outcomes_)
        if (o.moved()) sum += o.freed();
    return sum;
}

std::string CleanupSheetState::countLine() const {
    if (stage_ == Stage::done) return "moved";
    return std::to_string(chosen().size()) + " of " + std::to_string(eligible().size()) + " selected";
}

std::string CleanupSheetState::firstButton() const {
    switch (stage_) {
    case Stage::review: return "Close";
    case Stage::confirming: return "Back";
    case Stage::done: return "Rescan";
    }
    return {};
}

std::string CleanupSheetState::secondButton() const {
    switch (stage_) {
    case Stage::review: return "Move to Trash\u2026";
    case Stage::confirming:
        return working_ ? std::string("Moving\u2026") : "Move " + std::to_string(chosen().size()) + " to Trash";
    case Stage::done: return "Done";
    }
    return {};
}

bool CleanupSheetState::firstButtonEnabled() const { return true; }

bool CleanupSheetState::secondButtonEnabled() const {
    switch (stage_) {
    case Stage::review: return canProceed();
    case Stage::confirming: return !working_;
    case Stage::done: return true;
    }
    return false;
}

std::string CleanupSheetState::copiedPaths() const {
    std::string text;
    for (const auto* o : chosen()) {
        if (!text.empty()) text += '\n';
        text += o->path;
    }
    return text;
}

} // namespace sorvel::ui
