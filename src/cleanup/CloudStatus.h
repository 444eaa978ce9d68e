#pragma once
// Which iCloud services are on, inferred from local files only, and how sure that is.
#include <optional>
#include <string>
#include <vector>

#include "platform/Date.h"

namespace sorvel {

enum class CloudState { on, off, unknown };

struct CloudService {
    std::string name;
    CloudState state = CloudState::unknown;
    bool isDefinitive = false;
    std::vector<std::string> evidence;
    friend bool operator==(const CloudService &, const CloudService &) = default;
};

struct CloudStatus {
    struct Caveat {
        std::string text;
        bool isBlocking = false;
    };

    std::optional<std::string> accountID;
    /// The account list is there but could not be read: no account is not known either.
    bool accountUnreadable = false;
    CloudService messages;
    CloudService desktopAndDocuments;
    CloudService photos;
    bool driveEnabled = false;

    /// How the service's state is known, for a parenthesis: read from the account's
    /// settings, ruled out by there being no account on this computer, or inferred.
    std::string howKnown(const CloudService &service) const;
    /// A warning for a path under ~/Library/Messages; none for any other path. It blocks
    /// unless Messages in iCloud is known to be off.
    std::optional<Caveat> caveat(const std::string &path) const;
    friend bool operator==(const CloudStatus &, const CloudStatus &) = default;
};

namespace CloudDetector {
CloudStatus detect();
/// The same, measuring the Messages log's age against `now`.
CloudStatus detect(Date now);
} // namespace CloudDetector

} // namespace sorvel
