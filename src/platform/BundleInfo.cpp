#include "platform/BundleInfo.h"

#include <charconv>
#include <mutex>

#include "platform/BuiltInFeed.h"

#ifndef SORVEL_PROJECT_VERSION
#define SORVEL_PROJECT_VERSION "0.0.0"
#endif

namespace sorvel::BundleInfo {
namespace {

std::mutex& dictionaryLock() {
    static std::mutex m;
    return m;
}

std::optional<nlohmann::json>& replacement() {
    static std::optional<nlohmann::json> value;
    return value;
}

} // namespace

nlohmann::json builtInDictionary() {
    nlohmann::json dictionary{{"CFBundleShortVersionString", SORVEL_PROJECT_VERSION}, {"CFBundleVersion", "0"}};
    if (*kBuiltInUpdateFeedURL) dictionary["SorvelUpdateFeedURL"] = kBuiltInUpdateFeedURL;
    return dictionary;
}

void replaceDictionary(std::optional<nlohmann::json> dictionary) {
    std::lock_guard lock(dictionaryLock());
    replacement() = std::move(dictionary);
}

std::optional<nlohmann::json> object(const std::string& key) {
    nlohmann::json dictionary;
    {
        std::lock_guard lock(dictionaryLock());
        dictionary = replacement() ? *replacement() : builtInDictionary();
    }
    if (!dictionary.is_object()) return std::nullopt;
    auto it = dictionary.find(key);
    if (it == dictionary.end()) return std::nullopt;
    return *it;
}

std::optional<std::string> string(const std::string& key) {
    auto value = object(key);
    if (!value || !value->is_string()) return std::nullopt;
    return value->get<std::string>();
}

std::string shortVersion() { return string("CFBundleShortVersionString").value_or("0.0.0"); }

int64_t buildNumber() {
    auto text = string("CFBundleVersion");
    if (!text) return 0;
    return decimalInteger(*text).value_or(0);
}

std::optional<int64_t> decimalInteger(const std::string& text) {
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty()) return std::nullopt;
    for (char c : digits)
        if (c < '0' || c > '9') return std::nullopt;
    // Read with the sign attached so the most negative value stays in range.
    std::string signedText = (negative ? "-" : "") + std::string(digits);
    int64_t value = 0;
    auto [end, error] = std::from_chars(signedText.data(), signedText.data() + signedText.size(), value);
    if (error != std::errc() || end != signedText.data() + signedText.size()) return std::nullopt;
    return value;
}

} // namespace sorvel::BundleInfo
