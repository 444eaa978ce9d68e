#pragma once
// Notices to the user outside the window: a title and a body, delivered at once. The
// desktop's notification service does the showing; where there is none, nothing is shown
// and nothing fails.
#include <memory>
#include <string>

namespace sorvel::UserNotifications {

/// One notice, shown as soon as it is added.
struct Request {
    std::string identifier; // fresh for every notice
    std::string title;
    std::string body;

    /// A notice titled "Sorvel" with a fresh identifier.
    static Request make(std::string body);
};

/// Where notices go. Both steps are silent about failures: a refusal or a lost notice
/// only means the user is not told.
class Center {
public:
    virtual ~Center() = default;
    /// Whether alerts may be shown at all; false when there is no notification service.
    virtual bool requestAuthorization() = 0;
    /// Hands the notice over; false when it could not be added.
    virtual bool add(const Request& request) = 0;
};

/// A centre that shows nothing: used where the process has no desktop session.
std::shared_ptr<Center> none();

/// Asks for authorisation and, when granted, adds the notice. False when nothing was added.
bool post(Center& center, const Request& request);

} // namespace sorvel::UserNotifications
