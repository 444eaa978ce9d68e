#pragma once
// The report's JSON layout: keys sorted, two-space indentation, " : " between a key
// and its value, text always valid UTF-8 (invalid bytes become U+FFFD).
#include <exception>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace sorvel::PrettyJSON {

/// The document as text, without a final line break; none if it cannot be written (memory
/// running out), with the reason in `error` when one is given. No exception leaves here.
std::optional<std::string> format(const nlohmann::json &value, std::string *error = nullptr);

/// An exception's text for a failure message: "out of memory" for an allocation that failed.
std::string reason(const std::exception &error);

} // namespace sorvel::PrettyJSON
