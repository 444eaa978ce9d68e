#include "ui/tools/UninstallerRules.h"

#include <algorithm>

#include "engine/Bytes.h"
#include "platform/Path.h"
#include "ui/tools/RelativeDate.h"
#include "platform/Text.h"

namespace sorvel::UninstallerRules {
namespace {
using Kind = InstalledApp::Removability::Kind;
using Stage = AppsModel::Stage;

std::string plural(size_t count, const std::string& word) { return counted(int64_t(count), word); }
} // namespace

namespace {
std::string joined(const std::vector<std::string>& folders, const char* last) {
    std::string text;
    for (size_t i = 0; i < folders.size(); ++i)
        text += (i == 0 ? "" : i + 1 == folders.size() ? last : ", ") + tildeAbbreviated(folders[i]);
    return text;
}
} // namespace

std::string emptyListText(size_t found, const AppsModel::Looked& looked) {
    if (found > 0)
        return "Sorvel found " + counted(int64_t(found), "app") + ", none of which it can remove: apps of the system "
               "and Sorvel itself are never listed.";
    if (!looked.unreadable.empty())
        return "No apps are listed: this user may not read " + joined(looked.unreadable, " and ") +
               ", where apps are looked for.";
    if (looked.searched.empty()) return "No apps are listed: there was no folder to look for apps in.";
    return "No apps are listed: no app bundle was found in " + joined(looked.searched, " or ") +
           ". Flatpak and snap apps are not listed as apps.";
}

bool isRunning(const InstalledApp& app, const std::vector<std::string>& runningIdentifiers) {
    if (!app.bundleIdentifier) return false;
    return std::find(runningIdentifiers.begin(), runningIdentifiers.end(), *app.bundleIdentifier) !=
           runningIdentifiers.end();
}

std::string subtitle(const InstalledApp& app, Date now) {
    std::vector<std::string> parts;
    if (app.version) parts.push_back(*app.version);
    // Without its identifier only leftovers named after the app were looked for: no count
    // of "0" stands for the ones never looked for.
    if (app.infoRefused || app.identityUnread) {
        if (!app.leftovers.empty()) parts.push_back(plural(app.leftovers.size(), "support file") + " by name");
        parts.push_back("identifier not readable");
    } else {
        parts.push_back(plural(app.leftovers.size(), "support file"));
    }
    if (app.lastUsed) parts.push_back("last opened " + RelativeDate::full(*app.lastUsed, now));
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) text += (i ? " \u00B7 " : "") + parts[i];
    return text;
}

RemovabilityBlock removabilityBlock(const InstalledApp& app) {
    const std::string title = "Sorvel cannot move " + app.name + " itself";
    switch (app.removability.kind) {
    case Kind::removable: return {};
    case Kind::needsAdministrator: return {RemovabilityBlock::Kind::handoff, {}, {}};
    case Kind::sealed: return {RemovabilityBlock::Kind::warning, title, app.removability.reason};
    case Kind::selfProtected: return {RemovabilityBlock::Kind::warning, title, "this is Sorvel"};
    }
    return {};
}

std::optional<int64_t> listedSize(const InstalledApp& app) {
    if (!app.bundleReadable) return std::nullopt;
    return app.bundleSize + app.leftoverSize();
}

Row bundleRow(const InstalledApp& app) {
    return {app.bundlePath, app.bundleSize, app.bundleReadable, "Application",
            app.bundlePartlyRead ? "the application itself \u00B7 part of it is not readable by this user, so its "
                                   "size is a lower bound"
                                 : "the application itself",
            true, app.removability.kind != Kind::removable};
}

Row leftoverRow(const AppLeftover& leftover) {
    std::string reason = leftover.match.description();
    if (leftover.partlyRead) reason += " \u00B7 part of it is not readable by this user";
    if (leftover.ownerInDoubt) reason += std::string(" \u00B7 ") + kOwnerInDoubt;
    return {leftover.path,
            leftover.size,
            true,
            leftover.kind,
            std::move(reason),
            leftover.match.kind != AppLeftover::Match::Kind::appName && !leftover.ownerInDoubt,
            leftover.requiresAdministrator};
}

std::string selectionCount(size_t count) { return plural(count, "item") + " selected"; }

// How much of what lies at `path` was read: the bundle's reading, a leftover's, else whole.
static Reading readingAt(const InstalledApp& app, const std::string& path) {
    const std::string standard = standardizePath(path);
    if (standard == standardizePath(app.bundlePath)) return app.bundleReading();
    for (const auto& leftover : app.leftovers)
        if (leftover.partlyRead && standardizePath(leftover.path) == standard) return Reading::partial;
    return Reading::whole;
}

std::string selectionSize(const InstalledApp& app, const std::vector<CleanupExecutor::PathSize>& targets) {
    int64_t total = 0;
    bool short_ = false, anyRead = targets.empty();
    for (const auto& target : targets) {
        total += target.size;
        const Reading reading = readingAt(app, target.path);
        short_ = short_ || reading != Reading::whole;
        anyRead = anyRead || reading != Reading::none;
    }
    if (!anyRead) return kNotReadable;
    return short_ ? "at least " + Bytes::format(total) : Bytes::format(total);
}

std::string noLeftoversText(const InstalledApp& app) {
    if (app.infoRefused)
        return "Nothing else on this computer matches this app's name. Its identifier is not readable by this "
               "user, so files named after it could not be looked for.";
    if (app.identityUnread)
        return "Nothing else on this computer matches this app's name. Its identifier could not be read, so files "
               "named after it could not be looked for.";
    return "Nothing else on this computer matches this app's identifier or name.";
}

bool reviewEnabled(size_t targetCount, bool running) { return targetCount > 0 && !running; }

static std::string ownership(const InstalledApp& app) {
    const std::string& owner = app.removability.owner;
    return "This bundle belongs to " + (owner.empty() ? std::string("another account") : "the account \u201C" + owner + "\u201D") +
           " and this user cannot write it";
}

Handoff handoff(const AppsModel::HandoffState& state, const InstalledApp& app, bool running, bool available) {
    using K = AppsModel::HandoffState::Kind;
    Handoff h;
    if (!available && (state.kind == K::idle || state.kind == K::failed)) {
        h.symbol = "hand.point.right";
        h.title = app.name + " needs an administrator";
        h.body = ownership(app) + ", and Sorvel cannot hand it to another program here, so an administrator must "
                 "remove it. The support files below are yours and Sorvel takes those itself.";
        h.enabled = false;
        return h;
    }
    switch (state.kind) {
    case K::idle:
        h.symbol = "hand.point.right";
        h.title = app.name + " needs an administrator";
        h.body = running ? "Quit " + app.name +
                               " first \u2014 removing a running app leaves it re-creating what was just cleared."
                         : ownership(app) + ", so Sorvel cannot move it. The Finder can: it will ask you for a "
                                            "password, move the app to the Trash, and Sorvel records it in History "
                                            "like any other removal. The support files below are yours and Sorvel "
                                            "takes those itself.";
        h.button = "Move with Finder\u2026";
        h.action = Handoff::Action::moveWithFinder;
        h.enabled = !running;
        break;
    case K::working:
        h.symbol = "hand.point.right";
        h.title = "The Finder is handling " + app.name;
        h.body = "Answer the Finder's password prompt. It moves the app to the Trash itself \u2014 Sorvel never "
                 "holds administrator rights.";
        h.button = "Waiting for the Finder\u2026";
        h.style = Handoff::Style::subtle;
        h.enabled = false;
        h.busy = true;
        break;
    case K::done:
        h.tone = Handoff::Tone::done;
        h.symbol = "checkmark.circle.fill";
        h.title = state.message;
        h.body = "Recoverable from the Trash until you empty it, and listed in History where it can be put back.";
        h.button = "Open Trash";
        h.style = Handoff::Style::subtle;
        h.action = Handoff::Action::openTrash;
        break;
    case K::failed:
        h.tone = Handoff::Tone::failed;
        h.symbol = "exclamationmark.triangle.fill";
        h.title = "That did not work";
        h.body = state.message;
        h.button = "Try again";
        h.action = Handoff::Action::moveWithFinder;
        h.enabled = !running;
        break;
    }
    return h;
}

OutcomeLook outcomeLook(const CleanupOutcome::Result& result) {
    if (std::holds_alternative<CleanupOutcome::MovedToTrash>(result))
        return {"checkmark.circle.fill", OutcomeLook::Tone::accent, "in the Trash \u2014 recoverable"};
    if (const auto* refused = std::get_if<CleanupOutcome::Refused>(&result))
        return {"hand.raised.fill", OutcomeLook::Tone::warning, "Refused: " + refused->refusal.description()};
    if (const auto* failed = std::get_if<CleanupOutcome::Failed>(&result))
        return {"exclamationmark.triangle.fill", OutcomeLook::Tone::rose, "Could not move: " + failed->message};
    return {"circle.dashed", OutcomeLook::Tone::tertiary, std::nullopt};
}

std::string allowedCaption(Stage stage) {
    return stage == Stage::done ? "Moved to the Trash" : "Will be moved to the Trash";
}

std::string reviewTitle(Stage stage, const InstalledApp& app, size_t allowedCount,
                        const std::vector<CleanupOutcome>& preview) {
    switch (stage) {
    case Stage::confirming: return "Move " + counted(int64_t(allowedCount), "item") + " to the Trash?";
    case Stage::working: return "Moving " + app.name + " to the Trash\u2026";
    case Stage::done: {
        size_t moved = 0;
        bool bundleMoved = false;
        for (const auto& outcome : preview) {
            if (!outcome.moved()) continue;
            ++moved;
            if (outcome.path == standardizePath(app.bundlePath)) bundleMoved = true;
        }
        if (bundleMoved) return app.name + " was moved to the Trash";
        if (moved == 0) return "Nothing of " + app.name + " was moved";
        return plural(moved, "item") + " of " + app.name + (moved == 1 ? " was" : " were") + " moved to the Trash";
    }
    default: return "Dry run \u2014 nothing has been moved";
    }
}

static std::string reviewSubtitle(Stage stage, const std::string& freed, bool atLeast = false);

std::string reviewSubtitle(Stage stage, const std::vector<CleanupOutcome>& preview) {
    return reviewSubtitle(stage, Bytes::format(CleanupExecutor::freed(preview)));
}

std::string reviewSubtitle(Stage stage, const std::vector<CleanupOutcome>& preview, const InstalledApp& app) {
    const bool short_ = std::any_of(preview.begin(), preview.end(), [&](const CleanupOutcome& o) {
        return readingAt(app, o.path) == Reading::none && (o.wouldMove() || o.moved());
    });
    const std::string freed = Bytes::format(CleanupExecutor::freed(preview));
    return reviewSubtitle(stage, freed, short_);
}

std::string outcomeSize(const InstalledApp& app, const CleanupOutcome& outcome) {
    return readingAt(app, outcome.path) == Reading::none ? kNotReadable : Bytes::format(outcome.size);
}

static std::string reviewSubtitle(Stage stage, const std::string& freed, bool atLeast) {
    switch (stage) {
    case Stage::confirming:
        return "These go to the Trash, not deleted. " + std::string(atLeast ? "At least " : "") + freed +
               " will be freed once you empty it.";
    case Stage::done:
        return (atLeast ? "At least " : "") + freed + " moved. Everything is recoverable from the Trash until you empty it, and it is all "
                       "listed in History.";
    default: return "Every path re-checked against the same guard a manual cleanup uses. Nothing has moved.";
    }
}

std::vector<FooterButton> reviewFooter(Stage stage, size_t allowedCount, bool isPreviewing) {
    using S = FooterButton::Style;
    using A = FooterButton::Action;
    switch (stage) {
    case Stage::reviewing:
        return {{"Back", S::subtle, A::back, true},
                {"Move to Trash\u2026", S::soft, A::confirm, allowedCount > 0 && !isPreviewing}};
    case Stage::confirming:
        return {{"Cancel", S::subtle, A::cancel, true},
                {"Move " + std::to_string(allowedCount) + " to Trash", S::accent, A::uninstall, true}};
    case Stage::working: return {{"Moving\u2026", S::soft, A::none, false, true}};
    default: return {{"Done", S::accent, A::done, true}};
    }
}

} // namespace sorvel::UninstallerRules
