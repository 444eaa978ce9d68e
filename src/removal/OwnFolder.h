#pragma once
// Folders a user adds to sweeps. A sweep takes everything inside an own folder, so one
// that holds the home folder ("/", "/home", the home itself) would take the user's
// documents, and Sorvel's own store with them: such a folder is never swept.
#include <optional>
#include <string>

namespace sorvel::OwnFolder {

/// None when the folder may be swept; else a sentence for the user saying why not.
/// Compared as written and with links resolved, against the home folder read now (a home
/// that is not an absolute path refuses every folder), and by identity and place against
/// the protected places and the trash folders.
std::optional<std::string> refusal(const std::string& folder);

} // namespace sorvel::OwnFolder
