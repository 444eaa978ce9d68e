#include "removal/RestoreExecutor.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "platform/FileDescriptor.h"
#include "platform/Path.h"
#include "platform/Trash.h"

namespace sorvel::RestoreExecutor {
namespace {

// Sizes come from the stored history, which anyone could edit; a sum must not overflow.
int64_t saturatingAdd(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? INT64_MAX : INT64_MIN;
}

std::string messageFor(int code) {
    switch (code) {
    case EEXIST:
    case ENOTEMPTY:
        return "Something appeared at the original path, and Sorvel never overwrites; the item stayed in the Trash.";
    case EXDEV:
        return "The original place is on another file system than the Trash; Sorvel only puts items back by "
               "renaming them, so the item stayed in the Trash.";
    case ENOENT:
        return "The item or the folder it came from disappeared; nothing was moved.";
    case ENOTDIR:
    case ELOOP:
        return "A folder inside the Trash on the way to the item is a symbolic link or not a folder, so the item "
               "stayed where it is.";
    case EACCES:
    case EPERM:
        return "You do not have permission to put the item back there; it stayed in the Trash.";
    default:
        return std::string("The item could not be put back: ") + std::strerror(code) + ".";
    }
}

RestoreOutcome::Result move(const MovedItem& item) {
    const std::string trash = standardizePath(item.trashPath);
    const std::string original = standardizePath(item.originalPath);

    std::string error;
    FileDescriptor folder(Trash::open(error)); // refuses a Trash that is a link or someone else's
    if (folder.get() < 0) return RestoreOutcome::Failed{error};

    // Walk down from the Trash to the item's folder without following any link.
    const std::string below = trash.substr(standardizePath(Trash::directory()).size() + 1);
    size_t start = 0;
    for (size_t slash; (slash = below.find('/', start)) != std::string::npos; start = slash + 1) {
        const std::string component = below.substr(start, slash - start);
        const int next = ::openat(folder.get(), component.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) return RestoreOutcome::Failed{messageFor(errno)};
        folder.reset(next);
    }
    const std::string name = below.substr(start);

    // The destination's folder may be reached through links; the guard judged where it leads.
    FileDescriptor destination(::open(deletingLastPathComponent(original).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (destination.get() < 0) return RestoreOutcome::Failed{messageFor(errno)};
    const std::string destinationName = lastPathComponent(original);

    if (::renameat2(folder.get(), name.c_str(), destination.get(), destinationName.c_str(), RENAME_NOREPLACE) != 0)
        return RestoreOutcome::Failed{messageFor(errno)};
    return RestoreOutcome::Restored{};
}

} // namespace

std::vector<RestoreOutcome> run(const std::vector<MovedItem>& items, const CleanupPolicy& policy) {
    std::vector<RestoreOutcome> outcomes;
    outcomes.reserve(items.size());
    for (const auto& item : items) {
        RestoreOutcome outcome;
        outcome.item = item;
        if (auto refusal = RestoreGuard::check(item, policy)) outcome.result = RestoreOutcome::Refused{*refusal};
        else outcome.result = move(item);
        outcomes.push_back(std::move(outcome));
    }
    return outcomes;
}

int64_t restoredBytes(const std::vector<RestoreOutcome>& outcomes) {
    int64_t total = 0;
    for (const auto& outcome : outcomes)
        if (outcome.restored()) total = saturatingAdd(total, outcome.item.size);
    return total;
}

} // namespace sorvel::RestoreExecutor
