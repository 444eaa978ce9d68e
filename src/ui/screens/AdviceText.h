#pragma once
// The words of the advice cards and the iCloud status row.
#include <string>
#include <vector>

#include "cleanup/Advice.h"
#include "cleanup/CloudStatus.h"
#include "ui/screens/ScreenText.h"

namespace sorvel::ui::AdviceText {

ChipStyle badge(AdviceItem::Confidence confidence);
std::string stateWord(CloudState state);
Tone stateDot(CloudState state); // accent, tertiary or warning
/// How sure a service's state is.
std::string qualifier(const CloudService& service);
/// "Messages: On" for a chip; "Messages — On · inferred — verify before acting" expanded.
std::string chipText(const CloudService& service);
std::string summaryLine(const CloudService& service);
/// The services in the row's order: Messages, Photos, Desktop and Documents.
std::vector<const CloudService*> services(const CloudStatus& cloud);
/// The status row shows only while an iCloud account is signed in.
bool showsStatusRow(const CloudStatus* cloud);
std::string cloudNote();

} // namespace sorvel::ui::AdviceText
