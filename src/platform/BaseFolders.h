#pragma once
// The XDG base folders (cache, data, settings, state). A variable's value is taken only
// where it is safe for its kind of data: an absolute path that is neither the home nor holds
// it, is not, holds or lies in a user folder or a protected place, and is not and holds no
// other base folder (nor lies in the cache or settings folder unless it is the cache). A
// value that fails is set aside, its default stands, and the reason is kept to be said.
// Places are compared by what they are (links, "..", bind mounts), never by their text.
#include <string>
#include <vector>

namespace sorvel::BaseFolders {

enum class Base { cache, data, config, state };
inline constexpr Base kAllBases[] = {Base::cache, Base::data, Base::config, Base::state};

/// "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME".
const char* variable(Base base);
/// ~/.cache, ~/.local/share, ~/.config, ~/.local/state.
std::string defaultFolder(Base base);
/// The folder used: the variable's value (standardised) where it stands, else the default.
std::string folder(Base base);

/// A value of the environment that was not taken.
struct SetAside {
    std::string variable;
    std::string value;  ///< as the environment gives it
    std::string reason; ///< "it is the home folder"
    std::string used;   ///< the default that stands in its place
    friend bool operator==(const SetAside&, const SetAside&) = default;
};
/// Every value set aside now, one per variable, in the order of kAllBases.
std::vector<SetAside> setAside();
/// Settings, data or state folders whose value was set aside for lying inside the cache
/// folder used: apps still keep their files there, so nothing may move them as caches.
std::vector<std::string> setAsideInsideCaches();
/// "XDG_CACHE_HOME (/home/ann/) was set aside: it is the home folder. Sorvel uses ~/.cache."
std::string sentence(const SetAside& value);

} // namespace sorvel::BaseFolders
