#pragma once
// One application bundle found in an application folder: what it is, what it occupies,
// whether it can go, and what it left in the Library folders.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/AppLeftover.h"
#include "engine/Reading.h"
#include "platform/Date.h"

namespace sorvel {

struct InstalledApp {
    struct Removability {
        enum class Kind { sealed, needsAdministrator, removable, selfProtected };
        Kind kind = Kind::removable;
        std::string reason; // sealed only: why nothing can remove it
        // needsAdministrator only: the owning account's name ("uid N" without one); empty
        // when not known.
        std::string owner;

        static Removability sealed(std::string why) { return {Kind::sealed, std::move(why), {}}; }
        static Removability needsAdministrator(std::string owner = {}) {
            return {Kind::needsAdministrator, {}, std::move(owner)};
        }
        static Removability removable() { return {Kind::removable, {}, {}}; }
        static Removability selfProtected() { return {Kind::selfProtected, {}, {}}; }
        friend bool operator==(const Removability&, const Removability&) = default;
    };

    std::string name;       // bundle file name without ".app"
    std::string bundlePath; // folder + "/" + bundle file name, as listed
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> version;
    int64_t bundleSize = 0; // allocated bytes; 0 until sized, and when not readable
    /// False when this user may not look inside the bundle: its size is then not known,
    /// and bundleSize (0) is no figure to show or add.
    bool bundleReadable = true;
    /// Some folder inside the bundle refused this user: bundleSize is a lower bound.
    bool bundlePartlyRead = false;
    /// Its Info.plist is there but refused: no identifier or version was read, so nothing
    /// was matched by identifier.
    bool infoRefused = false;
    /// Its identifier could not be read (its Info.plist refused or malformed): installed
    /// all the same, of unknown identity, so what its identifier would name is not known.
    bool identityUnread = false;
    std::optional<Date> lastUsed;
    Removability removability;
    std::vector<AppLeftover> leftovers;

    const std::string& id() const { return bundlePath; }
    Reading bundleReading() const {
        return !bundleReadable ? Reading::none : bundlePartlyRead ? Reading::partial : Reading::whole;
    }
    int64_t leftoverSize() const {
        int64_t total = 0;
        for (const auto& leftover : leftovers) total += leftover.size;
        return total;
    }
    friend bool operator==(const InstalledApp&, const InstalledApp&) = default;
};

} // namespace sorvel
