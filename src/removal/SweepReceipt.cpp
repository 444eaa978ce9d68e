#include "removal/SweepReceipt.h"

#include <algorithm>

#include "engine/Bytes.h"
#include "platform/UserDefaults.h"
#include "removal/SweepCoding.h"

namespace sorvel {

std::string SweepReceipt::sharedClause() const {
    if (sharedBytes < 1) return {};
    return "; " + Bytes::format(sharedBytes) + " more moved is shared storage, still on disk through other names";
}

std::string SweepReceipt::headline() const {
    if (cutShort) {
        if (movedCount == 0) return "Cut short before it finished";
        return "Moved " + Bytes::format(movedBytes) + " to the Trash before it was cut short" + sharedClause();
    }
    if (heldOff) return "Nothing moved yet \u2014 Sorvel tries again shortly";
    if (action == SweepSchedule::Action::clean) {
        // Refusals kept something back: the reason says what, so the line claims no clean home.
        if (movedCount == 0 && refusedCount >= 1 && withheldReason) return "Nothing was moved";
        if (movedCount == 0) return "Nothing needed cleaning";
        return "Moved " + Bytes::format(movedBytes) + " to the Trash" + sharedClause();
    }
    return "Found " + Bytes::format(foundBytes) + " that could be cleaned";
}

nlohmann::json SweepReceipt::toJSON() const {
    nlohmann::json json{{"date", SweepCoding::encodeDate(date)},
                        {"action", rawValue(action)},
                        {"scannedBytes", scannedBytes},
                        {"foundBytes", foundBytes},
                        {"movedBytes", movedBytes},
                        {"movedCount", movedCount},
                        {"refusedCount", refusedCount}};
    if (sharedBytes > 0) json["sharedBytes"] = sharedBytes;
    if (withheldReason) json["withheldReason"] = *withheldReason;
    if (skippedReason) json["skippedReason"] = *skippedReason;
    if (sweptAt) json["sweptAt"] = SweepCoding::encodeDate(*sweptAt);
    if (cutShort) json["cutShort"] = true;
    if (heldOff) json["heldOff"] = true;
    if (!runs.empty()) {
        nlohmann::json ids = nlohmann::json::array();
        for (const auto& id : runs) ids.push_back(id.uuidString());
        json["runs"] = std::move(ids);
    }
    return json;
}

std::optional<SweepReceipt> SweepReceipt::fromJSON(const nlohmann::json& json) {
    using namespace SweepCoding;
    try {
        SweepReceipt r;
        r.date = SweepCoding::date(required(json, "date"));
        auto action = sweepActionFromRaw(text(required(json, "action")));
        if (!action) return std::nullopt;
        r.action = *action;
        r.scannedBytes = integer(required(json, "scannedBytes"));
        r.foundBytes = integer(required(json, "foundBytes"));
        r.movedBytes = integer(required(json, "movedBytes"));
        r.movedCount = integer(required(json, "movedCount"));
        r.refusedCount = integer(required(json, "refusedCount"));
        if (const auto* shared = present(json, "sharedBytes")) r.sharedBytes = std::max<int64_t>(0, integer(*shared));
        r.withheldReason = optionalText(json, "withheldReason");
        r.skippedReason = optionalText(json, "skippedReason");
        if (const auto* swept = present(json, "sweptAt")) r.sweptAt = SweepCoding::date(*swept);
        if (const auto* cut = present(json, "cutShort")) r.cutShort = boolean(*cut);
        if (const auto* held = present(json, "heldOff")) r.heldOff = boolean(*held);
        if (const auto* ids = present(json, "runs"); ids && ids->is_array())
            for (const auto& id : *ids)
                if (auto parsed = id.is_string() ? UUID::parse(id.get<std::string>()) : std::nullopt)
                    r.runs.push_back(*parsed);
        return r;
    } catch (const SweepCoding::Malformed&) {
        return std::nullopt;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

nlohmann::json SweepReceipt::Finding::toJSON() const {
    nlohmann::json json = nlohmann::json::object();
    SweepCoding::putPath(json, "path", path);
    json["size"] = size;
    if (trashPath) SweepCoding::putPath(json, "trashPath", *trashPath);
    if (shared > 0) json["shared"] = shared;
    return json;
}

std::optional<SweepReceipt::Finding> SweepReceipt::Finding::fromJSON(const nlohmann::json& json) {
    using namespace SweepCoding;
    try {
        Finding finding{SweepCoding::path(json, "path"), integer(required(json, "size"))};
        if (present(json, "trashPath")) finding.trashPath = SweepCoding::path(json, "trashPath");
        if (present(json, "shared")) finding.shared = std::max<int64_t>(0, integer(json.at("shared")));
        return finding;
    } catch (const SweepCoding::Malformed&) {
        return std::nullopt;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

std::optional<SweepReceipt> SweepReceipt::loadLast() {
    auto stored = UserDefaults::standard().value("SorvelLastSweep");
    if (!stored) return std::nullopt;
    return fromJSON(*stored);
}

SaveStatus SweepReceipt::record(const SweepReceipt& receipt) {
    return UserDefaults::standard().set("SorvelLastSweep", receipt.toJSON());
}

std::vector<SweepReceipt::Finding> SweepReceipt::loadFindings() {
    auto stored = UserDefaults::standard().value("SorvelLastFindings");
    if (!stored || !stored->is_array()) return {};
    std::vector<Finding> out;
    for (const auto& element : *stored) {
        auto finding = Finding::fromJSON(element);
        if (!finding) return {}; // one bad record: the whole list is unreadable
        out.push_back(std::move(*finding));
    }
    return out;
}

SaveStatus SweepReceipt::record(const std::vector<Finding>& findings) {
    nlohmann::json array = nlohmann::json::array();
    for (const auto& finding : findings) array.push_back(finding.toJSON());
    return UserDefaults::standard().set("SorvelLastFindings", array);
}

} // namespace sorvel
