#pragma once
// One file or folder an app left in a Library folder, with the evidence that ties it to
// the app.
#include <cstdint>
#include <string>

namespace sorvel {

struct AppLeftover {
    /// Why the entry belongs to the app.
    struct Match {
        enum class Kind { identifierPrefix, exactIdentifier, appName, theBundle };
        Kind kind = Kind::exactIdentifier;
        std::string appName; // identifierPrefix only: the owning app's name

        static Match identifierPrefix(std::string name) { return {Kind::identifierPrefix, std::move(name)}; }
        static Match exactIdentifier() { return {Kind::exactIdentifier, {}}; }
        static Match appNameMatch() { return {Kind::appName, {}}; }
        static Match theBundle() { return {Kind::theBundle, {}}; }

        /// The evidence as the user reads it ("belongs to " + the app's name, ...).
        std::string description() const;
        friend bool operator==(const Match&, const Match&) = default;
    };

    std::string path; // location folder + "/" + entry name
    int64_t size = 0; // allocated bytes, at least 1
    std::string kind; // the location's label, such as "Preferences"
    Match match;
    bool requiresAdministrator = false;
    /// Some folder inside it refused this user: its size is a lower bound.
    bool partlyRead = false;
    /// Matched by less than the app's whole identifier while an app of unknown identity is
    /// installed: it may be that app's, so it is not taken as this one's for sure.
    bool ownerInDoubt = false;

    const std::string& id() const { return path; }
    friend bool operator==(const AppLeftover&, const AppLeftover&) = default;
};

} // namespace sorvel
