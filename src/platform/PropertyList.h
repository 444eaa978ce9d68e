#pragma once
// Property lists (XML and binary) read into plain values. Files are opened without
// blocking, read only when they are regular files, and capped in size; anything else
// reads as unreadable (none).
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/Date.h"

namespace sorvel {

struct PlistValue {
    using Array = std::vector<PlistValue>;
    using Dictionary = std::vector<std::pair<std::string, PlistValue>>; // in file order
    using Data = std::vector<uint8_t>;

    /// A date the file holds that cannot be one: not a date, not in the form
    /// "YYYY-MM-DDTHH:MM:SSZ", a month or day that does not exist, or a stored number that
    /// is not finite or beyond the dates a Date holds.
    struct UnreadableDate {
        friend bool operator==(const UnreadableDate&, const UnreadableDate&) = default;
    };

    std::variant<std::monostate, bool, int64_t, double, std::string, Date, Data, Array, Dictionary, UnreadableDate>
        value;

    bool isDictionary() const { return std::holds_alternative<Dictionary>(value); }
    bool isUnreadableDate() const { return std::holds_alternative<UnreadableDate>(value); }
    /// The entry of a dictionary, none for other values or a missing key.
    const PlistValue* find(const std::string& key) const;
    std::optional<std::string> string() const;
    std::optional<int64_t> integer() const; // integers only
    std::optional<double> real() const;     // reals and integers
    std::optional<bool> boolean() const;
    std::optional<Date> date() const; // none for an unreadable date too
    const Array* array() const;
    const Dictionary* dictionary() const;
    /// Shorthand for find(key) then string().
    std::optional<std::string> stringFor(const std::string& key) const;
};

namespace PropertyList {
inline constexpr size_t kMaximumFileSize = 32u * 1024 * 1024;
std::optional<PlistValue> parse(const std::string& bytes);
std::optional<PlistValue> readFile(const std::string& path);
/// The whole file, when it is a regular file no larger than `limit`.
std::optional<std::string> readRegularFile(const std::string& path, size_t limit = kMaximumFileSize);
/// The same; when there is none, `error` says why: the errno of the open or read, EINVAL
/// for something other than a regular file, EFBIG for one larger than `limit`.
std::optional<std::string> readRegularFile(const std::string& path, size_t limit, int& error);
} // namespace PropertyList

} // namespace sorvel
