#include "platform/LinkedPlace.h"

#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "platform/LinuxPlaces.h"
#include "platform/Path.h"
#include "platform/UserDirs.h"

namespace sorvel {
namespace {

bool touches(const std::string& a, const std::string& b) { return isPathInside(a, b) || isPathInside(b, a); }

bool usable(const std::string& spelling) { return spelling.size() > 1 && spelling[0] == '/'; }

} // namespace

bool isRuleFolder(const std::string& folder) {
    const std::string path = standardizePath(folder);
    if (path == standardizePath(LinuxPlaces::cacheHome()) || path == standardizePath(LinuxPlaces::flatpakApps()) ||
        path == standardizePath(LinuxPlaces::snapApps()))
        return true;
    const auto developer = LinuxPlaces::developerFolders();
    return std::any_of(developer.begin(), developer.end(), [&](const LinuxPlaces::DeveloperFolder& f) {
        return !f.review && standardizePath(f.path) == path;
    });
}

std::optional<std::string> placeBehindLink(const std::string& folder, const std::string& home) {
    const OwnPlace own = ownPlace(folder, home);
    if (own.path) return std::nullopt; // no link on its way
    // Both where the link on its way leads and where the folder lies are judged: the folder
    // may lie apart from the user's own only by lying elsewhere than the link leads.
    const auto leadsTo = resolvedPath(own.link);
    const auto real = resolvedPath(folder);
    struct stat st;
    if (!leadsTo || !real || ::stat(real->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
    // A place elsewhere in the home (~/.cache leading to ~/big/cache) is one of its own too;
    // the home itself, or a folder holding it, is not.
    const auto homes = writtenAndResolved(standardizePath(home));
    std::vector<std::string> users;
    for (const auto& user : UserDirs::userFolders())
        for (auto& spelling : writtenAndResolved(user)) users.push_back(std::move(spelling));
    for (const auto& place : {*leadsTo, *real}) {
        if (place == "/") return std::nullopt;
        for (const auto& spelling : homes)
            if (usable(spelling) && isPathInside(spelling, place)) return std::nullopt;
        for (const auto& spelling : users)
            if (usable(spelling) && touches(place, spelling)) return std::nullopt;
    }
    return real;
}

} // namespace sorvel
