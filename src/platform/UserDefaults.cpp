#include "platform/UserDefaults.h"

#include <algorithm>
#include <atomic>
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

#include "platform/BaseFolders.h"
#include "platform/AtomicFile.h"
#include "platform/FileDescriptor.h"
#include "platform/FileLock.h"
#include "platform/Path.h"
#include "platform/RegularFile.h"
#include "platform/Text.h"

namespace sorvel {
namespace {

// One mutex per file, so a settings write never waits behind a write of the far larger
// history. (The history's move-over reads the settings while it holds the history's lock;
// reads take no lock, and it writes the settings only after letting go of that one.)
std::timed_mutex& processLock(const std::string& path) {
    static std::mutex guard;
    static std::unordered_map<std::string, std::unique_ptr<std::timed_mutex>> locks;
    const std::lock_guard<std::mutex> held(guard);
    auto& lock = locks[path];
    if (!lock) lock = std::make_unique<std::timed_mutex>();
    return *lock;
}

std::atomic<int64_t> lockWaitMilliseconds{5000};

// What is on disk: nothing, an object, something that is not a readable object, or a
// file we could not read at all (which must then not be replaced).
// `unparsed`: an object or not, not yet known (its version was taken without a parse).
enum class Kind { missing, object, unreadable, failed, unparsed };

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

// One parsed version of a file, shared by every reader in the process. The object is
// held here only for files kept in memory; otherwise only while some caller holds it.
struct Cached {
    Kind kind = Kind::missing;
    int error = 0; // why a file that exists could not be read
    Signature signature;
    bool settled = false;
    size_t hash = 0;
    bool hashed = true; // false: known by its times alone, its bytes never read
    uint64_t version = 0;
    std::shared_ptr<const nlohmann::json> object;
    std::weak_ptr<const nlohmann::json> held;
};

// Versions of contents: a missing file and one that cannot be read at all have one each;
// every other content gets a fresh number when it is first seen.
constexpr uint64_t kMissingVersion = 1;
constexpr uint64_t kFailedVersion = 2;

uint64_t freshVersion() {
    static std::atomic<uint64_t> next{16};
    return next.fetch_add(1, std::memory_order_relaxed);
}

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

// What a reader gets: the kind and version of the contents, and the object unless the
// reader said it holds that version already.
struct Stored {
    Kind kind = Kind::missing;
    int error = 0;
    uint64_t version = 0;
    std::shared_ptr<const nlohmann::json> object;
};

// A file that is not there (error 0) or cannot be read at all (its errno).
Stored plain(int error) {
    if (error == ENOENT) return {Kind::missing, 0, kMissingVersion, emptyObject()};
    return {Kind::failed, error != 0 ? error : EIO, kFailedVersion, nullptr};
}

// The bytes and the signature of the version read from a file opened as a plain file;
// none when it could not be opened or read, with `error` the reason (ENOENT when it is
// absent, EISDIR for a folder, EINVAL for a pipe or another file that is not plain).
std::optional<std::string> readOpen(const FileDescriptor& fd, int* error, Signature* signature) {
    struct stat st;
    if (!fd.valid() || fstat(fd.get(), &st) != 0) {
        *error = errno;
        return std::nullopt;
    }
    *signature = signatureOf(st);
    std::string out;
    out.reserve(static_cast<size_t>(std::max<off_t>(st.st_size, 0)));
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = errno;
            return std::nullopt;
        }
        if (n == 0) break;
        out.append(buffer, static_cast<size_t>(n));
    }
    return out;
}

std::optional<std::string> readAll(const std::string& path, int* error, Signature* signature) {
    const FileDescriptor fd(openPlainFileAt(AT_FDCWD, path.c_str(), O_RDONLY));
    return readOpen(fd, error, signature);
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

std::shared_ptr<const nlohmann::json> objectOf(const Cached& entry) {
    if (entry.kind != Kind::object) return nullptr;
    return entry.object ? entry.object : entry.held.lock();
}

void parseInto(Cached& entry, const std::string& text) {
    if (auto parsed = parseBounded(text); parsed && parsed->is_object()) {
        entry.kind = Kind::object;
        entry.held = entry.object = std::make_shared<const nlohmann::json>(std::move(*parsed));
    } else {
        entry.kind = Kind::unreadable;
    }
}

// The file as it is now: from memory while its signature holds (and, for a file changed
// in the last seconds, while its bytes are the same), else read and parsed afresh. The
// object is left out when the contents are still the version `known`, so a reader that
// holds what it derived from them need not have them parsed again.
Stored readStored(const std::string& path, UserDefaults::Retention retention, uint64_t known = 0) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return plain(errno);
    const auto cached = cachedFor(path);
    if (cached && cached->settled && cached->kind != Kind::unparsed && cached->signature == signatureOf(st)) {
        if (cached->version == known) return {cached->kind, 0, cached->version, nullptr};
        if (auto object = objectOf(*cached); object || cached->kind != Kind::object)
            return {cached->kind, 0, cached->version, std::move(object)};
    }

    int error = 0;
    Signature signature;
    auto text = readAll(path, &error, &signature);
    if (!text) return plain(error);
    auto entry = std::make_shared<Cached>();
    entry->signature = signature;
    entry->settled = settled(signature);
    entry->hash = std::hash<std::string_view>{}(*text);
    std::shared_ptr<const nlohmann::json> object;
    const bool sameContents =
        cached && cached->hashed && cached->hash == entry->hash && cached->signature.size == signature.size;
    if (sameContents) {
        // The same contents: the same version, parsed again only when wanted and let go.
        entry->kind = cached->kind;
        entry->version = cached->version;
        entry->object = cached->object;
        entry->held = cached->held;
        object = objectOf(*entry);
        if (entry->kind == Kind::unparsed || (!object && entry->kind == Kind::object && entry->version != known)) {
            parseInto(*entry, *text);
            object = objectOf(*entry);
        }
    } else {
        parseInto(*entry, *text);
        entry->version = freshVersion();
        object = objectOf(*entry);
    }
    if (retention == UserDefaults::Retention::whileHeld && !(sameContents && cached->object)) entry->object.reset();
    const Kind kind = entry->kind;
    const uint64_t version = entry->version;
    keep(path, std::move(entry));
    if (version == known) object.reset();
    return {kind, 0, version, std::move(object)};
}

// The contents for a change, as a document of the changer's own. A file let go once read
// is parsed for the change alone: a copy of a shared version would hold it twice at the
// peak of every write. A file kept in memory is copied, so its readers keep theirs.
struct ForChange {
    Kind kind = Kind::missing;
    int error = 0;
    nlohmann::json object = nlohmann::json::object();
};

ForChange readForChange(const std::string& path, UserDefaults::Retention retention) {
    if (retention != UserDefaults::Retention::whileHeld) {
        const Stored stored = readStored(path, retention);
        return {stored.kind, stored.error, stored.object ? *stored.object : nlohmann::json::object()};
    }
    int error = 0;
    Signature signature;
    auto text = readAll(path, &error, &signature);
    if (!text) {
        const Stored stored = plain(error);
        return {stored.kind, stored.error};
    }
    auto parsed = parseBounded(*text);
    if (!parsed || !parsed->is_object()) return {Kind::unreadable};
    return {Kind::object, 0, std::move(*parsed)};
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
// Both are waited for until one deadline: a writer stopped while it holds them (another
// Sorvel suspended, or in a debugger) holds them for as long as it is stopped.
class WriteLock {
public:
    explicit WriteLock(const std::string& path)
        : deadline_(FileLock::Clock::now() + UserDefaults::lockWait()),
          inProcess_(processLock(path), deadline_) {
        if (!inProcess_.owns_lock()) {
            error_ = SaveStatus::kBusy;
            return;
        }
        // A link in the lock's place is refused (ELOOP), not followed to make a file elsewhere;
        // a pipe or a device is refused without waiting on it.
        fd_.reset(openPlainFileAt(AT_FDCWD, (path + ".lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW));
        if (!fd_.valid()) {
            error_ = errno;
            return;
        }
        if (const int code = FileLock::takeBy(fd_.get(), LOCK_EX, deadline_)) {
            error_ = code;
            fd_.reset();
        }
    }
    ~WriteLock() {
        if (fd_.valid()) ::flock(fd_.get(), LOCK_UN);
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    bool held() const { return fd_.valid(); }
    int error() const { return error_; }

private:
    FileLock::Clock::time_point deadline_;
    std::unique_lock<std::timed_mutex> inProcess_;
    FileDescriptor fd_;
    int error_ = 0;
};

} // namespace

std::string SaveStatus::reason() const {
    if (saved()) return std::string();
    if (busy()) return "another Sorvel is writing the file and did not let go of it in time";
    return std::strerror(error);
}

std::string SaveStatus::notSaved(std::string_view failed, std::string_view consequence) const {
    if (retrying)
        return std::string(failed) +
               " yet: another Sorvel is writing the settings. Sorvel tries again every few seconds until it is saved.";
    return std::string(failed) + " (" + reason() + "), " + std::string(consequence) + ".";
}

std::string UserDefaults::standardFilePath() {
    // The settings folder as Sorvel judges it: never one it would also clear as a cache.
    const std::string base = BaseFolders::folder(BaseFolders::Base::config);
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
    const auto kind = readStored(path_, retention_).kind;
    return kind == Kind::missing || kind == Kind::object;
}

std::optional<UnreadableStore> UserDefaults::unreadable() const {
    const Stored stored = readStored(path_, retention_);
    if (stored.kind == Kind::missing || stored.kind == Kind::object) return std::nullopt;
    return UnreadableStore{path_, stored.kind == Kind::failed ? stored.error : 0, keptAsidePath(1)};
}

std::string UnreadableStore::sentence(std::string_view what, std::string_view afresh) const {
    const std::string where = validUTF8(tildeAbbreviated(path));
    if (error == 0)
        return "Sorvel could not read " + std::string(what) + ": " + where +
               " is not in a form it can read. Sorvel keeps that file aside as " + lastPathComponent(keptAsidePath) +
               " at its next write and " + std::string(afresh) + ".";
    return "Sorvel could not read " + std::string(what) + ": " + where + " (" + std::strerror(error) +
           "). Sorvel leaves that file as it is and can record nothing new in it until it can be read.";
}

std::shared_ptr<const nlohmann::json> UserDefaults::snapshot() const { return readStored(path_, retention_).object; }

UserDefaults::Opened UserDefaults::openVersion() const {
    FileDescriptor fd(openPlainFileAt(AT_FDCWD, path_.c_str(), O_RDONLY));
    struct stat st;
    if (!fd.valid() || fstat(fd.get(), &st) != 0) return {};
    const auto cached = cachedFor(path_);
    if (cached && cached->settled && cached->signature == signatureOf(st)) return {cached->version, std::move(fd)};
    // Nothing read yet and a file its times tell apart: a version of its own without a
    // reading of its bytes, so a reader that parses the file reads it once.
    if (!cached && settled(signatureOf(st))) {
        auto entry = std::make_shared<Cached>();
        entry->kind = Kind::unparsed;
        entry->signature = signatureOf(st);
        entry->settled = true;
        entry->hashed = false;
        entry->version = freshVersion();
        const uint64_t version = entry->version;
        keep(path_, std::move(entry));
        return {version, std::move(fd)};
    }
    int error = 0;
    Signature signature;
    uint64_t version = 0;
    {
        const auto text = readOpen(fd, &error, &signature);
        if (!text) return {};
        auto entry = std::make_shared<Cached>();
        entry->signature = signature;
        entry->settled = settled(signature);
        entry->hash = std::hash<std::string_view>{}(*text);
        if (cached && cached->hashed && cached->hash == entry->hash && cached->signature.size == signature.size) {
            entry->kind = cached->kind;
            entry->version = cached->version;
            entry->object = cached->object;
            entry->held = cached->held;
        } else {
            entry->kind = Kind::unparsed;
            entry->version = freshVersion();
        }
        version = entry->version;
        keep(path_, std::move(entry));
    }
    if (::lseek(fd.get(), 0, SEEK_SET) != 0) return {};
    return {version, std::move(fd)};
}

UserDefaults::Version UserDefaults::version(uint64_t known) const {
    auto stored = readStored(path_, retention_, known);
    return {stored.version, std::move(stored.object)};
}

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
    return modifyHeld(key, change);
}

SaveStatus UserDefaults::modifyHeld(const std::string& key,
                                    const std::function<bool(std::optional<nlohmann::json>& value)>& change) {
    ForChange stored = readForChange(path_, retention_);
    // A file that exists but could not be read at all is never replaced.
    if (stored.kind == Kind::failed) return SaveStatus::failed(stored.error);
    nlohmann::json object = std::move(stored.object);
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
    if (stored.kind == Kind::unreadable)
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
        entry->version = freshVersion();
        entry->held = entry->object = std::make_shared<const nlohmann::json>(std::move(object));
        if (retention_ == Retention::whileHeld) entry->object.reset();
        keep(path_, std::move(entry));
    }
    return {};
}

namespace {
std::atomic<bool> streamedLists{true};
}

std::chrono::milliseconds UserDefaults::lockWait() { return std::chrono::milliseconds(lockWaitMilliseconds.load()); }

std::chrono::milliseconds UserDefaults::setLockWait(std::chrono::milliseconds wait) {
    return std::chrono::milliseconds(lockWaitMilliseconds.exchange(wait.count()));
}

void UserDefaults::setStreamedLists(bool on) { streamedLists = on; }

SaveStatus UserDefaults::modifyList(const std::string& key, const std::function<bool()>& prepare,
                                    const JsonListStream::Edit& edit,
                                    const std::function<bool(std::optional<nlohmann::json>& value)>& whole) {
    if (const int code = makeParents(deletingLastPathComponent(path_))) return SaveStatus::failed(code);
    WriteLock lock(path_);
    if (!lock.held()) return SaveStatus::failed(lock.error());
    AtomicFile::removeStrayTemporaries(path_);
    if (!streamedLists || (prepare && !prepare())) return modifyHeld(key, whole);
    const auto result = JsonListStream::rewrite(path_, key, edit, 0600);
    switch (result.outcome) {
    case JsonListStream::Outcome::unchanged: return {};
    case JsonListStream::Outcome::failed: return SaveStatus::failed(result.error);
    case JsonListStream::Outcome::unusual: return modifyHeld(key, whole);
    case JsonListStream::Outcome::written: break;
    }
    // The next reader parses what was written, under a version of its own.
    const std::lock_guard<std::mutex> held(cacheLock());
    cache().erase(path_);
    return {};
}

} // namespace sorvel
