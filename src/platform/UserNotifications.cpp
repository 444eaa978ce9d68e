#include "platform/UserNotifications.h"

#include "platform/UUID.h"

namespace sorvel::UserNotifications {
namespace {

class Silent final : public Center {
public:
    bool requestAuthorization() override { return false; }
    bool add(const Request&) override { return false; }
};

} // namespace

Request Request::make(std::string body) {
    return Request{UUID::random().uuidString(), "Sorvel", std::move(body)};
}

std::shared_ptr<Center> none() { return std::make_shared<Silent>(); }

bool post(Center& center, const Request& request) {
    if (!center.requestAuthorization()) return false;
    return center.add(request);
}

} // namespace sorvel::UserNotifications
