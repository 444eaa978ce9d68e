// `--size PATH`: one sequential walk, printed in figures that can be checked against du.
#include <sys/stat.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <string>

#include "cli/CommandPath.h"
#include "cli/HeadlessReport.h"
#include "cli/ReportOutput.h"
#include "engine/Bytes.h"
#include "engine/FileWalker.h"
#include "engine/PathText.h"
#include "engine/Reading.h"
#include "platform/BulkAttributes.h"
#include "platform/FileDescriptor.h"
#include "platform/Text.h"

namespace sorvel::HeadlessReport {

int size(const std::string& argument) {
    // The path stays bytes for the walk; only printed text is made valid UTF-8.
    const std::string path = absolutePath(expandingTildeInPath(argument));
    // A folder that cannot be read would otherwise pass for an empty one.
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        const FileDescriptor folder(openDirectory(path.c_str()));
        if (!folder.valid()) return CommandPath::cannotRead(argument, errno);
        if (int status = CommandPath::enterable(argument, path); status != 0) return status;
    }
    ScanControl control;
    control.countWithoutSharing(); // it shows no shared figure
    const FileWalker::Options options; // the standard values, nothing excluded
    const ScanNodePtr node = FileWalker::walk(path, control, options);
    if (!node) return CommandPath::missing(argument, path);
    if (node->accessDenied) return CommandPath::cannotRead(argument, EACCES); // closed between the look and the walk
    // Holding nothing but refused folders, it has no figure to hold against du.
    const bool nothingRead = readingOf(*node) == Reading::none;
    std::string out = nothingRead
                          ? std::string("not readable by this user\n")
                          : std::to_string(node->size) + " bytes  " + std::to_string(node->size / 1024) + " KiB  " +
                                Bytes::format(node->size) + "  " + counted(node->fileCount, "file") + "\n";
    const size_t shown = std::min<size_t>(node->children.size(), 15);
    for (size_t i = 0; i < shown; ++i) {
        const ScanNode& child = *node->children[i];
        const Reading reading = readingOf(child);
        char figure[64];
        std::snprintf(figure, sizeof figure, "  %12" PRId64 " KiB  ", child.size / 1024);
        // A folder nothing of which was read has no figure, only the dash in its column.
        out += reading == Reading::none ? "  " + std::string(11, ' ') + "\u2014      " : std::string(figure);
        out += printable(child.name);
        if (reading == Reading::none) out += "  (not readable by this user)";
        else if (child.unreadableFolders > 0) out += "  (" + CommandPath::unreadableNote(child.unreadableFolders) + ")";
        out += '\n';
    }
    // The first line stays the one to hold against du; what it leaves out comes last.
    if (node->unreadableFolders > 0)
        out += "Not counted: " + CommandPath::unreadableNote(node->unreadableFolders) + "\n";
    if (const int64_t mounts = control.otherMounts(); mounts > 0)
        out += "Not counted: " + CommandPath::mountedNote(mounts) + "\n";
    if (int status = ReportOutput::emit(out); status != 0) return status;
    return nothingRead ? CommandPath::nothingReadUnder(argument) : 0;
}

} // namespace sorvel::HeadlessReport
