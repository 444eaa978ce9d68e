#include "removal/SweepCoding.h"

#include <cmath>

namespace sorvel::SweepCoding {
namespace {

constexpr int64_t kReferenceMicros = 978'307'200'000'000; // 2001-01-01 in Unix microseconds

} // namespace

const nlohmann::json* present(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) throw Malformed{};
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

const nlohmann::json& required(const nlohmann::json& object, const char* key) {
    const nlohmann::json* value = present(object, key);
    if (!value) throw Malformed{};
    return *value;
}

int64_t integer(const nlohmann::json& value) {
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() && value.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)) throw Malformed{};
        return value.get<int64_t>();
    }
    if (value.is_number_float()) {
        // 3.0 is an integer written another way; 3.5 is not.
        const double d = value.get<double>();
        if (!std::isfinite(d) || d != std::trunc(d) || d < -9.2e18 || d > 9.2e18) throw Malformed{};
        return static_cast<int64_t>(d);
    }
    throw Malformed{};
}

std::string text(const nlohmann::json& value) {
    if (!value.is_string()) throw Malformed{};
    return value.get<std::string>();
}

bool boolean(const nlohmann::json& value) {
    if (!value.is_boolean()) throw Malformed{};
    return value.get<bool>();
}

Date date(const nlohmann::json& value) {
    if (!value.is_number()) throw Malformed{};
    const double seconds = value.get<double>();
    if (!std::isfinite(seconds)) throw Malformed{};
    const double micros = std::round(seconds * 1e6);
    // Far beyond what a clock can hold: clamp as every other date reader does.
    if (std::fabs(micros) > 9.0e15) return dateFromReferenceSeconds(seconds);
    const auto unixMicros = std::chrono::microseconds{static_cast<int64_t>(micros) + kReferenceMicros};
    return Date{std::chrono::duration_cast<Date::duration>(unixMicros)};
}

std::optional<int64_t> optionalInteger(const nlohmann::json& object, const char* key) {
    if (const auto* value = present(object, key)) return integer(*value);
    return std::nullopt;
}

std::optional<std::string> optionalText(const nlohmann::json& object, const char* key) {
    if (const auto* value = present(object, key)) return text(*value);
    return std::nullopt;
}

double encodeDate(Date d) {
    const int64_t micros = std::chrono::floor<std::chrono::microseconds>(d.time_since_epoch()).count();
    return static_cast<double>(micros - kReferenceMicros) / 1e6;
}

Date sweepNow() {
    return Date{std::chrono::duration_cast<Date::duration>(
        std::chrono::floor<std::chrono::microseconds>(now().time_since_epoch()))};
}

} // namespace sorvel::SweepCoding
