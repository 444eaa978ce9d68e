#pragma once
// The cleanup preview's steps as a plain value: the dry run's outcomes grouped under the
// recommendations they came from, the ticks, the three stages and every text the sheet
// shows. The dialog drives it and paints what it says; nothing here waits or moves files.
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <unordered_set>
#include <string>
#include <string_view>
#include <utility>
#include <unordered_map>
#include <vector>

#include "engine/CleanupItem.h"
#include "removal/CleanupExecutor.h"

namespace sorvel::ui {

class CleanupSheetState {
public:
    enum class Stage { review, confirming, done };
    enum class HeaderSymbol { checklist, success, warning };

    /// The rows under one recommendation, or (no item) under the trailing group of outcomes
    /// that match no recommendation, so nothing is moved without being shown.
    /// The detail of an item's first target at each standardised path (views into the item).
    struct Details {
        std::shared_ptr<const CleanupItem> item; // what the views point into
        std::deque<std::string> standardised;    // the paths that standardising changed
        std::unordered_map<std::string_view, const std::optional<std::string>*> byPath;
    };
    struct Group {
        std::shared_ptr<const CleanupItem> item; // shared: a rule may hold thousands of targets
        std::vector<size_t> rows; // indices into outcomes(), in their order
        std::shared_ptr<const Details> details;
        std::string title() const;
    };

    /// The one way target paths and outcome paths are compared.
    static std::string normalizedPath(const std::string& path);
    static bool isEligible(const CleanupOutcome& outcome);

    // Progress of the steps.
    void dryRunReturned(std::vector<CleanupOutcome> outcomes);
    bool canReview() const { return stage_ == Stage::review && !preparing_; }
    bool canProceed() const;
    void proceed();
    /// "Back" and Escape, while confirming: also while the move runs, which goes on; the
    /// review's ticks are then open again until its outcomes come back.
    bool canGoBack() const { return stage_ == Stage::confirming; }
    void back();
    /// The chosen paths with their sizes, and the state marked as moving; none when the
    /// move cannot start now.
    std::optional<std::vector<CleanupExecutor::PathSize>> startMove();
    void moveReturned(std::vector<CleanupOutcome> outcomes);
    /// How far the running move has come: `done` of `total` paths moved.
    void moveProgressed(int done, int total);
    /// The dry run or the move stopped without outcomes: the sheet ends with the reason.
    void failed(std::string sentence);
    const std::optional<std::string>& failure() const { return failure_; }

    // Ticks (review stage only, also after "Back" while a move runs).
    bool isSelectable(const CleanupOutcome& outcome) const;
    bool isSelected(const CleanupOutcome& outcome) const { return selected_.count(outcome.path) > 0; }
    void toggle(const std::string& path);
    bool allSelected() const;
    void toggleAll();
    bool groupFullySelected(const Group& group) const;
    bool groupHasUsableRows(const Group& group) const;
    void toggleGroup(const Group& group);

    // Derived lists.
    const std::vector<CleanupOutcome>& outcomes() const { return outcomes_; }
    /// Changes each time the outcomes are replaced.
    uint64_t outcomesGeneration() const { return outcomesGeneration_; }
    std::vector<const CleanupOutcome*> eligible() const;
    std::vector<const CleanupOutcome*> refused() const;
    std::vector<const CleanupOutcome*> chosen() const;
    int64_t chosenBytes() const;
    /// Groups in the order of `items`, then the trailing group when some outcome matches none.
    /// While confirming, only the chosen rows (and the groups that hold some) are listed.
    std::vector<Group> groups(const std::vector<CleanupItem>& items) const;
    /// The detail of the item's first target at the outcome's path.
    static std::optional<std::string> fallbackDetail(const CleanupOutcome& outcome, const Group& group);
    static int64_t groupBytes(const Group& group, const std::vector<CleanupOutcome>& outcomes);

    // Texts and look.
    Stage stage() const { return stage_; }
    bool isPreparing() const { return preparing_; }
    bool isWorking() const { return working_; }
    std::string title() const;
    std::string subtitle() const;
    HeaderSymbol headerSymbol() const;
    std::optional<std::string> headerButton() const; // "Select all" / "Deselect all"
    std::optional<std::string> groupButton(const Group& group) const; // "All" / "None"
    int64_t amount() const;
    std::string countLine() const;
    std::string firstButton() const;
    std::string secondButton() const;
    bool secondButtonEnabled() const;
    bool firstButtonEnabled() const;
    bool showsOpenTrash() const { return stage_ == Stage::done; }
    std::string copiedPaths() const;
    bool showsNothingSelected() const { return !preparing_ && outcomes_.empty(); }

    // Counts of the move's outcomes (done stage).
    int movedCount() const;
    int notMovedCount() const;

private:
    std::vector<Group> place(const std::vector<CleanupItem>& items) const;

    std::vector<CleanupOutcome> outcomes_;
    uint64_t outcomesGeneration_ = 0;
    // The groups of the last outcomes and items, before the stage picks from them.
    mutable std::shared_ptr<const std::vector<Group>> placement_;
    mutable std::pair<uint64_t, size_t> placedFor_{0, 0}; // outcomes' generation, items' fingerprint
    // Looked up for every row on every tick: hashed, and what is chosen kept until a tick.
    std::unordered_set<std::string> selected_;
    mutable std::optional<std::vector<const CleanupOutcome*>> chosen_;
    Stage stage_ = Stage::review;
    bool working_ = false;
    std::pair<int, int> moveProgress_{0, 0}; // done, total
    bool preparing_ = true;
    std::optional<std::string> failure_;
};

} // namespace sorvel::ui
