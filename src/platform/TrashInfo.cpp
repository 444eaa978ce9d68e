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

} // namespace sorvel::TrashInfo
