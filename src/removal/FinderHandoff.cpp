#include "removal/FinderHandoff.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <string_view>
#include <sys/stat.h>
#include <vector>

#include "platform/Path.h"
#include "platform/ProcessRunner.h"
#include "platform/Text.h"
#include "platform/TrashRecords.h"

namespace sorvel::FinderHandoff {
namespace {

// White space and line breaks, the Unicode ones included, as UTF-8.
const std::vector<std::string_view>& blanks() {
    static const std::vector<std::string_view> list = {
        " ", "\t", "\n", "\r", "\v", "\f", "\xC2\x85", "\xC2\xA0", "\xE1\x9A\x80", "\xE2\x80\x80",
        "\xE2\x80\x81", "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86",
        "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9",
        "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80"};
    return list;
}

std::string trimmed(std::string_view text) {
    bool changed = true;
    while (changed && !text.empty()) {
        changed = false;
        for (auto blank : blanks()) {
            if (text.size() >= blank.size() && text.substr(0, blank.size()) == blank) {
                text.remove_prefix(blank.size());
                changed = true;
            }
            if (text.size() >= blank.size() && text.substr(text.size() - blank.size()) == blank) {
                text.remove_suffix(blank.size());
                changed = true;
            }
        }
    }
    return std::string(text);
}

std::string lowercasedASCII(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string decoded(const std::string& bytes) { return isValidUTF8(bytes) ? bytes : std::string(); }

} // namespace

std::string Failure::description() const {
    switch (kind) {
    case Kind::refused:
        return "Refused: " + (refusal ? refusal->description() : std::string());
    case Kind::finderFailed:
        return message;
    case Kind::notPermitted:
        return "macOS has not granted Sorvel permission to control the Finder. Allow it under System Settings → "
               "Privacy & Security → Automation.";
    }
    return {};
}

const std::string& script() {
    static const std::string text = "on run argv\n"
                                    "    set sorvelItem to (POSIX file (item 1 of argv)) as alias\n"
                                    "    tell application \"Finder\" to delete sorvelItem\n"
                                    "end run";
    return text;
}

bool isAvailable(const std::string& runner) { return ProcessRunner::isExecutableFile(runner); }

Outcome moveToTrash(const std::string& path, const CleanupPolicy& policy) {
    return moveToTrash(path, policy, kScriptRunner);
}

Outcome moveToTrash(const std::string& path, const CleanupPolicy& policy, const std::string& runner) {
    const CleanupGuard::Judgement judged = CleanupGuard::judge(path, 0, policy, std::nullopt);
    if (judged.refusal) return Failure::refusedBy(*judged.refusal);

    // The Finder gets exactly the text the guard judged, never the caller's spelling.
    const std::optional<Trash::Identity> before = Trash::identityOf(judged.path);
    ProcessRunner::Options options;
    options.deadline = std::chrono::hours(24); // the user may sit in the password prompt
    const ProcessRunner::Result run = ProcessRunner::run(runner, {"-e", script(), judged.path}, options);
    if (!run.launched) {
        return Failure::finderFailed("The Finder could not be asked to move the item, because the script runner " +
                                     validUTF8(runner) + " could not be started.");
    }
    if (run.timedOut) return Failure::finderFailed("The Finder did not answer, so the item was left where it is.");

    const std::string out = decoded(run.out);
    const std::string err = decoded(run.err);
    if (run.signal == 0 && run.exitStatus == 0) {
        // A reply that names no place: the Trash's own record of the item may still say.
        std::optional<std::string> place = trashPath(out);
        if (!place) place = Trash::findMoved(judged.path, before);
        return Result{judged.path, std::move(place)};
    }

    if (err.find("-1743") != std::string::npos) return Failure::notPermitted();
    if (lowercasedASCII(err).find("not authorized") != std::string::npos) return Failure::notPermitted();
    std::string text = trimmed(err);
    if (text.empty()) text = "The Finder declined.";
    return Failure::finderFailed(text);
}

std::optional<std::string> trashPath(const std::string& finderReply) {
    const std::string text = trimmed(finderReply);
    if (text.find(".Trash") == std::string::npos) return std::nullopt;
    const size_t of = text.find(" of ");
    if (of == std::string::npos) return std::nullopt;
    std::string name = text.substr(0, of);
    for (const char* type : {"document file ", "folder ", "application file ", "file ", "alias file "}) {
        const std::string_view prefix(type);
        if (name.compare(0, prefix.size(), prefix) == 0) {
            name.erase(0, prefix.size());
            break;
        }
    }
    const size_t first = name.find_first_not_of('"');
    if (first == std::string::npos) return std::nullopt;
    name = name.substr(first, name.find_last_not_of('"') - first + 1);
    // The name is joined to the Trash folder: it must stay one entry inside it.
    if (name == "." || name == ".." || name.find('/') != std::string::npos || name.find('\0') != std::string::npos)
        return std::nullopt;
    const std::string candidate = homeDirectory() + "/.Trash/" + name;
    struct stat st;
    if (::stat(candidate.c_str(), &st) != 0) return std::nullopt;
    return candidate;
}

} // namespace sorvel::FinderHandoff
