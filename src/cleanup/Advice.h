#pragma once
// Written advice per category: what is worth doing about its space, what is a judgement
// call and what must not be done. Fixed text, except the Messages advice, which follows
// the detected iCloud state, and advice naming a tool or a kind of file system, which is
// given only where this machine has it.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cleanup/CloudStatus.h"
#include "engine/DisplayCategory.h"
#include "engine/ScanResult.h"
#include "platform/UUID.h"

namespace sorvel {

struct AdviceItem {
    enum class Confidence { safe, review, avoid };

    UUID id = UUID::random();
    std::string title;
    std::string rationale;
    std::optional<std::string> command; // a command, or a settings path with " → " steps
    Confidence confidence = Confidence::safe;
    std::optional<std::string> condition; // the detected state the advice rests on
};

/// What the machine offers that some advice names.
struct AdviceSurroundings {
    std::function<bool(const std::string& tool)> hasTool; // an executable of that name on PATH
    bool homeKeepsSnapshots = false; // the home folder lies on a file system that makes snapshots
    // Where Homebrew keeps its formulae: the folder above the one its `brew` on PATH is in,
    // as `brew --prefix` answers it. None without a `brew`.
    std::optional<std::string> homebrewPrefix = std::nullopt;
    // The home holds ~/Library: the other system's cards apply. Without it, each category
    // gets the cards about the Linux places it measures.
    bool homeHasLibrary = true;

    /// This machine now: PATH as it is set, the home folder's file system from the mount table.
    static AdviceSurroundings ofThisMachine();
};

namespace AdviceCatalog {

/// The advice for the category on show (none selected: nothing). Items of the fixed lists
/// keep their identifiers for the life of the process; the Mail and Whole Disk lists and
/// the journal's card are made anew on every call. Of the scan result only the journal's
/// measured size is read, so its trim is advised to a size below what it takes.
std::vector<AdviceItem> advice(const std::optional<DisplayCategory>& category, const ScanResult& result,
                               const CloudStatus& cloud);
std::vector<AdviceItem> advice(const std::optional<DisplayCategory>& category, const ScanResult& result,
                               const CloudStatus& cloud, const AdviceSurroundings& machine);

} // namespace AdviceCatalog
} // namespace sorvel
