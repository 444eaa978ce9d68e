#include "ui/tools/DuplicatesRules.h"

#include <algorithm>

#include "engine/Bytes.h"
#include "platform/Path.h"
#include "platform/Text.h"

namespace sorvel::DuplicatesRules {

Content content(DuplicatesModel::Stage stage) {
    using S = DuplicatesModel::Stage;
    switch (stage) {
    case S::idle: return Content::intro;
    case S::scanning: return Content::scanning;
    case S::results:
    case S::confirming: return Content::results;
    case S::working:
    case S::done: return Content::finished;
    }
    return Content::intro;
}

size_t visibleCards(const DuplicateFinder::Report& report, size_t shown) { return std::min(report.groups.size(), shown); }

std::optional<std::string> showMoreLabel(const DuplicateFinder::Report& report, size_t shown) {
    if (report.groups.size() <= shown) return std::nullopt;
    const size_t next = std::min(report.groups.size() - shown, kMaximumCards);
    return "Show " + std::to_string(next) + " more set" + (next == 1 ? "" : "s");
}

KindLook kindLook(DuplicateGroup::Kind kind) {
    using K = DuplicateGroup::Kind;
    switch (kind) {
    case K::independentCopies: return {"Separate copies", false, std::nullopt};
    case K::clones:
        return {"Reflinked clones \u2014 shared storage", true,
                "These were cloned, not copied \u2014 the filesystem stores the shared blocks once. Most duplicate "
                "finders would offer you this space twice. Deleting a copy frees only what it does not share."};
    case K::hardLinks:
        return {"Hard links \u2014 the same file", true,
                "Two names for one file on disk. Deleting a name frees nothing; the data goes only when the last "
                "name does."};
    case K::mixed: return {"Partly shared storage", false, std::nullopt};
    }
    return {};
}

std::string copiesLine(const DuplicateGroup& group) {
    return counted(int64_t(group.files.size()), "copy", "copies") + " \u00B7 " + Bytes::format(group.size) + " each";
}

std::string amount(const DuplicateFile& file, bool kept) {
    return kept ? "\u2014" : "frees " + Bytes::format(file.privateSize);
}

int64_t cardFigure(const DuplicateGroup& group, const std::map<std::string, std::string>& refused) {
    return group.reclaimableLeaving(refused);
}

std::string amount(const DuplicateGroup& group, size_t index, const std::map<std::string, std::string>& refused) {
    if (index == 0) return "\u2014";
    if (index < group.files.size() && refused.count(group.files[index].path)) return "never moved";
    return "frees " + Bytes::format(group.freedLeaving(index, refused));
}

std::optional<std::string> apparentNote(const DuplicateFinder::Report& report,
                                        const std::map<std::string, std::string>& refused) {
    const int64_t reclaimable = report.reclaimable();
    const int64_t apparent = report.apparentSaving();
    const int64_t shared = apparent - reclaimable;
    const int64_t kept = reclaimable - report.reclaimableLeaving(refused);
    if (shared < 1 && kept < 1) return std::nullopt;
    std::string note;
    if (shared >= 1) {
        // Clones are named only where the file system made some.
        const std::string those = report.hasClones()
                                      ? "Those copies are reflinked clones or hard links sharing their blocks"
                                      : "Those copies are hard links, more names of one file sharing its blocks";
        note = Bytes::format(shared) + " of that apparent saving does not exist. " + those +
               " \u2014 the filesystem already counts those bytes once, so removing a copy gives nothing back.";
    }
    if (kept < 1) return note + " Sorvel only offers you the difference.";
    const std::string copies = counted(report.copiesLeft(refused), "copy", "copies");
    note += (note.empty() ? Bytes::format(kept) + " of that apparent saving lies in "
                          : " " + Bytes::format(kept) + " more lies in ") +
            copies + " Sorvel never moves (a protected place, say); each says why under its path. Sorvel only "
            "offers you the rest.";
    return note;
}

std::optional<std::string> limitLine(const DuplicateFinder::Report& report) {
    if (!report.hitScanLimit) return std::nullopt;
    return "Stopped at " + counted(int64_t(report.filesScanned), "file") + ". Scan a narrower folder to cover everything.";
}

std::optional<std::string> unreadableLine(const DuplicateFinder::Report& report) {
    const std::string summary = report.unreadableSummary();
    if (summary.empty()) return std::nullopt;
    return summary + ", so no copies there could be looked for.";
}

std::vector<Figure> figures(const DuplicateFinder::Report& report, const std::map<std::string, std::string>& refused) {
    if (report.readNothing()) return {};
    // Only copies the guard lets move are given back: one left alone frees nothing.
    return {{Bytes::format(report.reclaimableLeaving(refused)), "genuinely reclaimable", Figure::Ink::accent},
            {Bytes::format(report.apparentSaving()), "what size alone suggests", Figure::Ink::secondary},
            {std::to_string(report.groups.size()), "duplicate sets", Figure::Ink::primary}};
}

std::string emptyLine(const DuplicateFinder::Report& report) {
    return report.readNothing() ? "Nothing in that folder could be read by this user, so no duplicates could be looked for."
                                : "No duplicate files over 1 MB in that folder.";
}

std::string selectedLine(size_t count) { return counted(int64_t(count), "copy", "copies") + " selected"; }

std::optional<std::string> apparentLine(int64_t selectedReclaimable, int64_t selectedApparent) {
    if (selectedApparent == selectedReclaimable) return std::nullopt;
    return "of " + Bytes::format(selectedApparent) + " apparent";
}

Done done(const std::vector<CleanupOutcome>& outcomes) {
    Done result;
    size_t moved = 0;
    std::vector<const CleanupOutcome*> left;
    for (const auto& outcome : outcomes) {
        if (outcome.moved() || outcome.wouldMove())
            ++moved;
        else
            left.push_back(&outcome);
    }
    result.title = "Moved " + counted(int64_t(moved), "copy", "copies") + " to the Trash";
    if (left.empty()) return result;
    result.leftAlone = std::to_string(left.size()) + (left.size() == 1 ? " copy was" : " copies were") +
                       " left alone:";
    for (const CleanupOutcome* outcome : left) {
        if (result.reasons.size() == kMaximumReasons) {
            ++result.moreReasons;
            continue;
        }
        std::string reason = outcome->refusal() ? "refused: " + outcome->refusal()->description()
                                                : "could not move: " + *outcome->failure();
        result.reasons.push_back(lastPathComponent(outcome->path) + " \u2014 " + reason);
    }
    return result;
}

} // namespace sorvel::DuplicatesRules
