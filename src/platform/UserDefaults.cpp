#include "platform/UserDefaults.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ctime>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/AtomicFile.h"
#include "platform/Path.h"

namespace sorvel {
namespace {

// One mutex per file: the history's move-over writes the settings while holding the
// history's lock.
std::mutex& processLock(const std::string& path) {
    static std::mutex guard;
    static std::unordered_map<std::string, std::unique_ptr<std::mutex>> locks;
    const std::lock_guard<std::mutex> held(guard);
    auto& lock = locks[path];
    if (!lock) lock = std::make_unique<std::mutex>();
    return *lock;
}

// What is on disk: nothing, an object, something that is not a readable object, or a
// file we could not read at all (which must then not be replaced).
enum class Kind { missing, object, unreadable, failed };

// What tells one version of the file from another without reading it.
struct Signature {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t modified = 0; // nanoseconds
    int64_t changed = 0;
    friend bool operator==(const Signature&, const Signature&) = default;
};

int64_t nanoseconds(const timespec& t) { return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

Signature signatureOf(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size, nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
}

// File times tick coarsely: a file replaced within the same tick may keep inode (reused),
// size and times. Only a file whose times lie clearly before the look can be told by them.
bool settled(const Signature& signature) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    constexpr int64_t kMargin = 2'000'000'000;
    return nanoseconds(now) - std::max(signature.modified, signature.changed) > kMargin;
}

// One parsed version of a file, shared by every reader in the process.
struct Cached {
    Kind kind = Kind::missing;
    Signature signature;
    bool settled = false;
    size_t hash = 0;
    std::shared_ptr<const nlohmann::json> object;
};

std::mutex& cacheLock() {
    static std::mutex m;
    return m;
}

std::unordered_map<std::string, std::shared_ptr<const Cached>>& cache() {
    static std::unordered_map<std::string, std::shared_ptr<const Cached>> c;
    return c;
}

std::shared_ptr<const Cached> cachedFor(const std::string& path) {
    const std::lock_guard<std::mutex> held(cacheLock());
    auto it = cache().find(path);
    return it == cache().end() ? nullptr : it->second;
}

void keep(const std::string& path, std::shared_ptr<const Cached> entry) {
    const std::lock_guard<std::mutex> held(cacheLock());
    cache()[path] = std::move(entry);
}

const std::shared_ptr<const nlohmann::json>& emptyObject() {
    static const auto empty = std::make_shared<const nlohmann::json>(nlohmann::json::object());
    return empty;
}

std::shared_ptr<const Cached> plain(Kind kind) {
    auto entry = std::make_shared<Cached>();
    entry->kind = kind;
    entry->object = kind == Kind::missing ? emptyObject() : nullptr;
    return entry;
}

// The bytes and the signature of the version read. None when the file cannot be read;
// `missing` then says whether it is absent.
std::optional<std::string> readAll(const std::string& path, bool* missing, Signature* signature) {
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
    *signature = signatureOf(st);
    std::string out;
    out.reserve(static_cast<size_t>(std::max<off_t>(st.st_size, 0)));
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

// The file as it is now: from memory while its signature holds (and, for a file changed
// in the last seconds, while its bytes are the same), else read and parsed afresh.
std::shared_ptr<const Cached> readStored(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return plain(errno == ENOENT ? Kind::missing : Kind::failed);
    const auto known = cachedFor(path);
    if (known && known->settled && known->signature == signatureOf(st)) return known;

    bool missing = false;
    Signature signature;
    auto text = readAll(path, &missing, &signature);
    if (!text) return plain(missing ? Kind::missing : Kind::failed);
    const size_t hash = std::hash<std::string_view>{}(*text);
    auto entry = std::make_shared<Cached>();
    entry->signature = signature;
    entry->settled = settled(signature);
    entry->hash = hash;
    if (known && known->hash == hash && known->signature.size == signature.size) {
        entry->kind = known->kind;
        entry->object = known->object;
    } else if (auto parsed = parseBounded(*text); parsed && parsed->is_object()) {
        entry->kind = Kind::object;
        entry->object = std::make_shared<const nlohmann::json>(std::move(*parsed));
    } else {
        entry->kind = Kind::unreadable;
    }
    keep(path, entry);
    return entry;
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
    explicit WriteLock(const std::string& path) : inProcess_(processLock(path)) {
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
    const auto kind = readStored(path_)->kind;
    return kind == Kind::missing || kind == Kind::object;
}

std::shared_ptr<const nlohmann::json> UserDefaults::snapshot() const { return readStored(path_)->object; }

bool UserDefaults::contains(const std::string& key) const {
    const auto object = snapshot();
    return object && object->contains(key);
}

std::optional<nlohmann::json> UserDefaults::value(const std::string& key) const {
    const auto object = snapshot();
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

    const auto stored = readStored(path_);
    // A file that exists but could not be read at all is never replaced.
    if (stored->kind == Kind::failed) return SaveStatus::failed(EIO);
    // The held version stays as it is for its readers; the change goes to a copy.
    nlohmann::json object = stored->object ? *stored->object : nlohmann::json::object();
    std::optional<nlohmann::json> value;
    if (auto it = object.find(key); it != object.end()) value = std::move(*it);
    if (!change(value)) return {};
    if (value) object[key] = std::move(*value);
    else object.erase(key);

    std::string text;
    try {
        text = object.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    } catch (...) {
        return SaveStatus::failed(EINVAL);
    }
    // Keep what we could not read rather than silently replacing it.
    if (stored->kind == Kind::unreadable)
        if (const int code = keepAside(*this)) return SaveStatus::failed(code);
    if (const int code = AtomicFile::write(path_, text, 0600)) return SaveStatus::failed(code);
    // What was just written is what the next reader gets, without reading it back; the
    // lock is still held, so the file on disk is this one.
    struct stat st;
    if (::stat(path_.c_str(), &st) == 0) {
        auto entry = std::make_shared<Cached>();
        entry->kind = Kind::object;
        entry->signature = signatureOf(st);
        entry->settled = false;
        entry->hash = std::hash<std::string_view>{}(text);
        entry->object = std::make_shared<const nlohmann::json>(std::move(object));
        keep(path_, std::move(entry));
    }
    return {};
}

} // namespace sorvel
