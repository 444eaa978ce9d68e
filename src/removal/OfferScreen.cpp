#include "removal/OfferScreen.h"

#include "cleanup/CleanupFinder.h"
#include "cleanup/TargetPlaces.h"
#include "platform/Path.h"
#include "removal/CleanupGuard.h"
#include "removal/GuardSession.h"

namespace sorvel::OfferScreen {
namespace {

std::optional<CleanupGuard::Refusal> policyWide(const CleanupPolicy& policy) {
    if (policy.picturesUnknown) return CleanupGuard::Refusal::picturesUnknown(*policy.picturesUnknown);
    if (policy.swapsUnknown) return CleanupGuard::Refusal::swapsUnknown(*policy.swapsUnknown);
    return std::nullopt;
}

} // namespace

void apply(std::vector<CleanupItem>& items, const CleanupPolicy& policy) {
    const auto everything = policyWide(policy);
    // One session for all targets: where the protected places and what mounts show lie is
    // worked out once, not once a target.
    std::optional<CleanupGuard::Session> guard;
    for (auto& item : items) {
        std::vector<CleanupTarget> kept;
        for (auto& target : item.targets) {
            if (!everything && !guard) guard.emplace(policy, std::nullopt);
            auto refusal = everything ? everything : guard->judgePlace(target.path).refusal;
            // As the move's own walk would find: a tree the Trash could not be emptied of.
            if (!refusal && target.unwritableFolders > 0)
                refusal = CleanupGuard::Refusal::cannotBeEmptied(target.unwritableFolders);
            if (!refusal) {
                kept.push_back(std::move(target));
                continue;
            }
            target.detail = refusal->description();
            item.refused.push_back(std::move(target));
        }
        item.targets = std::move(kept);
    }
}

static std::vector<CleanupItem> screened(const ScanResult& result, std::vector<CleanupItem>& unreadOnly,
                                         std::vector<Refused>* screenedOut) {
    std::vector<CleanupItem> items = CleanupFinder::recommendations(result, unreadOnly);
    std::vector<size_t> listedByRule; // the screening appends its refusals after these
    for (const auto& item : items) listedByRule.push_back(item.refused.size());
    OfferScreen::apply(items, CleanupPolicy::standard());
    if (screenedOut)
        for (size_t i = 0; i < items.size(); ++i)
            for (size_t j = listedByRule[i]; j < items[i].refused.size(); ++j)
                screenedOut->push_back({items[i].id, items[i].refused[j]});
    TargetPlaces::name(items); // what the guard refused is no longer where the row points
    CleanupFinder::order(items);
    return items;
}

std::vector<CleanupItem> recommendations(const ScanResult& result) {
    std::vector<CleanupItem> unreadOnly;
    return recommendations(result, unreadOnly);
}

std::vector<CleanupItem> recommendations(const ScanResult& result, std::vector<CleanupItem>& unreadOnly) {
    return screened(result, unreadOnly, nullptr);
}

std::vector<CleanupItem> recommendations(const ScanResult& result, std::vector<Refused>& screenedOut) {
    std::vector<CleanupItem> unreadOnly;
    return screened(result, unreadOnly, &screenedOut);
}

} // namespace sorvel::OfferScreen
