#pragma once
// What a review row says about its outcome: the status line, the symbol standing in for
// the checkbox, its colour, and the name taken from the path.
#include <optional>
#include <string>

#include "removal/CleanupExecutor.h"
#include "ui/screens/ScreenText.h"

namespace sorvel::ui::ReviewRowText {

std::optional<std::string> statusMessage(const CleanupOutcome& outcome);
/// The symbol name ("checkmark.circle.fill", "hand.raised.fill", ...).
std::string symbol(const CleanupOutcome& outcome);
Tone tone(const CleanupOutcome& outcome);
/// The last path component (a trailing "/" ignored); the whole path when that is empty.
std::string name(const std::string& path);

} // namespace sorvel::ui::ReviewRowText
