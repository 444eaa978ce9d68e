// Which Flatpak and snap apps are installed, in every installation the system uses, and
// what an installed app keeps as its own in the home.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/LinuxPlaces.h"
#include "platform/Path.h"
#include "platform/RegularFile.h"

namespace sorvel::LinuxPlaces {
namespace {

std::string under(std::string_view systemPath) { return systemRoot() + std::string(systemPath); }

// The entries of a folder, "." and ".." left out; none (and the reason) where it cannot be listed.
std::optional<std::vector<std::string>> listing(const std::string& folder, std::string& reason) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        reason = std::strerror(errno);
        return std::nullopt;
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    const int failed = errno;
    ::closedir(dir);
    if (failed != 0) {
        reason = std::strerror(failed);
        return std::nullopt;
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool missing(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

// A small text file's contents; none (and the reason) where it cannot be read.
std::optional<std::string> readText(const std::string& path, std::string& reason) {
    const int fd = openPlainFileAt(AT_FDCWD, path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    while (text.size() < (1u << 20)) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            reason = std::strerror(errno);
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0) break;
        text.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return text;
}

// The installations the files in /etc/flatpak/installations.d name, and what of them
// could not be read (the folder, or a file), with the system's reason.
struct ExtraInstallations {
    std::vector<std::string> folders;
    std::vector<std::pair<std::string, std::string>> unread;
};

// Path= of each installation section, in a key file: whitespace around the value trimmed.
std::vector<std::string> pathsIn(std::string_view text) {
    std::vector<std::string> out;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        if (!line.starts_with("Path")) continue;
        line.remove_prefix(4);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        if (line.empty() || line.front() != '=') continue;
        line.remove_prefix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) line.remove_suffix(1);
        if (!line.empty() && line.front() == '/') out.emplace_back(line);
    }
    return out;
}

ExtraInstallations extraInstallations() {
    ExtraInstallations extra;
    const std::string folder = under("/etc/flatpak/installations.d");
    if (missing(folder)) return extra;
    std::string reason;
    const auto names = listing(folder, reason);
    if (!names) {
        extra.unread.emplace_back(folder, reason);
        return extra;
    }
    for (const auto& name : *names) {
        if (!name.ends_with(".conf")) continue;
        const std::string file = folder + "/" + name;
        const auto text = readText(file, reason);
        if (!text) {
            extra.unread.emplace_back(file, reason);
            continue;
        }
        for (const auto& path : pathsIn(*text)) extra.folders.push_back(under(path) + "/app");
    }
    return extra;
}

std::string userInstallation() {
    if (const char* value = std::getenv("FLATPAK_USER_DIR"); value && value[0] == '/') return standardizePath(value);
    return dataHome() + "/flatpak";
}

// Whether a listing of installed snaps' packages holds one of this name.
LinuxPlaces::Installed snapPackaged(std::string_view name) {
    Installed result;
    const std::string folder = snapPackages();
    if (missing(folder)) return result;
    std::string reason;
    const auto names = listing(folder, reason);
    if (!names) return {Installed::Answer::unknown, folder, reason};
    const std::string prefix = std::string(name) + "_";
    for (const auto& file : *names)
        if (file.starts_with(prefix) && file.ends_with(".snap")) return {Installed::Answer::yes, {}, {}};
    return result;
}

// The entries of an app's folder but `kept`, each a place of its own; links left out.
void ownBut(const std::string& folder, const std::vector<std::string>& kept, std::vector<std::string>& out) {
    std::string reason;
    const auto names = listing(folder, reason);
    if (!names) {
        // What cannot be listed cannot be told apart: the whole of it.
        out.push_back(folder);
        return;
    }
    for (const auto& name : *names) {
        if (std::find(kept.begin(), kept.end(), name) != kept.end()) continue;
        const std::string path = folder + "/" + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) continue;
        out.push_back(path);
    }
}

} // namespace

std::vector<std::string> flatpakInstallations() {
    std::vector<std::string> result = {userInstallation() + "/app", under("/var/lib/flatpak/app")};
    for (auto& folder : extraInstallations().folders)
        if (std::find(result.begin(), result.end(), folder) == result.end()) result.push_back(std::move(folder));
    return result;
}

std::string snapPackages() { return under("/var/lib/snapd/snaps"); }

Installed flatpakInstalled(std::string_view id) {
    Installed found = installedIn(flatpakInstallations(), id);
    if (found.answer != Installed::Answer::no) return found;
    // A file naming an installation that cannot be read may name the one holding it.
    const auto extra = extraInstallations();
    if (!extra.unread.empty()) return {Installed::Answer::unknown, extra.unread.front().first, extra.unread.front().second};
    return found;
}

Installed snapInstalled(std::string_view name) {
    Installed found = installedIn(snapInstallations(), name);
    if (found.answer == Installed::Answer::yes || name.empty() || name.find('/') != std::string_view::npos) return found;
    const Installed packaged = snapPackaged(name);
    if (packaged.answer == Installed::Answer::yes || found.answer == Installed::Answer::unknown) {
        return packaged.answer == Installed::Answer::yes ? packaged : found;
    }
    return packaged;
}

std::vector<std::string> unreadableInstallations() {
    std::vector<std::string> result;
    for (const auto& list : {flatpakInstallations(), snapInstallations(), {snapPackages()}})
        for (const auto& folder : list) {
            struct stat st;
            if (::stat(folder.c_str(), &st) != 0) {
                // Missing holds no apps; a folder on the way that refuses us may hide them.
                if (errno != ENOENT && errno != ENOTDIR) result.push_back(folder);
                continue;
            }
            if (S_ISDIR(st.st_mode) && ::access(folder.c_str(), R_OK | X_OK) != 0) result.push_back(folder);
        }
    for (auto& [file, reason] : extraInstallations().unread) result.push_back(std::move(file));
    return result;
}

std::vector<std::string> appOwnPlaces() {
    std::vector<std::string> result;
    for (const auto& id : flatpakAppIds()) {
        if (flatpakInstalled(id).answer == Installed::Answer::no) continue;
        // Its data and settings by name, there yet or not (those there named first); then
        // whatever else it keeps.
        const std::string folder = flatpakApps() + "/" + id;
        std::vector<std::string> absent;
        for (const char* name : {"/data", "/config"})
            (missing(folder + name) ? absent : result).push_back(folder + name);
        ownBut(folder, {"cache", "data", "config"}, result);
        result.insert(result.end(), absent.begin(), absent.end());
    }
    std::string reason;
    for (const auto& name : listing(snapApps(), reason).value_or(std::vector<std::string>{})) {
        const std::string folder = snapApps() + "/" + name;
        struct stat st {};
        if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        if (snapInstalled(name).answer == Installed::Answer::no) continue;
        // Each revision's folder and the common one keep their ".cache"; anything else is whole.
        std::vector<std::string> parts;
        ownBut(folder, {}, parts);
        for (const auto& part : parts) {
            struct stat partStat {};
            if (part != folder && ::lstat(part.c_str(), &partStat) == 0 && S_ISDIR(partStat.st_mode))
                ownBut(part, {".cache"}, result);
            else
                result.push_back(part);
        }
    }
    result.push_back(homeDirectory() + "/.android/avd");
    return result;
}

} // namespace sorvel::LinuxPlaces
