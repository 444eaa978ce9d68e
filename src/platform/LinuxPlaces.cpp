#include "platform/LinuxPlaces.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/BaseFolders.h"
#include "platform/DirectoryListing.h"
#include "platform/FileDescriptor.h"
#include "platform/Path.h"
#include "platform/RegularFile.h"
#include "platform/UserDirs.h"

namespace sorvel::LinuxPlaces {

namespace {

std::mutex& rootMutex() {
    static std::mutex mutex;
    return mutex;
}

std::optional<std::string>& rootValue() {
    static std::optional<std::string> root;
    return root;
}

std::string trimmedRoot(std::string root) {
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    return root == "/" ? std::string() : root;
}

std::string under(std::string_view systemPath) { return systemRoot() + std::string(systemPath); }

std::string home() { return homeDirectory(); }

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

/// The names in a folder, "." and ".." left out; empty when it cannot be listed.
std::vector<std::string> childNames(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

/// Each Flatpak app folder of the user's (real folders only, never a link to elsewhere).
std::vector<std::string> flatpakAppFolders() {
    std::vector<std::string> folders;
    const std::string apps = flatpakApps();
    for (const auto& name : childNames(apps)) {
        const std::string folder = apps + "/" + name;
        if (isFolder(folder)) folders.push_back(folder);
    }
    return folders;
}

std::optional<std::string> readSmallFile(const std::string& path, std::string& reason) {
    const int fd = openPlainFileAt(AT_FDCWD, path.c_str(), O_RDONLY | O_NOFOLLOW);
    if (fd < 0) {
        reason = errno == EISDIR || errno == EINVAL ? "not a plain file" : std::strerror(errno);
        return std::nullopt;
    }
    FileDescriptor guard(fd);
    // Files under /proc report no size: read until the end, within a bound.
    std::string text;
    char buffer[4096];
    while (text.size() < (1u << 20)) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            reason = std::strerror(errno);
            return std::nullopt;
        }
        if (got == 0) break;
        text.append(buffer, static_cast<size_t>(got));
    }
    return text;
}

std::string decodeOctal(std::string_view field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string_view digits = field.substr(i + 1, 3);
            bool octal = digits.size() == 3;
            for (char c : digits) octal = octal && c >= '0' && c <= '7';
            if (octal) {
                out.push_back(static_cast<char>((digits[0] - '0') * 64 + (digits[1] - '0') * 8 + (digits[2] - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

} // namespace

std::string systemRoot() {
    {
        std::lock_guard lock(rootMutex());
        if (rootValue()) return *rootValue();
    }
    // The command line's tests run the program itself over a fake tree.
    if (const char* value = std::getenv("SORVEL_SYSTEM_ROOT"); value && value[0] == '/') return trimmedRoot(value);
    return {};
}

void setSystemRoot(std::optional<std::string> root) {
    std::lock_guard lock(rootMutex());
    rootValue() = root ? std::optional(trimmedRoot(std::move(*root))) : std::nullopt;
}

ScopedSystemRoot::ScopedSystemRoot(std::string root) {
    std::lock_guard lock(rootMutex());
    previous_ = rootValue();
    rootValue() = trimmedRoot(std::move(root));
}

ScopedSystemRoot::~ScopedSystemRoot() { setSystemRoot(previous_); }

std::string cacheHome() { return BaseFolders::folder(BaseFolders::Base::cache); }
std::string dataHome() { return BaseFolders::folder(BaseFolders::Base::data); }
std::string configHome() { return BaseFolders::folder(BaseFolders::Base::config); }
std::string stateHome() { return BaseFolders::folder(BaseFolders::Base::state); }

std::string flatpakApps() { return home() + "/.var/app"; }
std::string snapApps() { return home() + "/snap"; }

std::string systemCache() { return under("/var/cache"); }
std::string systemLogs() { return under("/var/log"); }
std::vector<std::string> crashFolders() { return {under("/var/crash"), under("/var/lib/systemd/coredump")}; }

std::vector<std::string> swapFilesIn(std::string_view text) {
    std::vector<std::string> files;
    bool header = true;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (header) {
            header = false;
            continue;
        }
        // Filename Type Size Used Priority; the name's own blanks are written \040.
        std::vector<std::string_view> fields;
        size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
            const size_t start = i;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
            if (i > start) fields.push_back(line.substr(start, i - start));
        }
        if (fields.size() < 2 || fields[1] != "file") continue;
        std::string name = decodeOctal(fields[0]);
        if (name.empty() || name[0] != '/') continue;
        files.push_back(std::move(name));
    }
    return files;
}

std::string swapTable() { return under("/proc/swaps"); }

SwapFiles swapFiles() {
    SwapFiles result;
    const std::string table = swapTable();
    if (!exists(table)) return result;
    std::string reason;
    const auto text = readSmallFile(table, reason);
    if (!text) {
        result.unreadable = reason;
        return result;
    }
    constexpr std::string_view kDeleted = " (deleted)";
    for (const auto& file : swapFilesIn(*text)) {
        const std::string path = systemRoot() + file;
        // The name as it stands first: a file may be called so. Else its name is gone.
        if (path.size() > kDeleted.size() && path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0 &&
            !exists(path)) {
            result.deleted.push_back(path);
            continue;
        }
        result.files.push_back(path);
    }
    return result;
}

bool holdsSettings(const DeveloperFolder& folder) {
    return std::any_of(folder.settings.begin(), folder.settings.end(), [&](const std::string& name) {
        struct stat st {};
        return ::lstat((folder.path + "/" + name).c_str(), &st) == 0 || errno != ENOENT;
    });
}

std::optional<std::vector<HeldEntry>> heldBesideSettings(const DeveloperFolder& folder) {
    auto names = DirectoryListing::names(folder.path);
    if (!names) return std::nullopt;
    std::vector<HeldEntry> held;
    for (const auto& name : *names) {
        if (std::find(folder.settings.begin(), folder.settings.end(), name) != folder.settings.end()) continue;
        const std::string path = folder.path + "/" + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) held.push_back({path, true, 0});
        else if (S_ISREG(st.st_mode)) held.push_back({path, false, static_cast<int64_t>(st.st_blocks) * 512});
    }
    return held;
}

std::string goModuleCache() {
    // As Go finds it: GOMODCACHE, else the first folder of GOPATH, else ~/go; a value that is
    // no absolute path is one Go itself refuses.
    if (const char* value = std::getenv("GOMODCACHE"); value && value[0] == '/') return standardizePath(value);
    if (const char* value = std::getenv("GOPATH"); value && value[0] == '/') {
        const std::string first = std::string(value).substr(0, std::string(value).find(':'));
        if (!first.empty() && first[0] == '/') return standardizePath(first + "/pkg/mod");
    }
    return home() + "/go/pkg/mod";
}

std::vector<DeveloperFolder> developerFolders() {
    const std::string cache = cacheHome();
    const std::string h = home();
    return {
        {cache + "/pip", "pip's download cache", "pip's download cache, fetched again by the next install", false,
         "Downloaded Python wheels, kept so reinstalling a package does not hit the network.", "pip",
         "pip cache purge"},
        {cache + "/go-build", "Go's build cache", "Go's build cache, rebuilt by the next build", false,
         "Compiled package objects the Go toolchain caches between builds.", "go", "go clean -cache"},
        {cache + "/yarn", "Yarn's package cache", "Yarn's package cache, fetched again by the next install", false,
         "Downloaded npm packages kept by Yarn.", "yarn", "yarn cache clean"},
        {h + "/.npm/_cacache", "npm's package cache", "npm's package cache, fetched again by the next install", false,
         "Every package npm has downloaded, kept by content so installs need not fetch it again.", "npm",
         "npm cache clean --force"},
        {h + "/.cargo/registry/cache", "Cargo's downloaded crates", "downloaded crates, fetched again by the next build",
         false, "The crate archives Cargo downloaded from the registry, kept for the next build."},
        {h + "/.cargo/registry/src", "Cargo's unpacked crate sources",
         "unpacked crate sources, unpacked again by the next build", false,
         "The sources Cargo unpacked from downloaded crates to build them."},
        {h + "/.gradle/caches", "Gradle's caches", "Gradle's caches, rebuilt by the next build", false,
         "Downloaded dependencies, plugins and build outputs Gradle keeps between builds."},
        {cache + "/ccache", "ccache's compiler cache", "compiler cache, refilled by the next builds", false,
         "Compiled objects ccache keeps, so compiling the same code again is a lookup.", "ccache", "ccache --clear",
         {"ccache.conf"}},
        {h + "/.ccache", "ccache's compiler cache", "compiler cache, refilled by the next builds", false,
         "Compiled objects ccache keeps, so compiling the same code again is a lookup.", "ccache", "ccache --clear",
         {"ccache.conf"}},
        {cache + "/bazel", "Bazel's build cache", "Bazel's outputs and downloads, rebuilt by the next build", false,
         "Outputs and downloads Bazel keeps between builds."},
        {goModuleCache(), "Go's module cache",
         "Go modules, downloaded again by the next build; a fresh download of every module takes time", true,
         "The source of every Go module your builds downloaded, kept read-only and shared by all your projects.",
         "go", "go clean -modcache"},
    };
}

const std::vector<std::string>& browserCacheNames() {
    static const std::vector<std::string> names = {"google-chrome", "chromium", "BraveSoftware", "vivaldi",
                                                   "microsoft-edge", "opera", "mozilla/firefox"};
    return names;
}

const std::vector<BrowserProfile>& browserProfiles() {
    static const std::vector<BrowserProfile> profiles = {
        {"google-chrome", "Chrome"}, {"chromium", "Chromium"},         {"BraveSoftware", "Brave"},
        {"vivaldi", "Vivaldi"},      {"microsoft-edge", "Microsoft Edge"}, {"opera", "Opera"},
    };
    return profiles;
}

const std::vector<std::string>& flatpakBrowserIds() {
    static const std::vector<std::string> ids = {
        "org.mozilla.firefox", "com.google.Chrome",  "org.chromium.Chromium", "com.brave.Browser",
        "com.microsoft.Edge",  "com.vivaldi.Vivaldi", "com.opera.Opera",      "io.gitlab.librewolf-community",
        "org.gnome.Epiphany"};
    return ids;
}

const std::vector<std::string>& keptCacheNames() {
    static const std::vector<std::string> names = {"obexd"};
    return names;
}

std::vector<std::string> roots(Kind kind) {
    const std::string h = home();
    switch (kind) {
    case Kind::caches: {
        std::vector<std::string> result = {cacheHome()};
        for (const auto& app : flatpakAppFolders()) result.push_back(app + "/cache");
        result.push_back(systemCache());
        return result;
    }
    case Kind::appSupport: return {dataHome()};
    case Kind::containers: return {flatpakApps(), snapApps()};
    case Kind::developer: {
        std::vector<std::string> result;
        for (const auto& folder : developerFolders())
            if (isFolder(folder.path)) result.push_back(folder.path);
        return result;
    }
    case Kind::mail: return {h + "/.thunderbird", dataHome() + "/evolution"};
    case Kind::logs: {
        std::vector<std::string> result = {systemLogs()};
        for (auto& folder : crashFolders()) result.push_back(std::move(folder));
        return result;
    }
    case Kind::swap: return swapFiles().files;
    case Kind::otherLibrary: return {configHome(), stateHome()};
    }
    return {};
}

std::vector<std::string> carvedOut(Kind kind) {
    switch (kind) {
    case Kind::appSupport:
        // The Trash is its own category (its info/ records too), mail another.
        return {dataHome() + "/Trash", dataHome() + "/evolution"};
    case Kind::containers: {
        std::vector<std::string> result;
        for (const auto& app : flatpakAppFolders()) result.push_back(app + "/cache");
        return result;
    }
    case Kind::caches: {
        std::vector<std::string> result;
        for (const auto& folder : developerFolders())
            if (isPathInside(folder.path, cacheHome()) && isFolder(folder.path)) result.push_back(folder.path);
        return result;
    }
    default: return {};
    }
}

std::vector<std::string> snapInstallations() { return {under("/snap"), under("/var/lib/snapd/snap")}; }

Installed installedIn(const std::vector<std::string>& installations, std::string_view name) {
    Installed result;
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos) return result;
    for (const auto& folder : installations) {
        struct stat st {};
        const std::string path = folder + "/" + std::string(name);
        if (::lstat(path.c_str(), &st) == 0) {
            result.answer = Installed::Answer::yes;
            result.unreadableFolder.clear();
            result.reason.clear();
            return result;
        }
        if (errno == ENOENT || errno == ENOTDIR) {
            // Absent there; but an installation folder that exists and cannot be listed
            // may hide it (search permission alone answers lstat).
            struct stat folderStat {};
            if (::stat(folder.c_str(), &folderStat) != 0 || !S_ISDIR(folderStat.st_mode)) continue;
            if (::access(folder.c_str(), R_OK | X_OK) == 0) continue;
            errno = EACCES;
        }
        if (result.answer != Installed::Answer::unknown) {
            result.answer = Installed::Answer::unknown;
            result.unreadableFolder = folder;
            result.reason = std::strerror(errno);
        }
    }
    return result;
}

std::vector<std::string> flatpakAppIds() {
    std::vector<std::string> ids;
    for (const auto& folder : flatpakAppFolders()) ids.push_back(lastPathComponent(folder));
    std::sort(ids.begin(), ids.end());
    return ids;
}


std::vector<Secret> secrets() {
    const std::string h = home();
    return {
        {h + "/.ssh", "SSH keys", "Your SSH keys and the hosts you trust. Tiny, and the only copy.",
         "Never delete this; a lost key locks you out of every machine that knew it."},
        {h + "/.gnupg", "GnuPG keys", "Your GnuPG keys and the keys you trust. Tiny, and the only copy.",
         "Never delete this; mail and files encrypted to a lost key stay unreadable."},
        {h + "/.pki", "Certificates", "Certificates and keys your browsers and apps trust or use.",
         "Never delete this."},
        {h + "/.password-store", "Password store", "Your passwords, each encrypted in a file of its own.",
         "Never delete this."},
        {dataHome() + "/keyrings", "Keyrings", "Your saved passwords, keys and certificates, encrypted. Small, and the only copy.",
         "Never delete this. Removing it loses every password the desktop saved for you."},
    };
}

std::vector<std::string> deniedPlaces() {
    const std::string h = home();
    const std::string data = dataHome();
    std::vector<std::string> result;
    for (auto& secret : secrets()) result.push_back(std::move(secret.path));
    for (auto place : {h + "/.mozilla", h + "/.thunderbird", data + "/evolution", configHome()})
        result.push_back(std::move(place));
    // Settings or data the environment put inside the cache folder stay where apps keep them.
    for (auto& folder : BaseFolders::setAsideInsideCaches()) result.push_back(std::move(folder));
    // An installed Flatpak or snap app's folder is its own but for its cache; an emulator's disks.
    for (auto& place : appOwnPlaces()) result.push_back(std::move(place));
    return result;
}

} // namespace sorvel::LinuxPlaces
