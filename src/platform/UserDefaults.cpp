#include "platform/UserDefaults.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/AtomicFile.h"
#include "platform/Path.h"

namespace sorvel {
namespace {

std::mutex& processLock() {
    static std::mutex m;
    return m;
}

// What is on disk: nothing, an object, something that is not a readable object, or a
// file we could not read at all (which must then not be replaced).
struct Stored {
    enum class Kind { missing, object, unreadable, failed };
    Kind kind = Kind::missing;
    nlohmann::json object = nlohmann::json::object();
};

std::optional<std::string> readAll(const std::string& path, bool* missing) {
    *missing = false;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *missing = errno == ENOENT;
        return std::nullopt;
    }
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
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        out.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return out;
}

// Whether no array or object in the text lies deeper than the limit. Exact for valid
// JSON, which is all the parser lets through afterwards.
bool withinDepth(std::string_view text) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > UserDefaults::kMaximumDepth) return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

// The parser itself does not recurse, but copying, comparing and writing a value do: a
// hostile nesting is refused before anything can walk it.
std::optional<nlohmann::json> parseBounded(const std::string& text) {
    if (!withinDepth(text)) return std::nullopt;
    auto parsed = nlohmann::json::parse(text, nullptr, false);
    if (parsed.is_discarded()) return std::nullopt;
    return parsed;
}

Stored readStored(const std::string& path) {
    Stored stored;
    bool missing = false;
    auto text = readAll(path, &missing);
    if (!text) {
        stored.kind = missing ? Stored::Kind::missing : Stored::Kind::failed;
        return stored;
    }
    auto parsed = parseBounded(*text);
    if (!parsed || !parsed->is_object()) {
        stored.kind = Stored::Kind::unreadable;
        return stored;
    }
    stored.kind = Stored::Kind::object;
    stored.object = std::move(*parsed);
    return stored;
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

// 0 when the folder is there, else the errno of the step that failed.
int makeParents(const std::string& folder) {
    if (folder.empty()) return ENOENT;
    struct stat st;
    if (stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno == ENOTDIR) return ENOTDIR;
    if (const int code = makeParents(deletingLastPathComponent(folder))) return code;
    return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

// Moves the unreadable file to copy 1, shifting older copies up to the first free number;
// when all are taken the oldest goes. 0, else the errno of the rename that failed.
int keepAside(const UserDefaults& defaults) {
    int free = UserDefaults::kKeptAsideCopies;
    for (int n = 1; n <= UserDefaults::kKeptAsideCopies; ++n) {
        if (!exists(defaults.keptAsidePath(n))) {
            free = n;
            break;
        }
    }
    for (int n = free - 1; n >= 1; --n)
        if (::rename(defaults.keptAsidePath(n).c_str(), defaults.keptAsidePath(n + 1).c_str()) != 0) return errno;
    return ::rename(defaults.filePath().c_str(), defaults.keptAsidePath(1).c_str()) == 0 ? 0 : errno;
}

// The in-process mutex and the lock file, held together for one read-modify-write. The
// lock file outlives the data file's replacements, so every writer locks the same inode.
class WriteLock {
public:
    explicit WriteLock(const std::string& path) : inProcess_(processLock()) {
        fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            error_ = errno;
            return;
        }
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                error_ = errno;
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~WriteLock() {
        if (fd_ < 0) return;
        flock(fd_, LOCK_UN);
        ::close(fd_);
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    bool held() const { return fd_ >= 0; }
    int error() const { return error_; }

private:
    std::lock_guard<std::mutex> inProcess_;
    int fd_ = -1;
    int error_ = 0;
};

} // namespace

std::string SaveStatus::reason() const { return saved() ? std::string() : std::strerror(error); }

std::string UserDefaults::standardFilePath() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') base = xdg;
    else base = homeDirectory() + "/.config";
    return appendingPathComponent(appendingPathComponent(base, "sorvel"), "defaults.json");
}

UserDefaults UserDefaults::standard() { return UserDefaults(standardFilePath()); }

std::string UserDefaults::keptAsidePath(int n) const {
    const std::string suffix = ".corrupt-" + std::to_string(n);
    constexpr std::string_view json = ".json";
    if (path_.size() > json.size() && path_.compare(path_.size() - json.size(), json.size(), json) == 0)
        return path_.substr(0, path_.size() - json.size()) + suffix + std::string(json);
    return path_ + suffix;
}

bool UserDefaults::isReadable() const {
    const auto kind = readStored(path_).kind;
    return kind == Stored::Kind::missing || kind == Stored::Kind::object;
}

std::optional<nlohmann::json> UserDefaults::value(const std::string& key) const {
    Stored stored = readStored(path_);
    if (stored.kind != Stored::Kind::object) return std::nullopt;
    auto it = stored.object.find(key);
    if (it == stored.object.end()) return std::nullopt;
    return std::move(*it);
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

SaveStatus UserDefaults::set(const std::string& key, const nlohmann::json& value) {
    return modify(key, [&value](std::optional<nlohmann::json>& stored) {
        stored = value;
        return true;
    });
}

SaveStatus UserDefaults::remove(const std::string& key) {
    return modify(key, [](std::optional<nlohmann::json>& stored) {
        stored.reset();
        return true;
    });
}

SaveStatus UserDefaults::modify(const std::string& key,
                                const std::function<bool(std::optional<nlohmann::json>& value)>& change) {
    if (const int code = makeParents(deletingLastPathComponent(path_))) return SaveStatus::failed(code);
    WriteLock lock(path_);
    if (!lock.held()) return SaveStatus::failed(lock.error());
    // Every writer holds the lock while its temporary file exists: any left now are a
    // crashed writer's.
    AtomicFile::removeStrayTemporaries(path_);

    Stored stored = readStored(path_);
    // A file that exists but could not be read at all is never replaced.
    if (stored.kind == Stored::Kind::failed) return SaveStatus::failed(EIO);
    std::optional<nlohmann::json> value;
    if (auto it = stored.object.find(key); it != stored.object.end()) value = std::move(*it);
    if (!change(value)) return {};
    if (value) stored.object[key] = std::move(*value);
    else stored.object.erase(key);

    std::string text;
    try {
        text = stored.object.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    } catch (...) {
        return SaveStatus::failed(EINVAL);
    }
    // Keep what we could not read rather than silently replacing it.
    if (stored.kind == Stored::Kind::unreadable)
        if (const int code = keepAside(*this)) return SaveStatus::failed(code);
    if (const int code = AtomicFile::write(path_, text, 0600)) return SaveStatus::failed(code);
    return {};
}

} // namespace sorvel
