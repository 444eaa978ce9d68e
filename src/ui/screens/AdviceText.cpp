#include "ui/screens/AdviceText.h"

namespace sorvel::ui::AdviceText {

ChipStyle badge(AdviceItem::Confidence confidence) {
    switch (confidence) {
    case AdviceItem::Confidence::safe: return {"SAFE", Tone::accentInk};
    case AdviceItem::Confidence::review: return {"YOUR CALL", Tone::warning};
    case AdviceItem::Confidence::avoid: return {"DON'T", Tone::rose};
    }
    return {"YOUR CALL", Tone::warning};
}

std::string stateWord(CloudState state) {
    switch (state) {
    case CloudState::on: return "On";
    case CloudState::off: return "Off";
    case CloudState::unknown: return "Unknown";
    }
    return "Unknown";
}

Tone stateDot(CloudState state) {
    switch (state) {
    case CloudState::on: return Tone::accent;
    case CloudState::off: return Tone::tertiary;
    case CloudState::unknown: return Tone::warning;
    }
    return Tone::warning;
}

std::string qualifier(const CloudService& service) {
    if (service.state == CloudState::unknown) return "could not determine";
    return service.isDefinitive ? "read from your iCloud settings" : "inferred \u2014 verify before acting";
}

std::string chipText(const CloudService& service) { return service.name + ": " + stateWord(service.state); }

std::string summaryLine(const CloudService& service) {
    return service.name + " \u2014 " + stateWord(service.state) + " \u00B7 " + qualifier(service);
}

std::vector<const CloudService*> services(const CloudStatus& cloud) {
    return {&cloud.messages, &cloud.photos, &cloud.desktopAndDocuments};
}

bool showsStatusRow(const CloudStatus* cloud) { return cloud && cloud->accountID.has_value(); }

std::string cloudNote() {
    return "Sorvel cannot read most iCloud switches directly. Where it says \"inferred\", confirm "
           "under Settings \u2192 your name \u2192 iCloud on a device signed in to your account before deleting anything.";
}

} // namespace sorvel::ui::AdviceText
