#include "cli/PrettyJSON.h"

#include <charconv>
#include <cmath>
#include <new>

#include "platform/Text.h"

namespace sorvel::PrettyJSON {
namespace {

void appendString(std::string &out, const std::string &raw) {
    const std::string text = validUTF8(raw);
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            if (c < 0x20) {
                static const char *hex = "0123456789abcdef";
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 0xF];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
}

void appendNumber(std::string &out, double value) {
    if (!std::isfinite(value))
        value = 0; // JSON has no form for these
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void append(std::string &out, const nlohmann::json &value, int depth) {
    const std::string indent(static_cast<size_t>(depth) * 2, ' ');
    const std::string inner(static_cast<size_t>(depth + 1) * 2, ' ');
    switch (value.type()) {
    case nlohmann::json::value_t::object: {
        if (value.empty()) {
            out += "{}";
            return;
        }
        // The object keeps its keys in a std::map: ascending byte order.
        out += "{\n";
        bool first = true;
        for (auto it = value.begin(); it != value.end(); ++it) {
            if (!first)
                out += ",\n";
            first = false;
            out += inner;
            appendString(out, it.key());
            out += " : ";
            append(out, it.value(), depth + 1);
        }
        out += "\n" + indent + "}";
        return;
    }
    case nlohmann::json::value_t::array: {
        if (value.empty()) {
            out += "[]";
            return;
        }
        out += "[\n";
        bool first = true;
        for (const auto &element : value) {
            if (!first)
                out += ",\n";
            first = false;
            out += inner;
            append(out, element, depth + 1);
        }
        out += "\n" + indent + "]";
        return;
    }
    case nlohmann::json::value_t::string:
        appendString(out, value.get_ref<const std::string &>());
        return;
    case nlohmann::json::value_t::boolean:
        out += value.get<bool>() ? "true" : "false";
        return;
    case nlohmann::json::value_t::number_integer:
        out += std::to_string(value.get<int64_t>());
        return;
    case nlohmann::json::value_t::number_unsigned:
        out += std::to_string(value.get<uint64_t>());
        return;
    case nlohmann::json::value_t::number_float:
        appendNumber(out, value.get<double>());
        return;
    default:
        out += "null";
        return;
    }
}

} // namespace

std::optional<std::string> format(const nlohmann::json &value, std::string *error) {
    std::string out;
    try {
        append(out, value, 0);
    } catch (const std::exception &failure) {
        if (error)
            *error = reason(failure);
        return std::nullopt;
    }
    return out;
}

std::string reason(const std::exception &error) {
    if (dynamic_cast<const std::bad_alloc *>(&error))
        return "out of memory";
    std::string text = error.what();
    return text.empty() ? "an error that carries no description" : text;
}

} // namespace sorvel::PrettyJSON
