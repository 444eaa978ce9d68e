#pragma once
// The advice cards about the places a Linux home keeps each kind of data, shown where the
// home holds no ~/Library: none names the other system's tools or places.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cleanup/Advice.h"

namespace sorvel::LinuxAdvice {

/// An executable of that name is on PATH.
using HasTool = std::function<bool(const std::string& tool)>;

// The fixed cards of each category, made once: their identifiers hold for the process.
const AdviceItem& cacheFolderItem();       ///< the cache folder is cleared app by app, never wholesale
const std::vector<AdviceItem>& appData();  ///< the data folder
const std::vector<AdviceItem>& appFolders(); ///< Flatpak and snap apps' folders
const std::vector<AdviceItem>& mail();     ///< Thunderbird's and Evolution's
const std::vector<AdviceItem>& swap();     ///< swap files
const std::vector<AdviceItem>& settings(); ///< the settings and state folders

/// The developer tools' cards: their own commands, for the tools this machine has.
std::vector<AdviceItem> developer(const HasTool& has);

/// The journal's trim, to a size below what the scan measured it to take (keeping one
/// identifier for the process). None when it takes too little to be worth trimming, or
/// when the logs folder was read whole and holds no journal. When its size is not known,
/// the card says how to see it first.
std::optional<AdviceItem> journal(const ScanResult& result);

/// Journals under this size are not worth a trim.
inline constexpr int64_t kJournalWorthTrimming = 64LL * 1024 * 1024;

} // namespace sorvel::LinuxAdvice
