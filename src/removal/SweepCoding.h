#pragma once
// Strict readers for the persisted sweep values. A stored value (a run, a receipt, a
// schedule) is read whole or not at all, so every reader here refuses (throws Malformed)
// on a missing key, a null where a value is required, or a value of another JSON type;
// the public decoders catch it and fall back to their defaults.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/Date.h"
#include "platform/Trash.h"

namespace sorvel::SweepCoding {

struct Malformed {};

/// The value under the key, or none when it is absent or null. Throws unless `object`
/// is a JSON object.
const nlohmann::json* present(const nlohmann::json& object, const char* key);

int64_t integer(const nlohmann::json& value);   // an integral number within 64 bits
std::string text(const nlohmann::json& value);  // a string
bool boolean(const nlohmann::json& value);      // true or false
Date date(const nlohmann::json& value);         // seconds since 1 January 2001

const nlohmann::json& required(const nlohmann::json& object, const char* key);

/// Stores a path under `key` as readable text; when its bytes are not valid UTF-8 the
/// exact bytes go beside it, base64-encoded, under `key` + "Bytes".
void putPath(nlohmann::json& object, const std::string& key, const std::string& bytes);
/// The exact bytes of a path stored by `putPath`; older values without the bytes key read
/// as their text. Throws when the text is missing or the bytes key is not base64.
std::string path(const nlohmann::json& object, const std::string& key);

/// A list of paths, stored the same way: the readable texts under `key` and, when any is
/// not UTF-8, the exact bytes of each (null for those that are) under `key` + "Bytes".
void putPaths(nlohmann::json& object, const std::string& key, const std::vector<std::string>& paths);
/// None when `key` is absent or null. Throws when it is not a list of texts, or its bytes
/// list does not match it.
std::optional<std::vector<std::string>> paths(const nlohmann::json& object, const std::string& key);

/// An item's identity beside its other keys: "device", "inode", "length", "modified" and,
/// when known, "born" (nanoseconds) and "folder". Nothing for none.
void putIdentity(nlohmann::json& object, const std::optional<Trash::Identity>& identity);
/// None when any of the first four is missing or not a fitting integer: a damaged value
/// only loses the check, never the item. Records written before "born" and "folder" were
/// kept read without them.
std::optional<Trash::Identity> identity(const nlohmann::json& object);

std::string base64(std::string_view bytes);
/// None unless the text is padded standard base64.
std::optional<std::string> fromBase64(std::string_view text);

std::optional<int64_t> optionalInteger(const nlohmann::json& object, const char* key);
std::optional<std::string> optionalText(const nlohmann::json& object, const char* key);

/// Seconds since 1 January 2001 as stored. Dates keep whole microseconds, so a date
/// taken with `sweepNow()` reads back equal.
double encodeDate(Date date);
/// Now, to the microsecond the stored form keeps.
Date sweepNow();

} // namespace sorvel::SweepCoding
