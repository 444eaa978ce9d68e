#pragma once
// The application's information dictionary. This platform runs no application bundles:
// the dictionary holds what the build knows (the project version as the short version,
// build "0", and the update feed address when the build was given one); the ad-hoc
// signing flag is absent. Tests, and a packager that knows better, may replace the
// dictionary for the process.
#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace sorvel::BundleInfo {

/// The value stored under the key, read afresh on each call; none when absent.
std::optional<nlohmann::json> object(const std::string& key);
/// The value under the key when it is text; none otherwise.
std::optional<std::string> string(const std::string& key);

/// "CFBundleShortVersionString" when it is text, else "0.0.0".
std::string shortVersion();
/// "CFBundleVersion" read as a signed 64-bit decimal integer (optional sign, digits
/// only); 0 when absent, not text, empty or not such an integer.
int64_t buildNumber();

/// The dictionary this build carries.
nlohmann::json builtInDictionary();
/// Replaces the whole dictionary for the process (a JSON object); none restores the
/// built-in one.
void replaceDictionary(std::optional<nlohmann::json> dictionary);

/// Reads text as a signed 64-bit decimal integer: an optional "+" or "-", then one or
/// more digits and nothing else, within range.
std::optional<int64_t> decimalInteger(const std::string& text);

} // namespace sorvel::BundleInfo
