#pragma once
// What the hidden-folders banner says: the folders the scan could not read, by name.
#include <string>
#include <vector>

#include "engine/ScanResult.h"

namespace sorvel::ui::HiddenFolders {

/// The folders the last scan could not read, in category order: each refused folder the
/// tree holds, or, for refusals below what it keeps, the deepest folder it keeps over them.
std::vector<std::string> of(const ScanResult& result);

/// "/var/cache and /var/log", "~/a, ~/b, ~/c and 2 more folders"; "some folders" for none.
std::string named(const std::vector<std::string>& folders);

/// The banner's body where there is no access to grant: what could not be read, and that
/// only an account that may read it can measure it.
std::string ungrantableText(const std::vector<std::string>& folders);

} // namespace sorvel::ui::HiddenFolders
