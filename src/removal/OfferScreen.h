#pragma once
// The recommendations as every surface shows them: each rule's targets checked against the
// cleanup policy, so that no item offers, nor counts, what the guard would refuse by its place.
#include <string>
#include <vector>

#include "engine/CleanupItem.h"
#include "engine/ScanResult.h"
#include "removal/CleanupPolicy.h"

namespace sorvel::OfferScreen {

/// Moves each target the guard refuses by its place (the tests a move's judgement makes of
/// where the path lies: the policy's rules as written and where its entries lead, the
/// protected places by identity, mounts and what any mount shows, trashes; anything while
/// the policy lets nothing pass), and each that holds folders this user may not write (the
/// Trash could not be emptied of it), into its item's refused list, with the refusal as its
/// detail. Items are left in their order.
void apply(std::vector<CleanupItem>& items, const CleanupPolicy& policy);

/// The finder's recommendations, so checked against the standard policy and ordered as the
/// finder orders them.
std::vector<CleanupItem> recommendations(const ScanResult& result);
std::vector<CleanupItem> recommendations(const ScanResult& result, std::vector<CleanupItem>& unreadOnly);

/// A target the guard refused when the offers were screened, with the rule that found it;
/// its `detail` says why.
struct Refused {
    std::string ruleId;
    CleanupTarget target;
};
/// The recommendations, and every target the screening refused (not those the rules list
/// as refused themselves), in the finder's order.
std::vector<CleanupItem> recommendations(const ScanResult& result, std::vector<Refused>& screenedOut);

} // namespace sorvel::OfferScreen
