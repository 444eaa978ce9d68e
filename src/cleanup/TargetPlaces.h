#pragma once
// Where a recommendation's row says its items lie: named from the items themselves, so a
// row never names a folder the rule read but found nothing to offer in.
#include <string>
#include <vector>

#include "engine/CleanupItem.h"

namespace sorvel::TargetPlaces {

/// Where `paths` lie. Each path's place is the deepest of `places` that is or holds it,
/// else the folder holding it; the distinct places in the order of the paths, written with
/// "~", joined by ", ", and past two as "+ N more". Empty without paths.
std::string label(const std::vector<std::string>& paths, const std::vector<std::string>& places);

/// Names each item's place from its targets or, when it offers only refused places, from
/// those, against the folders its rule reads (`places`); an item with neither keeps the
/// label of the folders it read.
void name(std::vector<CleanupItem>& items);

} // namespace sorvel::TargetPlaces
