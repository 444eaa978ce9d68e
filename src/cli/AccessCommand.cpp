#include <cstdio>
#include <string>

#include "cli/HeadlessReport.h"
#include "engine/VolumeProbe.h"
#include "platform/Text.h"

namespace sorvel::HeadlessReport {

int access() {
    const std::string report = validUTF8(VolumeProbe::describeAccess()) + "\n";
    std::fwrite(report.data(), 1, report.size(), stdout);
    std::fflush(stdout);
    return 0;
}

} // namespace sorvel::HeadlessReport
