// `--watch PATH`: measures the folder once, then prints every change of its size as the
// file-system events arrive, until the process is stopped from outside, the reader of its
// output goes away, or the folder itself is gone for good.
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "cli/CommandPath.h"
#include "cli/HeadlessReport.h"
#include "cli/ReportOutput.h"
#include "engine/Bytes.h"
#include "engine/Reading.h"
#include "engine/FileSystemWatcher.h"
#include "engine/FileWalker.h"
#include "engine/PathText.h"
#include "engine/ScanResult.h"
#include "engine/TreeUpdater.h"
#include "platform/Path.h"
#include "platform/Text.h"

namespace sorvel::HeadlessReport {
namespace {

// Which folder stands at the watched path: a folder deleted and made again is another one,
// and the events of the old one no longer come.
using FolderIdentity = std::pair<uint64_t, uint64_t>;

std::optional<FolderIdentity> identityAt(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    return FolderIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

// How long a vanished folder may take to be made again (`rm -rf x && mkdir x`, a tool
// swapping in a new copy) before it counts as gone.
constexpr auto kReappearance = std::chrono::seconds(1);

// Everything the change handler needs; it lives as long as the process.
struct WatchState {
    std::mutex lock; // guards everything below
    ScanResult result;
    ScanControl control;
    FileWalker::Options options; // the standard values, nothing excluded
    std::string path;
    size_t reportedUnwatched = 0;
    std::optional<FolderIdentity> identity; // of the folder the watcher follows
    std::unique_ptr<FileSystemWatcher> watcher; // set before it starts
};

std::string shownPath(const std::string& path) {
    return printable(tildeAbbreviated(path));
}

// A reader that went away leaves nobody to watch for: end as other commands do (status
// 141, quietly) instead of running on unseen. Each line goes out on its own, at once.
void print(const std::string& text) {
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
        if (const int status = ReportOutput::emit(text.substr(start, end - start)); status != 0) _exit(status);
        start = end;
    }
}

std::string notCounted(int64_t unreadableFolders) {
    const std::string note = CommandPath::unreadableNote(unreadableFolders);
    return note.empty() ? note : "  (" + note + ")";
}

// The size and file count of a folder, or the words in their place when nothing was read.
std::string figures(const ScanNode& node) {
    if (readingOf(node) == Reading::none) return "not readable by this user" + notCounted(node.unreadableFolders);
    return Bytes::format(node.size) + "  " + counted(node.fileCount, "file") + notCounted(node.unreadableFolders);
}

const ScanNode& watchedRoot(const ScanResult& result) {
    static const ScanNode empty("", "");
    const auto& roots = result.categories.front().roots;
    return roots.empty() || !roots.front() ? empty : *roots.front();
}

std::string changeLine(int64_t change, const std::string& located, const ScanResult& result) {
    return std::string("  ") + (change > 0 ? "+" : "\u2212") + Bytes::format(change > 0 ? change : -change) + "  " +
           shownPath(located) + "  now " + figures(watchedRoot(result)) + "\n";
}

// A folder this user could read before and not now is no data gone, and one that opened
// up is no data made: each is said as what it is, with what its turn did to the total.
std::string turnLine(const TreeUpdater::ReadingTurn& turn, const ScanResult& result) {
    std::string said = "  " + shownPath(turn.path);
    using Kind = TreeUpdater::ReadingTurn::Kind;
    if (turn.kind == Kind::arrived) {
        said += ": arrived, not readable by this user, so nothing in it is counted";
    } else if (turn.kind == Kind::left) {
        said += ": gone; it was not readable by this user, so nothing counted went with it";
    } else if (turn.readable) {
        said += ": readable now";
        if (turn.change > 0) said += ", +" + Bytes::format(turn.change) + " counted";
    } else {
        said += ": not readable by this user any more";
        if (turn.change < 0) said += ", " + Bytes::format(-turn.change) + " no longer counted";
    }
    return said + "  now " + figures(watchedRoot(result)) + "\n";
}

void sayIfPartlyWatched(WatchState& state, size_t unwatched) {
    if (unwatched <= state.reportedUnwatched) return;
    state.reportedUnwatched = unwatched;
    const std::string folders = std::to_string(unwatched) + (unwatched == 1 ? " folder" : " folders") + " under " +
                                shownPath(state.path) + " will not be seen";
    // A path past the system's length is as unwatched as a folder past the share: said alike.
    const bool forLength = state.watcher->leftOutForLength(), forShare = state.watcher->leftOutForShare();
    if (forLength && !forShare) {
        ReportOutput::diagnostic("sorvel: changes in " + folders +
                                 ": their paths are longer than the system can watch\n");
    } else if (forLength) {
        ReportOutput::diagnostic("sorvel: changes in " + folders +
                                 ": the folder watches Sorvel may use ran out (raise fs.inotify.max_user_watches), "
                                 "and some paths are longer than the system can watch\n");
    } else {
        ReportOutput::diagnostic("sorvel: the folder watches Sorvel may use ran out: changes in " + folders +
                                 " (raise fs.inotify.max_user_watches to watch them all)\n");
    }
}

// Why the folder's changes cannot be followed: the system's events, or no thread for them.
std::string cannotWatch(const WatchState& state) {
    const char* why = state.watcher->lackedThread()
                          ? "no thread could be started for it (the process limit, or memory)"
                          : "the system gives no file-system events for it";
    return "sorvel: cannot watch " + shownPath(state.path) + " for changes: " + why + "\n";
}

// The watched folder itself was deleted or swapped for another: once a folder stands there
// again, measure it afresh and watch it instead (before `out` is printed, so that whoever
// reads it sees every later change); if none comes back, say so and end.
void followReplacedFolder(WatchState& state, std::string& out) {
    auto now = identityAt(state.path);
    if (now == state.identity) return;
    for (auto waited = std::chrono::milliseconds(0); !now && waited < kReappearance;
         waited += std::chrono::milliseconds(50)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        now = identityAt(state.path);
    }
    auto& roots = state.result.categories.front().roots;
    const int64_t before = roots.empty() || !roots.front() ? 0 : roots.front()->size;
    ScanNodePtr fresh;
    if (now) {
        state.control.releaseInodes(state.path, state.options.excludedPaths);
        fresh = FileWalker::walkParallel(state.path, state.control, state.options);
    }
    if (!fresh) {
        roots = {ScanNode::make(lastPathComponent(state.path), state.path)};
        if (before != 0) out += changeLine(-before, state.path, state.result);
        if (!out.empty()) print(out);
        ReportOutput::diagnostic("sorvel: " + shownPath(state.path) + " is gone; nothing is left to watch\n");
        _exit(1);
    }
    if (fresh->accessDenied) {
        if (!out.empty()) print(out);
        _exit(CommandPath::cannotRead(state.path, EACCES));
    }
    roots = {fresh};
    if (fresh->size != before) out += changeLine(fresh->size - before, state.path, state.result);
    state.identity = now;
    state.reportedUnwatched = 0;
    state.watcher->start({state.path}); // from this queue: the old stream is let go first
    if (!state.watcher->isRunning()) {
        ReportOutput::diagnostic(cannotWatch(state));
        _exit(1);
    }
    ReportOutput::diagnostic("sorvel: " + shownPath(state.path) + " was made again; watching the new folder\n");
    sayIfPartlyWatched(state, state.watcher->unwatchedFolders());
}

void handleChanges(WatchState& state, const std::vector<std::string>& paths) {
    std::lock_guard guard(state.lock);
    std::string out;
    if (FileWalker::traceEnabled()) {
        for (const auto& path : paths) out += "  \u00B7 event " + shownPath(path) + "\n";
    }
    sayIfPartlyWatched(state, state.watcher->unwatchedFolders());
    const auto measured = TreeUpdater::remeasure(
        TreeUpdater::coalesce(paths, state.result), state.result, state.control,
        [&state](const std::string&) { return state.options; }, FileWalker::walkParallel);
    for (const auto& [located, change, turns] : measured) {
        int64_t rest = change;
        for (const auto& turn : turns) {
            out += turnLine(turn, state.result);
            rest -= turn.change;
        }
        if (rest != 0) out += changeLine(rest, located, state.result);
    }
    followReplacedFolder(state, out);
    if (!out.empty()) print(out);
}

} // namespace

int watch(const std::string& argument) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Let go of only when the command fails; once watching, it lives as long as the process.
    auto owned = std::make_unique<WatchState>();
    WatchState* state = owned.get();
    state->path = absolutePath(expandingTildeInPath(argument));
    state->control.keepInodeOwners();
    state->identity = identityAt(state->path);
    ScanNodePtr node = FileWalker::walkParallel(state->path, state->control, state->options);
    if (!node) return CommandPath::missing(state->path, state->path);
    // Nothing inside can be measured or watched: the reason is the permission, not the system.
    if (node->accessDenied) return CommandPath::cannotRead(state->path, EACCES);

    DisplayCategory category;
    category.id = "watch";
    category.title = state->path;
    category.tint = Tint::mint();
    category.roots = {state->path};
    category.stayOnDevice = true;
    state->result.scope = ScanScope::systemData;
    state->result.categories.push_back(CategoryResult{category, {node}});

    {
        std::unique_lock guard(state->lock);
        state->watcher = std::make_unique<FileSystemWatcher>(
            [state](const std::vector<std::string>& paths) { handleChanges(*state, paths); });
        state->watcher->start({state->path});
        if (!state->watcher->isRunning()) {
            ReportOutput::diagnostic(cannotWatch(*state));
            return 1;
        }
        // Printed once the events are flowing (and before any change line, which waits
        // for the lock): whoever reads the first measurement sees every later change.
        for (const std::string& line : {"watching " + shownPath(state->path) + "\n",
                                        "  " + figures(*node) + "\n"}) {
            if (const int status = ReportOutput::emit(line); status != 0) {
                guard.unlock();
                state->watcher->stop();
                return status;
            }
        }
        sayIfPartlyWatched(*state, state->watcher->unwatchedFolders());
    }
    owned.release();
    // Nothing more happens on this thread but noticing that the reader has gone (`| head
    // -1`) even while nothing changes; the process ends then, or when it is stopped.
    for (;;) {
        pollfd out{STDOUT_FILENO, 0, 0};
        const int ready = ::poll(&out, 1, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || (out.revents & POLLNVAL)) break; // no output to watch
        if (out.revents & (POLLERR | POLLHUP)) _exit(ReportOutput::kReaderGone);
    }
    for (;;) pause();
    return 0;
}

} // namespace sorvel::HeadlessReport
