#include "cli/PlanCommand.h"

#include "cleanup/CloudStatus.h"
#include "cleanup/TargetExplainer.h"
#include "cli/CommandPath.h"
#include "cli/ReportOutput.h"
#include "cli/TextLayout.h"
#include "cli/TextWrap.h"
#include "engine/Bytes.h"
#include "engine/MultiRootScan.h"
#include "engine/ScanControl.h"
#include "platform/Path.h"
#include "removal/CleanupPolicy.h"
#include "removal/OfferScreen.h"
#include "engine/SharedLinks.h"

namespace sorvel::HeadlessReport {
namespace {

constexpr int kWrapWidth = 74;
const std::string kExplainIndent(15, ' ');

std::string rule() {
    std::string line = "  ";
    for (int i = 0; i < 68; ++i) line += "\u2500";
    return line;
}

std::string sizeColumn(int64_t bytes) { return TextLayout::leftPadded(Bytes::format(bytes), 11); }

std::string reason(const CleanupOutcome& outcome) {
    if (auto refusal = outcome.refusal()) return TextLayout::shown(refusal->description());
    if (auto failure = outcome.failure()) return TextLayout::shown(*failure);
    return {};
}

} // namespace

PlanInput planInput(const std::vector<CleanupItem>& recommendations) {
    PlanInput input;
    for (const auto& item : recommendations) {
        // What a safe rule found but the policy refuses is shown refused, with the guard's reason.
        if (item.risk == CleanupRisk::safe && !item.externalAction)
            for (const auto& target : item.refused) input.pairs.push_back({target.path, target.size});
        // The same items the window preselects: one with an outside action is the user's to do.
        if (!item.isSafeToClean()) continue;
        for (const auto& target : item.targets) {
            input.pairs.push_back({target.path, target.size, target.shared});
            input.details.try_emplace(standardizePath(target.path), target.detail);
            if (target.partlyRead) input.partlyRead.insert(standardizePath(target.path));
        }
    }
    return input;
}

std::string planText(const std::vector<CleanupOutcome>& outcomes,
                     const std::map<std::string, std::optional<std::string>>& details,
                     int64_t unreadableFolders, const std::set<std::string>& partlyRead) {
    std::vector<const CleanupOutcome*> passed, refused;
    for (const auto& outcome : outcomes) {
        if (outcome.wouldMove() || outcome.moved()) passed.push_back(&outcome);
        else refused.push_back(&outcome);
    }

    std::string out;
    auto line = [&](const std::string& text) {
        out += text;
        out += '\n';
    };
    line("");
    line("  Cleanup plan \u2014 dry run, nothing moved");
    line(rule());
    line("  " + std::to_string(passed.size()) + " of " + std::to_string(outcomes.size()) +
         " targets passed every safety check");
    line("  " + Bytes::format(CleanupExecutor::freed(outcomes)) + " would move to the Trash");
    int64_t shared = 0;
    for (const auto* o : passed) shared = Bytes::saturatingAdd(shared, o->size - o->freed());
    if (shared > 0)
        line(wrap(Bytes::format(shared) + " more is shared storage: hard links to files also named outside the "
                  "targets. Moving them frees none of it.", "  ", kWrapWidth));
    if (unreadableFolders > 0) line("  Not looked at: " + CommandPath::unreadableNote(unreadableFolders));

    if (!refused.empty()) {
        line("");
        line("  REFUSED");
        for (size_t i = 0; i < refused.size() && i < kPlanRefusedLimit; ++i) {
            const auto& o = *refused[i];
            line("  " + sizeColumn(o.size) + "  " + TextLayout::fitted(TextLayout::shownPath(o.path), 46) + "  " +
                 reason(o) + (partlyRead.count(o.path) ? "  (partly read)" : ""));
        }
        if (refused.size() > kPlanRefusedLimit)
            line("    \u2026 and " + std::to_string(refused.size() - kPlanRefusedLimit) + " more");
    }

    line("");
    line("  WOULD MOVE TO TRASH");
    for (size_t i = 0; i < passed.size() && i < kPlanListingLimit; ++i) {
        const auto& o = *passed[i];
        line("");
        line("  " + sizeColumn(o.freed()) + "  " + TextLayout::shownPath(o.path) +
             (partlyRead.count(o.path) ? "  (partly read)" : ""));
        std::optional<std::string> fallback;
        if (auto it = details.find(o.path); it != details.end()) fallback = it->second;
        const auto explanation = TargetExplainer::explain(o.path, fallback);
        // Escaped before wrapping: the wrap's own line breaks are meant.
        line(wrap(TextLayout::shown(explanation.what), kExplainIndent, kWrapWidth));
        if (explanation.cost) line(wrap("\u2192 " + TextLayout::shown(*explanation.cost), kExplainIndent, kWrapWidth));
        if (const auto note = sharedStorageNote(o.size, o.shared)) line(wrap(*note, kExplainIndent, kWrapWidth));
    }
    if (passed.size() > kPlanListingLimit)
        line("    \u2026 and " + std::to_string(passed.size() - kPlanListingLimit) + " more");

    line("");
    line("  Nothing was moved. Acting on this requires confirming in the app.");
    line("");
    return out;
}

int plan() {
    ScanControl control;
    ReportOutput::diagnostic("Scanning\u2026\n");
    const ScanResult result = MultiRootScan::scanSynchronously(control, ScanScope::systemData);
    if (result.nothingReadable()) return CommandPath::nothingReadable(result.categories.front().roots.front()->path);
    const auto recommendations = OfferScreen::recommendations(result);
    const CloudStatus cloud = CloudDetector::detect();

    const PlanInput input = planInput(recommendations);
    const auto outcomes = CleanupExecutor::run(input.pairs, CleanupExecutor::Mode::dryRun, CleanupPolicy::standard(),
                                               cloud, nullptr);
    return ReportOutput::emit(planText(outcomes, input.details, result.unreadableFolders, input.partlyRead));
}

} // namespace sorvel::HeadlessReport
