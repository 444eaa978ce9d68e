#include <string>

#include "cli/HeadlessReport.h"
#include "cli/ReportOutput.h"
#include "engine/VolumeProbe.h"
#include "platform/Text.h"

namespace sorvel::HeadlessReport {

int access() {
    return ReportOutput::emit(validUTF8(VolumeProbe::describeAccess()) + "\n");
}

} // namespace sorvel::HeadlessReport
