#pragma once
// `--docker`: what Docker holds, with the prune commands printed, never run.
#include <string>

#include "analysis/DockerInspector.h"

namespace sorvel::HeadlessReport {

/// The state as the report names it.
std::string dockerStateLabel(DockerUsage::State state);
/// The whole report, every line ending in a line break.
std::string dockerReport(const DockerUsage& usage);

} // namespace sorvel::HeadlessReport
