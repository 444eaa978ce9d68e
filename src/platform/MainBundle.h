#pragma once
// Where the running program lives. This platform has no application bundles, so the
// folder that holds the executable stands in for the bundle path.
#include <string>

namespace sorvel {

/// The folder of the running executable; empty when it cannot be found.
std::string mainBundlePath();

} // namespace sorvel
