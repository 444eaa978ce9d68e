// `--watch PATH`: measures the folder once, then prints every change of its size as the
// file-system events arrive, until the process is stopped from outside.
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <unistd.h>

#include "cli/HeadlessReport.h"
#include "cli/ReportOutput.h"
#include "engine/Bytes.h"
#include "engine/FileSystemWatcher.h"
#include "engine/FileWalker.h"
#include "engine/PathText.h"
#include "engine/ScanResult.h"
#include "engine/TreeUpdater.h"
#include "platform/Text.h"

namespace sorvel::HeadlessReport {
namespace {

// Everything the change handler needs; it lives as long as the process.
struct WatchState {
    std::mutex lock; // guards everything below
    ScanResult result;
    ScanControl control;
    FileWalker::Options options; // the standard values, nothing excluded
    std::string path;
    size_t reportedUnwatched = 0;
    std::unique_ptr<FileSystemWatcher> watcher; // set before it starts
};

std::string shownPath(const std::string& path) {
    return printable(tildeAbbreviated(path));
}

// A reader that went away leaves nobody to watch for: end instead of running on unseen.
void print(const std::string& text) {
    if (ReportOutput::emit(text) != 0) _exit(1);
}

void sayIfPartlyWatched(WatchState& state, size_t unwatched) {
    if (unwatched <= state.reportedUnwatched) return;
    state.reportedUnwatched = unwatched;
    ReportOutput::diagnostic("sorvel: the system's limit on watched folders was reached: changes in " +
                             std::to_string(unwatched) + (unwatched == 1 ? " folder" : " folders") + " under " +
                             shownPath(state.path) +
                             " will not be seen (raise fs.inotify.max_user_watches to watch them all)\n");
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
    for (const auto& [located, change] : measured) {
        if (change == 0) continue;
        const ScanNode& root = *state.result.categories.front().roots.front();
        out += std::string("  ") + (change > 0 ? "+" : "\u2212") + Bytes::format(change > 0 ? change : -change) +
               "  " + shownPath(located) + "  now " + Bytes::format(root.size) + "  " +
               std::to_string(root.fileCount) + " files\n";
    }
    if (!out.empty()) print(out);
}

} // namespace

int watch(const std::string& argument) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Let go of only when the command fails; once watching, it lives as long as the process.
    auto owned = std::make_unique<WatchState>();
    WatchState* state = owned.get();
    state->path = expandingTildeInPath(argument);
    state->control.keepInodeOwners();
    ScanNodePtr node = FileWalker::walkParallel(state->path, state->control, state->options);
    if (!node) {
        ReportOutput::diagnostic("No such path: " + printable(state->path) + "\n");
        return 1;
    }

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
            ReportOutput::diagnostic("sorvel: cannot watch " + shownPath(state->path) +
                                     " for changes: the system gives no file-system events for it\n");
            return 1;
        }
        // Printed once the events are flowing (and before any change line, which waits
        // for the lock): whoever reads the first measurement sees every later change.
        if (ReportOutput::emit("watching " + shownPath(state->path) + "\n" + "  " + Bytes::format(node->size) +
                               "  " + std::to_string(node->fileCount) + " files\n") != 0) {
            guard.unlock();
            state->watcher->stop();
            return 1;
        }
        sayIfPartlyWatched(*state, state->watcher->unwatchedFolders());
    }
    owned.release();
    // Nothing more happens on this thread; the process ends when it is stopped.
    for (;;) pause();
    return 0;
}

} // namespace sorvel::HeadlessReport
