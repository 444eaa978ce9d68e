#include "platform/SystemConfiguration.h"

#include <unistd.h>

namespace sorvel {

size_t configurationString(int name, char* buffer, size_t length) {
    if (name == kConfigurationUserTempDirectory || name == kConfigurationUserCacheDirectory)
        return 0;
    return ::confstr(name, buffer, length);
}

} // namespace sorvel
