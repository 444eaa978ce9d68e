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

#include "platform/BaseFolders.h"
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

// An absolute path a variable holds, standardised; an empty or relative value is none.
std::optional<std::string> absoluteValue(const char* variable) {
    const char* value = std::getenv(variable);
    if (!value || value[0] != '/') return std::nullopt;
    return standardizePath(value);
}

void addOnce(std::vector<std::string>& list, std::string folder) {
    if (std::find(list.begin(), list.end(), folder) == list.end()) list.push_back(std::move(folder));
}

// The installations the files in installations.d name, and what of them could not be read
// (the folder, a file, or a file that names no place Flatpak could find), with the reason.
struct ExtraInstallations {
    std::vector<std::string> folders;
    std::vector<std::pair<std::string, std::string>> unread;
};

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

} // namespace

std::optional<std::vector<std::string>> installationPathsIn(std::string_view text, std::string& reason) {
    std::vector<std::string> out;
    bool inSection = false, inInstallation = false, hasPath = false;
    const auto notALine = [&](int number) {
        reason = "line " + std::to_string(number) + " is no key file line";
        return std::nullopt;
    };
    const auto pathless = [&] {
        if (inInstallation && !hasPath) reason = "an installation in it has no Path";
        return inInstallation && !hasPath;
    };
    for (int number = 1; !text.empty(); ++number) {
        const size_t end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            if (line.back() != ']') return notALine(number);
            if (pathless()) return std::nullopt;
            inSection = true;
            inInstallation = line.starts_with("[Installation \"");
            hasPath = false;
            continue;
        }
        const size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) return notALine(number);
        if (!inInstallation || trimmed(line.substr(0, equals)) != "Path") continue;
        const std::string_view value = trimmed(line.substr(equals + 1));
        // Flatpak would look for a relative place from wherever it was started: not to be known.
        if (value.empty() || value.front() != '/') {
            reason = "its Path \"" + std::string(value) + "\" is no absolute path";
            return std::nullopt;
        }
        hasPath = true;
        out.emplace_back(value);
    }
    if (pathless()) return std::nullopt;
    return out;
}

namespace {

// The folders of .conf files naming more installations: FLATPAK_CONFIG_DIR's and the
// default's, each with whether the paths its files give lie under the system root.
std::vector<std::pair<std::string, bool>> configFolders() {
    std::vector<std::pair<std::string, bool>> folders;
    if (auto value = absoluteValue("FLATPAK_CONFIG_DIR")) folders.emplace_back(*value + "/installations.d", false);
    const std::string standard = under("/etc/flatpak/installations.d");
    if (folders.empty() || folders.front().first != standard) folders.emplace_back(standard, true);
    return folders;
}

ExtraInstallations extraInstallations() {
    ExtraInstallations extra;
    for (const auto& [folder, system] : configFolders()) {
        if (missing(folder)) continue;
        std::string reason;
        const auto names = listing(folder, reason);
        if (!names) {
            extra.unread.emplace_back(folder, reason);
            continue;
        }
        for (const auto& name : *names) {
            if (!name.ends_with(".conf")) continue;
            const std::string file = folder + "/" + name;
            const auto text = readText(file, reason);
            const auto paths = text ? installationPathsIn(*text, reason) : std::nullopt;
            if (!paths) {
                extra.unread.emplace_back(file, reason);
                continue;
            }
            for (const auto& path : *paths)
                addOnce(extra.folders, (system ? under(path) : standardizePath(path)) + "/app");
        }
    }
    return extra;
}

// Where Flatpak may find the user's installation: FLATPAK_USER_DIR, $XDG_DATA_HOME/flatpak
// with the variable's own value (even one Sorvel sets aside for its own folders), and the
// default; Flatpak started from another environment finds each of them.
std::vector<std::string> userInstallations() {
    std::vector<std::string> folders;
    if (auto value = absoluteValue("FLATPAK_USER_DIR")) addOnce(folders, *value);
    if (auto value = absoluteValue("XDG_DATA_HOME")) addOnce(folders, *value + "/flatpak");
    addOnce(folders, dataHome() + "/flatpak");
    addOnce(folders, BaseFolders::defaultFolder(BaseFolders::Base::data) + "/flatpak");
    return folders;
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
    std::vector<std::string> result;
    for (const auto& folder : userInstallations()) addOnce(result, folder + "/app");
    if (auto value = absoluteValue("FLATPAK_SYSTEM_DIR")) addOnce(result, *value + "/app");
    addOnce(result, under("/var/lib/flatpak/app"));
    for (auto& folder : extraInstallations().folders) addOnce(result, std::move(folder));
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
