#pragma once
// What resolving absolute paths went through: each step as lstat found it (a link's text
// too), so whether they all resolve alike now is told with one lstat a step and one
// readlink a link, instead of resolving them again.
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>

#include "platform/FileIdentity.h"

namespace sorvel {

class PathTrace {
public:
    /// Follows the path as the kernel would, each step noted; a step that does not exist
    /// (or cannot be looked at) is noted as such and ends it. Returns where it led: its
    /// existing part resolved, the rest as written.
    std::string add(const std::string& path);

    /// Whether every step noted is still as it was: the same object of the same kind, a
    /// link with the same text, a missing one still missing.
    bool unchanged() const;

    bool empty() const { return steps_.empty(); }
    size_t size() const { return steps_.size(); }

private:
    struct Step {
        std::optional<FileIdentity> identity; // none: not there
        mode_t type = 0;
        std::string link;
        friend bool operator==(const Step&, const Step&) = default;
    };
    static Step look(const std::string& path);
    std::map<std::string, Step> steps_;
};

} // namespace sorvel
