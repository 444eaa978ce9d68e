#pragma once
// Which applications are running, as bundle identifiers. A process counts as an
// application when its executable lies inside an ".app" bundle; the innermost bundle
// names it, read from the bundle's Contents/Info.plist.
#include <string>
#include <vector>

namespace sorvel::RunningApplications {

/// Bundle identifiers of the running applications, in process-table order. `procRoot`
/// is the process table to read (tests point it at a fake one).
std::vector<std::string> bundleIdentifiers(const std::string &procRoot = "/proc");

/// The innermost ".app" folder that holds the executable path, or "" when none does.
std::string enclosingBundle(const std::string &executablePath);

} // namespace sorvel::RunningApplications
