#include "platform/TrashInfo.h"

namespace sorvel::TrashInfo {

std::string encodePath(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
                           byte == '~' || byte == '/';
        if (plain) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0x0F]);
        }
    }
    return out;
}

std::string deletionDate(std::time_t when) {
    std::tm local{};
    if (!::localtime_r(&when, &local)) return "1970-01-01T00:00:00";
    char buffer[32];
    const size_t length = std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &local);
    return std::string(buffer, length);
}

std::string text(std::string_view path, std::time_t when) {
    return "[Trash Info]\nPath=" + encodePath(path) + "\nDeletionDate=" + deletionDate(when) + "\n";
}

std::string sorvelText(std::string_view path, std::time_t when, std::string_view run) {
    std::string out = text(path, when) + std::string(kSorvelLine) + "\n";
    if (!run.empty()) out += std::string(kRunKey) + std::string(run) + "\n";
    return out;
}

namespace {

// Each line of the text, without its line break.
template <class Visit> void eachLine(std::string_view text, Visit visit) {
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (visit(line)) return;
        if (end == std::string_view::npos) return;
        text.remove_prefix(end + 1);
    }
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

bool isSorvels(std::string_view text) {
    bool found = false;
    eachLine(text, [&](std::string_view line) { return found = line == kSorvelLine; });
    return found;
}

std::optional<std::string> recordedRun(std::string_view text) {
    std::optional<std::string> run;
    eachLine(text, [&](std::string_view line) {
        if (!line.starts_with(kRunKey)) return false;
        run = std::string(line.substr(kRunKey.size()));
        return true;
    });
    return run;
}

std::optional<std::string> recordedPath(std::string_view text) {
    std::optional<std::string_view> encoded;
    eachLine(text, [&](std::string_view line) {
        if (!line.starts_with("Path=")) return false;
        encoded = line.substr(5);
        return true;
    });
    if (!encoded) return std::nullopt;
    std::string out;
    out.reserve(encoded->size());
    for (size_t i = 0; i < encoded->size(); ++i) {
        const char c = (*encoded)[i];
        if (c != '%') {
            out.push_back(c);
            continue;
        }
        if (i + 2 >= encoded->size()) return std::nullopt;
        const int high = hexValue((*encoded)[i + 1]), low = hexValue((*encoded)[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    if (out.find('\0') != std::string::npos) return std::nullopt;
    return out;
}

} // namespace sorvel::TrashInfo
