#pragma once
// Written advice per category: what is worth doing about its space, what is a judgement
// call and what must not be done. Fixed text, except the Messages advice, which follows
// the detected iCloud state.
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

namespace AdviceCatalog {

/// The advice for the category on show (none selected: nothing). Items of the fixed lists
/// keep their identifiers for the life of the process; the Mail and Whole Disk lists are
/// made anew on every call. The scan result is accepted but not consulted.
std::vector<AdviceItem> advice(const std::optional<DisplayCategory>& category, const ScanResult& result,
                               const CloudStatus& cloud);

} // namespace AdviceCatalog
} // namespace sorvel
