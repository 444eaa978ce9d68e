#pragma once
// The report's JSON layout: keys sorted, two-space indentation, " : " between a key
// and its value, text always valid UTF-8 (invalid bytes become U+FFFD).
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace sorvel::PrettyJSON {

/// The document as text, without a final line break; none if it cannot be written
/// (nothing we build can fail, but no exception leaves here).
std::optional<std::string> format(const nlohmann::json &value);

} // namespace sorvel::PrettyJSON
