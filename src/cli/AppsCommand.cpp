#include "cli/AppsCommand.h"

#include <algorithm>

#include "analysis/AppInventory.h"
#include "cli/CommandPath.h"
#include "cli/HeadlessReport.h"
#include "cli/ReportOutput.h"
#include "cli/TextLayout.h"
#include "cli/TextWrap.h"
#include "engine/InstalledApps.h"
#include "engine/Bytes.h"
#include "platform/Path.h"
#include "platform/Text.h"

namespace sorvel::HeadlessReport {
namespace {

using TextLayout::fitted;
using TextLayout::leftPadded;
using TextLayout::rightPadded;
using TextLayout::shown;
using TextLayout::shownPath;
using TextLayout::tailFitted;

bool listed(const InstalledApp& app) {
    using Kind = InstalledApp::Removability::Kind;
    return app.removability.kind == Kind::needsAdministrator || app.removability.kind == Kind::removable;
}

bool needsAdmin(const InstalledApp& app) {
    return app.removability.kind == InstalledApp::Removability::Kind::needsAdministrator;
}

// The unread apps that are folders of apps, not bundles: those would not list.
std::vector<std::string> unlistedFolders(const std::vector<InstalledApp>& apps, const std::vector<std::string>& unread) {
    std::vector<std::string> folders;
    for (const auto& path : unread) {
        const bool bundle =
            std::any_of(apps.begin(), apps.end(), [&path](const InstalledApp& app) { return app.bundlePath == path; });
        if (!bundle) folders.push_back(path);
    }
    return folders;
}

std::string unlistedNote(const std::vector<std::string>& folders) {
    std::string names;
    for (size_t i = 0; i < folders.size(); ++i)
        names += (i == 0 ? "" : i + 1 == folders.size() ? " and " : ", ") + tildeAbbreviated(folders[i]);
    const bool one = folders.size() == 1;
    return std::string(one ? "The apps folder " : "The apps folders ") + names +
           " could not be read by this user: the apps in " + (one ? "it" : "them") + " are not counted.";
}

} // namespace

std::string appsReport(const std::vector<InstalledApp>& apps, int64_t unreadableFolders,
                       const std::vector<std::string>& unreadApps) {
    std::string out;
    auto line = [&out](const std::string& text) { out += text + "\n"; };

    std::vector<const InstalledApp*> shownApps;
    size_t admin = 0;
    for (const auto& app : apps) {
        if (!listed(app)) continue;
        shownApps.push_back(&app);
        if (needsAdmin(app)) ++admin;
    }
    // A folder of apps that would not list holds apps nobody counted: the counts and the
    // total are of the folders read, and say so before any figure.
    const std::vector<std::string> unlisted = unlistedFolders(apps, unreadApps);
    if (!unlisted.empty()) line(wrap(shown(unlistedNote(unlisted)), "  ", 74));
    line("  " + counted(int64_t(apps.size()), "app") + (unlisted.empty() ? "" : " in the folders read") + ", " +
         std::to_string(shownApps.size()) + " listed, " + std::to_string(admin) +
         " needing an administrator to remove\n");

    int64_t outside = 0;
    for (size_t i = 0; i < shownApps.size(); ++i) {
        const InstalledApp& app = *shownApps[i];
        const int64_t leftoverBytes = app.leftoverSize();
        outside += leftoverBytes;
        if (i >= kAppsListed) continue;

        std::string title = shown(app.name);
        if (app.version) title += " " + shown(*app.version);
        // A bundle this user may not look inside has no size to add its leftovers to.
        const std::string size = app.bundleReadable ? leftPadded(Bytes::format(app.bundleSize + leftoverBytes), 11) + "   "
                                                    : leftPadded("not readable", 12) + "  ";
        line("  " + fitted(title, 34) + size + shownPath(app.bundlePath) + (needsAdmin(app) ? "  [admin]" : "") +
             (app.bundlePartlyRead ? "  (partly read)" : ""));

        const size_t count = app.leftovers.size();
        if (count == 0) continue;
        line("      " + rightPadded(std::to_string(count) + " leftover file" + (count == 1 ? "" : "s"), 30) +
             Bytes::format(leftoverBytes));
        for (size_t k = 0; k < count && k < kLeftoverRows; ++k) {
            const AppLeftover& leftover = app.leftovers[k];
            line("        \u00b7 " + rightPadded(tailFitted(shownPath(leftover.path), 56), 58) +
                 leftPadded(Bytes::format(leftover.size), 10) + "  " + shown(leftover.match.description()) +
                 (leftover.requiresAdministrator ? " (needs admin)" : "") + (leftover.partlyRead ? " (partly read)" : "") +
                 (leftover.ownerInDoubt ? " (may be an unread app's)" : ""));
        }
        if (count > kLeftoverRows) line("        \u00b7 + " + std::to_string(count - kLeftoverRows) + " more");
    }

    line("\n  " + Bytes::format(outside) +
         (unlisted.empty() ? " sits outside the app bundles themselves." : " sits outside the bundles of the apps read."));
    if (unreadableFolders > 0) line("  Not counted: " + CommandPath::unreadableNote(unreadableFolders));
    if (!unreadApps.empty())
        line(wrap(shown(unreadAppsNote(unreadApps)) + ", so a support file matched only by name or by the start of an "
                                                      "identifier may be one of theirs.",
                  "  ", 74));
    line("  Sorvel never removes anything from this command.\n");
    return out;
}

int apps() {
    // With no place readable there is no inventory to speak of, only the refusal.
    const AppInventory::Places places = AppInventory::Places::standard();
    const AppInventory::PlaceAccess access = AppInventory::placeAccess(places);
    if (access.read == 0 && !access.unreadable.empty()) return CommandPath::nothingReadable(access.unreadable.front());
    // The banner goes out before the scan, which can take a while.
    if (int status = ReportOutput::emit("\n  Scanning applications\u2026\n\n"); status != 0) return status;
    ScanControl control;
    std::vector<std::string> unreadApps;
    const auto apps = AppInventory::scan(control, places, unreadApps);
    return ReportOutput::emit(
        appsReport(apps, static_cast<int64_t>(access.unreadable.size()) + control.unreadableFolders(), unreadApps));
}

} // namespace sorvel::HeadlessReport
