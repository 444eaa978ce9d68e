#include "platform/UserDefaults.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Path.h"

namespace sorvel {
namespace {

std::mutex& processLock() {
    static std::mutex m;
    return m;
}

std::optional<std::string> readAll(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string out;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return out;
}

// The stored object; none when the file is missing, an empty object when it is not a
// JSON object (the caller decides whether to keep the bad file aside).
std::optional<nlohmann::json> readObject(const std::string& path, bool* malformed = nullptr) {
    auto text = readAll(path);
    if (!text) return std::nullopt;
    auto parsed = nlohmann::json::parse(*text, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        if (malformed) *malformed = true;
        return nlohmann::json::object();
    }
    return parsed;
}

bool makeParents(const std::string& folder) {
    if (folder.empty()) return false;
    struct stat st;
    if (stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    if (!makeParents(deletingLastPathComponent(folder))) return false;
    return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::string UserDefaults::standardFilePath() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') base = xdg;
    else base = homeDirectory() + "/.config";
    return appendingPathComponent(appendingPathComponent(base, "sorvel"), "defaults.json");
}

UserDefaults UserDefaults::standard() { return UserDefaults(standardFilePath()); }

std::optional<nlohmann::json> UserDefaults::value(const std::string& key) const {
    auto object = readObject(path_);
    if (!object) return std::nullopt;
    auto it = object->find(key);
    if (it == object->end()) return std::nullopt;
    return *it;
}

std::optional<std::string> UserDefaults::string(const std::string& key) const {
    auto v = value(key);
    if (!v || !v->is_string()) return std::nullopt;
    return v->get<std::string>();
}

std::optional<bool> UserDefaults::boolean(const std::string& key) const {
    auto v = value(key);
    if (!v || !v->is_boolean()) return std::nullopt;
    return v->get<bool>();
}

std::optional<double> UserDefaults::number(const std::string& key) const {
    auto v = value(key);
    if (!v || !v->is_number()) return std::nullopt;
    return v->get<double>();
}

bool UserDefaults::set(const std::string& key, const nlohmann::json& value) { return update(key, value); }
bool UserDefaults::remove(const std::string& key) { return update(key, std::nullopt); }

bool UserDefaults::update(const std::string& key, const std::optional<nlohmann::json>& value) {
    std::lock_guard inProcess(processLock());
    const std::string folder = deletingLastPathComponent(path_);
    if (!makeParents(folder)) return false;

    // The lock file outlives the data file's replacements, so every writer locks the same inode.
    int lockFD = ::open((path_ + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFD < 0) return false;
    while (flock(lockFD, LOCK_EX) != 0 && errno == EINTR) {
    }

    bool ok = false;
    bool malformed = false;
    nlohmann::json object = readObject(path_, &malformed).value_or(nlohmann::json::object());
    if (malformed) {
        // Keep what we could not read rather than silently replacing it.
        ::rename(path_.c_str(), (path_ + ".unreadable").c_str());
    }
    if (value) object[key] = *value;
    else object.erase(key);

    std::string text;
    try {
        text = object.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    } catch (...) {
        text.clear();
    }
    std::string temp = path_ + ".XXXXXX";
    int fd = text.empty() ? -1 : mkostemp(temp.data(), O_CLOEXEC);
    if (fd >= 0) {
        fchmod(fd, 0600);
        ok = writeAll(fd, text) && fsync(fd) == 0;
        ok = (::close(fd) == 0) && ok;
        if (ok) ok = ::rename(temp.c_str(), path_.c_str()) == 0;
        if (!ok) ::unlink(temp.c_str());
        if (ok) {
            int dirFD = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (dirFD >= 0) {
                fsync(dirFD);
                ::close(dirFD);
            }
        }
    }
    flock(lockFD, LOCK_UN);
    ::close(lockFD);
    return ok;
}

} // namespace sorvel
