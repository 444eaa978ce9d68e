#include "ui/screens/ReviewRowText.h"

#include "engine/PathText.h"
#include "platform/Path.h"

namespace sorvel::ui::ReviewRowText {

std::optional<std::string> statusMessage(const CleanupOutcome& outcome) {
    if (outcome.moved()) return std::string("Moved to the Trash \u2014 recoverable from the file manager");
    if (const auto* r = outcome.refusal()) return "Left alone: " + r->description();
    if (const auto* f = outcome.failure()) return "Could not move: " + *f;
    return std::nullopt;
}

std::string symbol(const CleanupOutcome& outcome) {
    if (outcome.moved()) return "checkmark.circle.fill";
    if (outcome.refusal()) return "hand.raised.fill";
    if (outcome.failure()) return "exclamationmark.triangle.fill";
    return "circle.dashed";
}

Tone tone(const CleanupOutcome& outcome) {
    if (outcome.moved()) return Tone::accentInk;
    if (outcome.refusal()) return Tone::warning;
    if (outcome.failure()) return Tone::rose;
    return Tone::tertiary;
}

std::string name(const std::string& path) {
    const std::string trimmed = trimmedTrailingSlash(path);
    if (trimmed == "/") return path;
    std::string last = lastPathComponent(trimmed);
    return last.empty() ? path : last;
}

} // namespace sorvel::ui::ReviewRowText
