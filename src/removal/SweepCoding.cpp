#include "removal/SweepCoding.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/Text.h"

namespace sorvel::SweepCoding {
namespace {

constexpr int64_t kReferenceMicros = 978'307'200'000'000; // 2001-01-01 in Unix microseconds
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

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
    return dateFromUnixMicroseconds(static_cast<int64_t>(micros) + kReferenceMicros);
}

void putIdentity(nlohmann::json& object, const std::optional<Trash::Identity>& identity) {
    if (!identity) return;
    object["device"] = identity->device;
    object["inode"] = identity->inode;
    object["length"] = identity->length;
    object["modified"] = identity->modifiedNanoseconds;
    if (identity->bornNanoseconds) object["born"] = *identity->bornNanoseconds;
    if (identity->folder) object["folder"] = true;
}

std::optional<Trash::Identity> identity(const nlohmann::json& object) {
    if (!object.is_object()) return std::nullopt;
    const auto signedAt = [&](const char* key) -> std::optional<int64_t> {
        auto it = object.find(key);
        if (it == object.end() || !it->is_number_integer()) return std::nullopt;
        if (it->is_number_unsigned() && it->get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
        return it->get<int64_t>();
    };
    const auto unsignedAt = [&](const char* key) -> std::optional<uint64_t> {
        auto it = object.find(key);
        if (it == object.end() || !it->is_number_integer()) return std::nullopt;
        if (it->is_number_unsigned()) return it->get<uint64_t>();
        const int64_t v = it->get<int64_t>();
        if (v < 0) return std::nullopt;
        return static_cast<uint64_t>(v);
    };
    const auto device = unsignedAt("device"), inode = unsignedAt("inode");
    // Length and time are kept for earlier versions, which need them, but judge nothing.
    if (!device || !inode) return std::nullopt;
    Trash::Identity id{*device, *inode, signedAt("length").value_or(0), signedAt("modified").value_or(0)};
    id.bornNanoseconds = signedAt("born");
    auto folder = object.find("folder");
    id.folder = folder != object.end() && folder->is_boolean() && folder->get<bool>();
    return id;
}

std::string base64(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        uint32_t group = 0;
        for (size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k) out += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

std::optional<std::string> fromBase64(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::string out;
    out.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const size_t padding = last ? (text[i + 3] == '=') + (text[i + 2] == '=' && text[i + 3] == '=') : 0;
        uint32_t group = 0;
        for (size_t k = 0; k < 4; ++k) {
            const int v = k >= 4 - padding ? 0 : sextet(text[i + k]);
            if (v < 0) return std::nullopt;
            group = (group << 6) | static_cast<uint32_t>(v);
        }
        for (size_t k = 0; k < 3 - padding; ++k) out += static_cast<char>((group >> (16 - 8 * k)) & 0xFF);
    }
    return out;
}

void putPath(nlohmann::json& object, const std::string& key, const std::string& bytes) {
    if (isValidUTF8(bytes)) {
        object[key] = bytes;
        return;
    }
    object[key] = validUTF8(bytes);
    object[key + "Bytes"] = base64(bytes);
}

std::string path(const nlohmann::json& object, const std::string& key) {
    std::string readable = text(required(object, key.c_str()));
    const std::string bytesKey = key + "Bytes";
    if (const auto* encoded = present(object, bytesKey.c_str())) {
        auto bytes = fromBase64(text(*encoded));
        if (!bytes) throw Malformed{};
        return *bytes;
    }
    return readable;
}

void putPaths(nlohmann::json& object, const std::string& key, const std::vector<std::string>& paths) {
    nlohmann::json readable = nlohmann::json::array();
    nlohmann::json bytes = nlohmann::json::array();
    bool exact = true;
    for (const auto& path : paths) {
        const bool valid = isValidUTF8(path);
        exact = exact && valid;
        readable.push_back(valid ? path : validUTF8(path));
        bytes.push_back(valid ? nlohmann::json() : nlohmann::json(base64(path)));
    }
    object[key] = std::move(readable);
    if (!exact) object[key + "Bytes"] = std::move(bytes);
}

std::optional<std::vector<std::string>> paths(const nlohmann::json& object, const std::string& key) {
    const auto* list = present(object, key.c_str());
    if (!list) return std::nullopt;
    if (!list->is_array()) throw Malformed{};
    std::vector<std::string> out;
    for (const auto& element : *list) out.push_back(text(element));
    const std::string bytesKey = key + "Bytes";
    if (const auto* bytes = present(object, bytesKey.c_str())) {
        if (!bytes->is_array() || bytes->size() != out.size()) throw Malformed{};
        for (size_t i = 0; i < out.size(); ++i) {
            if ((*bytes)[i].is_null()) continue;
            auto exact = fromBase64(text((*bytes)[i]));
            if (!exact) throw Malformed{};
            out[i] = std::move(*exact);
        }
    }
    return out;
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
