#include "removal/OwnFolder.h"

#include <cstdlib>

#include "engine/PathText.h"
#include "platform/Path.h"
#include "platform/Text.h"

namespace sorvel::OwnFolder {
namespace {

// The path as written and, when it exists, where its links lead.
std::vector<std::string> spellings(const std::string& path) {
    std::vector<std::string> out{path};
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        if (path != resolved) out.emplace_back(resolved);
        std::free(resolved);
    }
    return out;
}

} // namespace

std::optional<std::string> refusal(const std::string& folder) {
    const std::string path = standardizePath(folder);
    if (path.empty() || path[0] != '/') return std::nullopt;
    const std::string home = standardizePath(homeDirectory());
    if (home.empty() || home[0] != '/') return std::nullopt;

    bool holdsHome = false;
    bool isHome = false;
    for (const auto& form : spellings(path)) {
        for (const auto& homeForm : spellings(home)) {
            if (isPathInside(homeForm, form)) {
                holdsHome = true;
                isHome = isHome || form == homeForm;
            }
        }
    }
    if (!holdsHome) return std::nullopt;
    const std::string shown = "\u201C" + validUTF8(isHome ? path : tildeAbbreviated(path)) + "\u201D";
    if (isHome) return shown + " is your home folder, so Sorvel can't sweep it. Add a folder inside it instead.";
    return shown + " holds your home folder, so Sorvel can't sweep it. Add a folder inside your home instead.";
}

std::vector<std::string> sweepable(const std::vector<std::string>& folders, std::vector<std::string>& refused) {
    std::vector<std::string> kept;
    for (const auto& folder : folders) {
        if (auto reason = refusal(folder)) refused.push_back(std::move(*reason));
        else kept.push_back(folder);
    }
    return kept;
}

} // namespace sorvel::OwnFolder
