#pragma once
// The recommendations as every surface shows them: each rule's targets checked against the
// cleanup policy, so that no item offers, nor counts, what the guard would refuse by its place.
#include <vector>

#include "engine/CleanupItem.h"
#include "engine/ScanResult.h"
#include "removal/CleanupPolicy.h"

namespace sorvel::OfferScreen {

/// Moves each target the policy refuses (a denied place it is, lies in or holds, as written
/// or where the policy's entries lead; outside every allowed root; an allowed root itself;
/// anything while the policy lets nothing pass) into its item's refused list, with the
/// refusal as its detail. Items are left in their order.
void apply(std::vector<CleanupItem>& items, const CleanupPolicy& policy);

/// The finder's recommendations, so checked against the standard policy and ordered as the
/// finder orders them.
std::vector<CleanupItem> recommendations(const ScanResult& result);
std::vector<CleanupItem> recommendations(const ScanResult& result, std::vector<CleanupItem>& unreadOnly);

} // namespace sorvel::OfferScreen
