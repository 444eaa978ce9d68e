// Reading what the Docker tool prints (sizes, JSON values, API versions) and writing the
// commands a user may paste.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

#include "analysis/DockerInspector.h"

namespace sorvel::DockerInspector {
namespace {

// The whole text as a number in the C locale; none when any of it is not.
std::optional<double> number(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<double> scaled(const std::string& text);

// Truncated toward zero; what is not finite or does not fit counts as 0.
int64_t truncated(double value) {
    if (!std::isfinite(value) || value >= 9.2e18 || value <= -9.2e18) return 0;
    return static_cast<int64_t>(value);
}

} // namespace

namespace detail {

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

bool volumePruneNeedsAll(const std::optional<std::string>& version) {
    if (!version) return false;
    const std::string_view v = *version;
    int major = 0, minor = 0;
    const auto [dot, majorError] = std::from_chars(v.data(), v.data() + v.size(), major);
    if (majorError != std::errc() || dot == v.data() + v.size() || *dot != '.') return false;
    const auto [end, minorError] = std::from_chars(dot + 1, v.data() + v.size(), minor);
    if (minorError != std::errc() || (end != v.data() + v.size() && *end != '.')) return false;
    return major > 1 || (major == 1 && minor >= 42);
}

std::string shellQuoted(std::string_view word) {
    auto plain = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("_@%+=:,./-").find(c) != std::string_view::npos;
    };
    if (!word.empty() && std::all_of(word.begin(), word.end(), plain)) return std::string(word);
    // Inside single quotes nothing is special; a quote itself ends them, is escaped,
    // and they start again.
    std::string out = "'";
    for (char c : word) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

std::string withOperand(const std::string& command, std::string_view operand) {
    const bool looksLikeOption = !operand.empty() && operand.front() == '-';
    return command + (looksLikeOption ? " -- " : " ") + shellQuoted(operand);
}

std::optional<std::string> string(const nlohmann::json* value) {
    if (!value) return std::nullopt;
    if (value->is_string()) return value->get<std::string>();
    if (value->is_number_integer() && value->is_number_unsigned()) return std::to_string(value->get<uint64_t>());
    if (value->is_number_integer()) return std::to_string(value->get<int64_t>());
    if (value->is_number_float()) {
        const double d = value->get<double>();
        if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15)
            return std::to_string(static_cast<int64_t>(d));
        return value->dump();
    }
    return std::nullopt;
}

int64_t bytes(const std::optional<std::string>& text) {
    if (!text) return 0;
    const auto value = scaled(*text);
    return value ? truncated(*value) : 0;
}

std::optional<int64_t> measured(const std::optional<std::string>& text) {
    if (!text) return 0;
    const auto value = scaled(*text);
    if (!value || !std::isfinite(*value) || *value <= -1 || *value >= 9.2e18) return std::nullopt;
    return truncated(*value);
}

} // namespace detail

namespace {

// The size text as a number of bytes before truncation; none when it is not a number.
std::optional<double> scaled(const std::string& text) {
    std::string s = detail::trimmed(text);
    if (s.empty()) return 0.0;
    if (const auto cut = s.find(" ("); cut != std::string::npos) s.erase(cut);
    static const std::pair<const char*, double> kSuffixes[] = {
        {"TB", 1e12}, {"GB", 1e9}, {"MB", 1e6}, {"kB", 1e3}, {"KB", 1e3}, {"B", 1}};
    for (const auto& [suffix, factor] : kSuffixes) {
        const std::string_view sv(suffix);
        if (s.size() >= sv.size() && s.compare(s.size() - sv.size(), sv.size(), sv) == 0) {
            const auto value = number(detail::trimmed(std::string_view(s).substr(0, s.size() - sv.size())));
            if (!value) return std::nullopt;
            return *value * factor;
        }
    }
    return number(s);
}

} // namespace
} // namespace sorvel::DockerInspector
