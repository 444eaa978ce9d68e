#include "analysis/AppLeftover.h"

namespace sorvel {

std::string AppLeftover::Match::description() const {
    switch (kind) {
    case Kind::identifierPrefix:
        return "belongs to " + appName;
    case Kind::exactIdentifier:
        return "exact bundle identifier match";
    case Kind::appName:
        return "matches the app's name";
    case Kind::theBundle:
        break;
    }
    return "the application itself";
}

} // namespace sorvel
