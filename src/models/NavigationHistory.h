#pragma once
// A browser-like history of main-window pages: where back and forward lead. Plain values;
// the coordinator owns one and publishes the page it lands on.
#include <optional>
#include <string>
#include <vector>

#include "engine/ScanNode.h"

namespace sorvel {

/// One position of the page history. Drill paths compare by node identity.
struct NavigationState {
    std::optional<std::string> categoryID;
    std::vector<ScanNodePtr> drillPath;
    friend bool operator==(const NavigationState& a, const NavigationState& b);
};

class NavigationHistory {
public:
    /// Leaving `current` for a new page: it can be gone back to, nothing lies ahead.
    void leave(NavigationState current) {
        back_.push_back(std::move(current));
        forward_.clear();
    }
    /// The page back leads to, with `current` kept for forward; none at the start.
    std::optional<NavigationState> back(NavigationState current) { return step(back_, forward_, std::move(current)); }
    /// The page forward leads to, with `current` kept for back; none at the end.
    std::optional<NavigationState> forward(NavigationState current) {
        return step(forward_, back_, std::move(current));
    }
    void clear() {
        back_.clear();
        forward_.clear();
    }
    /// Hands every kept drill path to `follow`, which may change it (a new tree replaced
    /// the one the path was taken in).
    template <class Follow> void followEach(Follow follow) {
        for (auto& state : back_) follow(state.drillPath);
        for (auto& state : forward_) follow(state.drillPath);
    }
    const std::vector<NavigationState>& backStack() const { return back_; }
    const std::vector<NavigationState>& forwardStack() const { return forward_; }

private:
    static std::optional<NavigationState> step(std::vector<NavigationState>& from, std::vector<NavigationState>& to,
                                               NavigationState current) {
        if (from.empty()) return std::nullopt;
        NavigationState target = std::move(from.back());
        from.pop_back();
        to.push_back(std::move(current));
        return target;
    }

    std::vector<NavigationState> back_;
    std::vector<NavigationState> forward_;
};

} // namespace sorvel
