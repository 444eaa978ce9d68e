#pragma once
// Where a Linux desktop keeps each kind of data that Sorvel's categories, rules, explainer,
// advice and policy also know by their ~/Library paths: one table that all of them read.
// Home places follow HOME and the XDG variables at each call; system places (/var/log,
// /var/cache, /var/lib/flatpak, /snap, /proc/swaps) are read under `systemRoot()`, the one
// seam that tests point at a fake tree.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvel::LinuxPlaces {

/// The prefix system places are read under: "" for the machine's own "/". Set for the
/// process by `setSystemRoot`, else by SORVEL_SYSTEM_ROOT when it is an absolute path.
std::string systemRoot();
/// Points system places at `root` for this process; none gives the choice back to the
/// environment.
void setSystemRoot(std::optional<std::string> root);

/// Holds a fake system root for as long as it lives (tests), then restores the previous.
class ScopedSystemRoot {
public:
    explicit ScopedSystemRoot(std::string root);
    ~ScopedSystemRoot();
    ScopedSystemRoot(const ScopedSystemRoot&) = delete;
    ScopedSystemRoot& operator=(const ScopedSystemRoot&) = delete;

private:
    std::optional<std::string> previous_;
};

// The XDG base folders: the variable's value where it is safe for its data, else its
// default (see BaseFolders, which also says which values were set aside and why).
std::string cacheHome();  ///< $XDG_CACHE_HOME, ~/.cache
std::string dataHome();   ///< $XDG_DATA_HOME, ~/.local/share
std::string configHome(); ///< $XDG_CONFIG_HOME, ~/.config
std::string stateHome();  ///< $XDG_STATE_HOME, ~/.local/state

std::string flatpakApps(); ///< ~/.var/app: one folder per Flatpak app the user ran
std::string snapApps();    ///< ~/snap: one folder per snap the user ran

/// The kinds of data the table sorts places into; each maps onto one storage category.
enum class Kind { caches, appSupport, containers, developer, mail, logs, swap, otherLibrary };

/// The Linux roots of one kind, in a fixed order. Home roots are listed whether or not they
/// exist (a scan skips the missing), but developer folders only when they exist, and swap
/// only as the files /proc/swaps lists. Flatpak apps' cache folders are listed one by one.
std::vector<std::string> roots(Kind kind);

/// Folders inside a root of `kind` that another kind measures or that are no data of the
/// kind (the Trash inside the data folder): a walk of `kind` leaves them out.
std::vector<std::string> carvedOut(Kind kind);

/// System places, each under systemRoot().
std::string systemCache();                ///< /var/cache: the system's, an administrator's
std::string systemLogs();                 ///< /var/log, the journal included
std::vector<std::string> crashFolders();  ///< /var/crash, /var/lib/systemd/coredump

/// The swap files /proc/swaps lists (files, never partitions), each under systemRoot().
struct SwapFiles {
    std::vector<std::string> files;
    /// Set when /proc/swaps exists but could not be read: the system's reason. Any file may
    /// then be a swap file in use.
    std::optional<std::string> unreadable;
    /// Swap files in use whose name was deleted: the kernel gives "/swapfile (deleted)" and
    /// nothing is at that name. Each as the kernel gives it, under systemRoot().
    std::vector<std::string> deleted;
};
/// Where the kernel's list of swap areas is read: /proc/swaps under systemRoot().
std::string swapTable();
SwapFiles swapFiles();
/// The file names of the "file" rows of a /proc/swaps text, octal escapes (\040) decoded.
std::vector<std::string> swapFilesIn(std::string_view text);

/// One developer tool's rebuildable folder, with what is said of it wherever it is shown.
struct DeveloperFolder {
    std::string path;
    std::string title;  ///< what the explainer calls it, "pip's download cache"
    std::string detail; ///< what rebuilds it, in a rule target's voice
    /// Go's module cache: a fresh download costs real time, and Go makes its folders
    /// read-only, so emptying the Trash could not remove them. Measured and explained, given
    /// as advice (Go's own command), never a target nor an allowed root.
    bool review;
    std::string what;   ///< what the folder holds, in whole sentences
    std::string tool = {};    ///< the tool's executable, when it has a command that clears this
    std::string command = {}; ///< that command, named only where the tool is on PATH
    /// Names inside the folder that are the tool's settings, not its cache ("ccache.conf"):
    /// where one is there, the folder is offered by what it holds, less those.
    std::vector<std::string> settings = {};
};
/// Whether one of the folder's settings names is there, or might be (it cannot be looked at).
bool holdsSettings(const DeveloperFolder& folder);
/// One entry a developer folder holds on disk besides its settings.
struct HeldEntry {
    std::string path;
    bool folder = false;
    int64_t fileBytes = 0; ///< a file's allocated bytes; 0 for a folder
};
/// What the folder holds on disk but its settings, links and special files left out; none
/// when it cannot be listed (then nothing in it can be told apart from the settings).
std::optional<std::vector<HeldEntry>> heldBesideSettings(const DeveloperFolder& folder);
/// Where Go keeps its modules: GOMODCACHE, else the first GOPATH folder's pkg/mod, else
/// ~/go/pkg/mod.
std::string goModuleCache();
/// Every developer folder of the table (whether or not it exists), in a fixed order; of
/// ccache's two homes the one in the cache folder comes first.
std::vector<DeveloperFolder> developerFolders();

/// Browser cache folders under cacheHome() (relative names, "mozilla/firefox" included).
const std::vector<std::string>& browserCacheNames();
/// One browser's profile folder under configHome(), and the browser's name.
struct BrowserProfile {
    std::string folder;
    std::string browser;
};
/// The browsers that keep their profiles in configHome(), each by its folder there.
const std::vector<BrowserProfile>& browserProfiles();
/// Flatpak ids of browsers: their ~/.var/app/<id>/cache is a browser cache.
const std::vector<std::string>& flatpakBrowserIds();
/// Children of cacheHome() that hold what no app rebuilds (files received over Bluetooth
/// land in "obexd"): never a cache target.
const std::vector<std::string>& keptCacheNames();

/// Folders where installed apps live. A folder that does not exist holds no apps.
/// Flatpak's: the apps of each installation Flatpak would read in this environment, each
/// variable's own value and the default both: the user's (FLATPAK_USER_DIR, the variable
/// XDG_DATA_HOME's own value + "/flatpak", dataHome()/flatpak, ~/.local/share/flatpak), the
/// system's (FLATPAK_SYSTEM_DIR, /var/lib/flatpak), and each one a .conf file in
/// installations.d of FLATPAK_CONFIG_DIR or of /etc/flatpak names by its Path=, each
/// followed by "/app". Variables' values are taken as given; the defaults lie under
/// systemRoot(), as do the paths the default folder's files give.
std::vector<std::string> flatpakInstallations();
/// The Path of each [Installation "id"] section of such a file, in order; none, with the
/// reason, when the text is no key file, an installation has no Path, or one is relative.
std::optional<std::vector<std::string>> installationPathsIn(std::string_view text, std::string& reason);
std::vector<std::string> snapInstallations();    ///< /snap, /var/lib/snapd/snap
/// The folder of installed snaps' packages (/var/lib/snapd/snaps): "<name>_<revision>.snap".
std::string snapPackages();

/// Whether an app is installed in any of the installation folders.
struct Installed {
    enum class Answer { yes, no, unknown };
    Answer answer = Answer::no;
    /// For unknown: the installation folder that could not be read and the system's reason.
    std::string unreadableFolder;
    std::string reason;
};
Installed flatpakInstalled(std::string_view id);
Installed snapInstalled(std::string_view name);
/// The answer over the given installation folders (tests and the two above).
Installed installedIn(const std::vector<std::string>& installations, std::string_view name);
/// The Flatpak and snap installation folders that are there but cannot be listed, and the
/// files naming Flatpak installations that cannot be read or name no place Flatpak could
/// find: any app may be installed in them.
std::vector<std::string> unreadableInstallations();

/// What an installed Flatpak or snap app keeps as its own, and an emulator's disks: all of
/// ~/.var/app/<id> but its "cache" for a Flatpak app installed (or whose installation cannot
/// be read), all of ~/snap/<name> but its ".cache" folders ("<revision>/.cache",
/// "common/.cache") for a snap so, and ~/.android/avd. Links in them are left out: never
/// moved, and what they lead to is not the app's.
std::vector<std::string> appOwnPlaces();

/// The ids of the user's Flatpak app folders under flatpakApps() (real folders only), sorted.
std::vector<std::string> flatpakAppIds();

/// One place a Linux home keeps secrets in, with what is said of it.
struct Secret {
    std::string path;
    std::string title;
    std::string what;
    std::string guidance;
};
/// The secrets of a Linux home: ~/.ssh, ~/.gnupg, ~/.pki, ~/.password-store and the keyrings.
std::vector<Secret> secrets();

/// Secrets, mail and settings of a Linux home that nothing may move: the secrets above,
/// browser profiles, mail, configHome() whole, and `appOwnPlaces()`.
std::vector<std::string> deniedPlaces();

} // namespace sorvel::LinuxPlaces
