#pragma once
// The user's persisted settings: one JSON object in
// ${XDG_CONFIG_HOME:-$HOME/.config}/sorvel/defaults.json (the removal history has a file
// of its own beside it, of the same form). A file is parsed once and then served from
// memory until it changes on disk (another inode, size or time, or, for a file changed in
// the last seconds, other bytes), so another process's write is seen at the next read.
// Every write is a read-modify-write under an exclusive lock, replacing the file
// atomically (temporary file, fsync, rename), so two processes never lose each other's
// keys and a crash never leaves half a file. The lock is waited for a few seconds at most
// (`lockWait`): a writer stopped while it holds it leaves the write not saved, as busy. A file that cannot be read (not JSON, not an
// object, nested deeper than any value of ours) is kept aside as "defaults.corrupt-1.json"
// (the newest) up to "-5" before the next write starts afresh.
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/FileDescriptor.h"
#include "platform/JsonListStream.h"

namespace sorvel {

/// How a write went: saved, or the errno of the step that failed.
struct SaveStatus {
    /// The file's lock was still held by another writer when the wait for it ended.
    static constexpr int kBusy = EWOULDBLOCK;

    int error = 0;
    /// Busy, and the write is tried again later (a settings save): said as such.
    bool retrying = false;

    static SaveStatus failed(int code) { return SaveStatus{code != 0 ? code : EIO}; }
    bool saved() const { return error == 0; }
    /// Not saved because another writer held the file past the wait: nothing was changed,
    /// and the same write may succeed later.
    bool busy() const { return error == kBusy; }
    operator bool() const { return saved(); } // NOLINT: read as "was it saved"
    /// The system's description of the failure; empty when saved.
    std::string reason() const;
    /// The one form of every "not saved" sentence: what could not be done, the reason in
    /// brackets, then what follows from it, e.g. "Sorvel could not save the appearance
    /// (Permission denied), so it will be lost when Sorvel quits."
    /// A busy write tried again later says so instead: "Sorvel could not save the appearance
    /// yet: another Sorvel is writing the settings. ..."
    std::string notSaved(std::string_view failed, std::string_view consequence) const;
};

/// A store that is there and could not be read, and what the next write does with it.
struct UnreadableStore {
    std::string path;
    int error = 0;             // the read's errno; 0: contents that are no settings
    std::string keptAsidePath; // where the next write keeps contents that are no settings

    /// One sentence naming `what` ("its history"), where it is, why it could not be read and
    /// what the next write does: keeps the file aside and then does `afresh` ("starts a new
    /// history"), or, for a file that cannot be read at all, leaves it as it is.
    std::string sentence(std::string_view what, std::string_view afresh) const;
};

class UserDefaults {
public:
    /// Values nested deeper than this make the whole file unreadable.
    static constexpr int kMaximumDepth = 256;
    /// How many unreadable files are kept aside; the oldest copy goes first.
    static constexpr int kKeptAsideCopies = 5;

    /// How long a parsed file stays in memory: while it is the file's current version (the
    /// settings: small and read often), or only while some caller holds its snapshot (a
    /// large file whose one reader keeps what it derives instead).
    enum class Retention { whileCurrent, whileHeld };

    /// The defaults of the current user, located from the environment at the call.
    static UserDefaults standard();
    static std::string standardFilePath();
    explicit UserDefaults(std::string filePath, Retention retention = Retention::whileCurrent)
        : path_(std::move(filePath)), retention_(retention) {}

    const std::string& filePath() const { return path_; }
    /// Where the n-th kept-aside copy goes (1 is the newest): "defaults.corrupt-n.json".
    std::string keptAsidePath(int n) const;

    /// False when the file exists but cannot be read as settings (every value then reads as
    /// absent until a write keeps the file aside).
    bool isReadable() const;
    /// The same, said: none when the file reads or is missing.
    std::optional<UnreadableStore> unreadable() const;

    /// The whole stored object as it is now, shared and never changed in place: the same
    /// pointer until the file changes, so callers may keep what they derive from it. An
    /// empty object when the file is missing; null when it cannot be read.
    std::shared_ptr<const nlohmann::json> snapshot() const;

    /// The contents as a number that changes whenever they do (a file that cannot be read
    /// at all, or is missing, has one number each), with the snapshot, which is left empty
    /// when the number is still `known`: a caller that keeps what it derived from that
    /// version needs no parse.
    struct Version {
        uint64_t number = 0;
        std::shared_ptr<const nlohmann::json> object;
    };
    Version version(uint64_t known = 0) const;
    /// The version of the contents as `version` numbers it, without parsing them, and the
    /// file open at that very version, for a reader that parses it in pieces itself. No
    /// descriptor (and number 0) when the file is not a plain file that can be read.
    struct Opened {
        uint64_t number = 0;
        FileDescriptor file;
    };
    Opened openVersion() const;
    bool contains(const std::string& key) const;

    /// The stored value, or none when the key is absent or the file cannot be read.
    std::optional<nlohmann::json> value(const std::string& key) const;
    std::optional<std::string> string(const std::string& key) const;
    std::optional<bool> boolean(const std::string& key) const;
    std::optional<double> number(const std::string& key) const;

    /// Stores the value; not saved (with nothing changed) when the file cannot be written.
    SaveStatus set(const std::string& key, const nlohmann::json& value);
    SaveStatus remove(const std::string& key);

    /// Reads the key's value (none when absent) and writes what `change` leaves in it
    /// (none removes the key), all under the lock, so no other writer, in this process or
    /// another, comes between the read and the write. When `change` returns false nothing
    /// is written. Not saved, with the reason, when the file cannot be written. Temporary
    /// files a crashed writer left beside the file are removed. `change` must not call
    /// back into the defaults.
    SaveStatus modify(const std::string& key, const std::function<bool(std::optional<nlohmann::json>& value)>& change);

    /// As `modify`, for a key holding a long list: `prepare` (which may look at the file
    /// with `JsonListStream::look`), then `edit`, one element at a time, so the whole file
    /// is never parsed at once. A file of another shape, or one that cannot be parsed, is
    /// changed by `whole` instead, as `modify` would; so is every file while
    /// `streamedLists` is off. `prepare` returning false also leaves it to `whole`.
    SaveStatus modifyList(const std::string& key, const std::function<bool()>& prepare,
                          const JsonListStream::Edit& edit,
                          const std::function<bool(std::optional<nlohmann::json>& value)>& whole);
    /// On by default; off, so a test can compare both ways.
    static void setStreamedLists(bool on);

    /// How long a write waits for the file's lock, in this process and others, before it
    /// gives up as busy: a few seconds. Settable (returning the previous wait) for tests.
    static std::chrono::milliseconds lockWait();
    static std::chrono::milliseconds setLockWait(std::chrono::milliseconds wait);

private:
    SaveStatus modifyHeld(const std::string& key,
                          const std::function<bool(std::optional<nlohmann::json>& value)>& change);

    std::string path_;
    Retention retention_ = Retention::whileCurrent;
};

} // namespace sorvel
