#include "platform/UserDirs.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "platform/Path.h"
#include "platform/MountTable.h"
#include "platform/PropertyList.h"

namespace sorvel::UserDirs {
namespace {

// The file is a few lines; anything larger is not one the desktop wrote.
constexpr size_t kLargestFile = 1024 * 1024;

std::string_view skipBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    return text;
}

// The value of one line when it sets `key`; the raw text between the quotes, with
// whether it began with $HOME.
struct Value {
    std::string text;
    bool inHome = false;
};

std::optional<Value> valueOf(std::string_view line, std::string_view key) {
    line = skipBlanks(line);
    if (line.substr(0, key.size()) != key) return std::nullopt;
    line = skipBlanks(line.substr(key.size()));
    if (line.empty() || line.front() != '=') return std::nullopt;
    line = skipBlanks(line.substr(1));
    if (line.empty() || line.front() != '"') return std::nullopt;
    line.remove_prefix(1);
    Value value;
    if (line.substr(0, 5) == "$HOME") {
        value.inHome = true;
        line.remove_prefix(5);
    } else if (line.empty() || line.front() != '/') {
        return std::nullopt;
    }
    for (size_t i = 0; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) ++i;
        value.text.push_back(line[i]);
    }
    return value;
}

} // namespace

std::string configHome() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') return xdg;
    return homeDirectory() + "/.config";
}

std::string filePath() { return appendingPathComponent(configHome(), "user-dirs.dirs"); }

std::optional<std::string> folderIn(std::string_view text, std::string_view key, const std::string& home) {
    std::optional<Value> last;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        if (auto value = valueOf(text.substr(0, end), key)) last = std::move(value);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    if (!last) return std::nullopt;
    const std::string standardHome = standardizePath(home);
    if (last->inHome && (standardHome.empty() || standardHome[0] != '/')) return std::nullopt;
    const std::string folder = standardizePath(last->inHome ? standardHome + "/" + last->text : last->text);
    if (folder.empty() || folder[0] != '/') return std::nullopt;
    // "$HOME" or "$HOME/" is how the desktop says it has no such folder; a link to the
    // home says the same under another name.
    if (folder == standardHome || resolvingExistingPart(folder) == resolvingExistingPart(standardHome))
        return std::nullopt;
    return folder;
}

Lookup lookup(std::string_view key) {
    Lookup found;
    const std::string path = filePath();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) return found;
    errno = 0;
    const auto text = PropertyList::readRegularFile(path, kLargestFile);
    if (!text) {
        const int error = errno;
        if (error) found.unreadable = std::strerror(error);
        else if (S_ISDIR(st.st_mode)) found.unreadable = std::strerror(EISDIR);
        else found.unreadable = "not a regular file of at most 1 MB";
        return found;
    }
    found.folder = folderIn(*text, key, homeDirectory());
    return found;
}

Lookup pictures() { return lookup("XDG_PICTURES_DIR"); }

namespace {

std::vector<std::string> foldersOf(bool downloads) {
    static constexpr std::pair<const char*, const char*> kFolders[] = {
        {"XDG_DESKTOP_DIR", "Desktop"},   {"XDG_DOCUMENTS_DIR", "Documents"}, {"XDG_DOWNLOAD_DIR", "Downloads"},
        {"XDG_MUSIC_DIR", "Music"},       {"XDG_PICTURES_DIR", "Pictures"},   {"XDG_PUBLICSHARE_DIR", "Public"},
        {"XDG_TEMPLATES_DIR", "Templates"}, {"XDG_VIDEOS_DIR", "Videos"}};
    const std::string home = homeDirectory();
    std::vector<std::string> texts;
    for (const auto& file : {filePath(), appendingPathComponent(home, ".config/user-dirs.dirs")})
        if (auto text = PropertyList::readRegularFile(file, kLargestFile)) texts.push_back(std::move(*text));
    std::vector<std::string> folders;
    const auto add = [&folders](std::string folder) {
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(std::move(folder));
    };
    for (const auto& [key, name] : kFolders) {
        if (!downloads && std::string_view(key) == "XDG_DOWNLOAD_DIR") continue;
        if (!home.empty() && home[0] == '/') add(standardizePath(appendingPathComponent(home, name)));
        for (const auto& text : texts)
            if (auto folder = folderIn(text, key, home)) add(std::move(*folder));
    }
    return folders;
}

} // namespace

std::vector<std::string> userFolders() { return foldersOf(true); }

std::vector<std::string> documentFolders() { return foldersOf(false); }

} // namespace sorvel::UserDirs
