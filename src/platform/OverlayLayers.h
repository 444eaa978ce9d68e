#pragma once
// An overlay's layers known by what the kernel shows through the mount, not by the text
// of its options: that text is kept from mount time, and a layer renamed since (or its
// name given to another folder) is still what the overlay shows and writes into.
#include <optional>
#include <string>
#include <vector>

#include "platform/MountTable.h"

namespace sorvel {

struct LayerCheck {
    std::string layer;                 // as the options give it
    std::optional<std::string> folder; // where it lies now, once confirmed to be the layer
    bool settling = false;             // the inodes agree, the times not yet (a write between two looks)

    friend bool operator==(const LayerCheck&, const LayerCheck&) = default;
};

/// Each layer of an overlay mount (the upper first), confirmed where its text names an
/// existing folder, off the mount, that the mount shows: the upper one by the mount's
/// root, which has the upper folder's times (and inode, where the layers share a file
/// system); a lower one by an entry in it seen through the mount with its inode and
/// times. Unconfirmed where the text leads nowhere or to another folder, where the mount
/// is not reached at its point (covered, a table made by hand), or where nothing of a
/// lower layer shows through it (empty, hidden by the layers above, data only).
std::vector<LayerCheck> confirmedLayers(const MountEntry& mount);

/// `confirmedLayers` looked at within `lookBound()` (a layer may lie on a FUSE mount): none
/// when the overlay did not answer in time.
std::optional<std::vector<LayerCheck>> confirmedLayersInTime(const MountEntry& mount);

} // namespace sorvel
