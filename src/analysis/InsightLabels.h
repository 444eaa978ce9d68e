#pragma once
// The words a folder's insights are shown in, the same in the window and on the command
// line: kind and age names, which ages are old enough to question, and "MMM yyyy" dates.
#include <string>

#include "engine/FileKind.h"
#include "platform/Date.h"

namespace sorvel::InsightLabels {

std::string kindLabel(FileKind kind);
std::string ageLabel(AgeBand band);
/// Two years old or more: worth questioning.
bool isStale(AgeBand band);
/// "Mar 2024" in the local time zone; empty when the date cannot be converted.
std::string monthYear(Date date);

} // namespace sorvel::InsightLabels
