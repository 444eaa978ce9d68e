#include "platform/MountTable.h"

#include <fstream>
#include <sstream>
#include <sys/sysmacros.h>

#include "platform/Path.h"

namespace sorvel {
namespace {

// The kernel writes space, tab, newline and backslash in paths as three octal digits.
std::string unescape(const std::string& field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string::npos) {
                out.push_back(static_cast<char>(std::stoi(digits, nullptr, 8)));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

std::optional<MountEntry> parseLine(const std::string& line) {
    std::istringstream in(line);
    std::string id, parent, numbers, root, point;
    if (!(in >> id >> parent >> numbers >> root >> point)) return std::nullopt;
    std::string field;
    bool separated = false;
    while (in >> field) {
        if (field == "-") {
            separated = true;
            break;
        }
    }
    std::string type;
    if (!separated || !(in >> type)) return std::nullopt;
    const size_t colon = numbers.find(':');
    if (colon == std::string::npos) return std::nullopt;
    try {
        const unsigned long major = std::stoul(numbers.substr(0, colon));
        const unsigned long minor = std::stoul(numbers.substr(colon + 1));
        return MountEntry{unescape(point), type, static_cast<uint64_t>(makedev(major, minor))};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

std::vector<MountEntry> parseMountTable(const std::string& text) {
    std::vector<MountEntry> mounts;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (auto entry = parseLine(line)) mounts.push_back(std::move(*entry));
    return mounts;
}

std::vector<MountEntry> readMountTable() {
    std::ifstream file("/proc/self/mountinfo");
    if (!file) return {};
    std::stringstream text;
    text << file.rdbuf();
    return parseMountTable(text.str());
}

std::optional<MountEntry> mountContaining(const std::vector<MountEntry>& mounts, const std::string& path) {
    std::optional<MountEntry> best;
    for (const auto& mount : mounts) {
        if (!isPathInside(path, mount.mountPoint)) continue;
        if (!best || mount.mountPoint.size() >= best->mountPoint.size()) best = mount;
    }
    return best;
}

} // namespace sorvel
