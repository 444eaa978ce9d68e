#include "platform/ProcessInfo.h"

#include <sys/utsname.h>

namespace sorvel::ProcessInfo {

OperatingSystemVersion operatingSystemVersion() {
    OperatingSystemVersion version;
    struct utsname names {};
    if (::uname(&names) != 0) return version;
    int64_t* parts[] = {&version.major, &version.minor, &version.patch};
    const char* c = names.release;
    for (int64_t* part : parts) {
        if (*c < '0' || *c > '9') break;
        int64_t value = 0;
        while (*c >= '0' && *c <= '9') {
            if (value < 1'000'000'000) value = value * 10 + (*c - '0');
            ++c;
        }
        *part = value;
        if (*c != '.') break;
        ++c;
    }
    return version;
}

} // namespace sorvel::ProcessInfo
