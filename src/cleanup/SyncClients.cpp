// What each sync client keeps on disk: where its settings are and how they list its
// folders, its default folder, the markers it leaves in a synced folder, its file systems.
#include <cctype>
#include <cstdlib>
#include <functional>
#include <string_view>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "cleanup/SyncedFolders.h"
#include "platform/Path.h"
#include "platform/PropertyList.h"
#include "platform/TextCase.h"

namespace sorvel::SyncClients {
namespace {

// A client's settings are small; a larger file is not its settings.
constexpr size_t kLargestSettings = 1024 * 1024;

std::optional<std::string> settingsText(const std::string& path) {
    return PropertyList::readRegularFile(path, kLargestSettings);
}

bool present(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// An XDG base folder as the clients read it: the variable's own value when absolute, and the default.
std::vector<std::string> bases(const char* variable, const std::string& home, const char* fallback) {
    std::vector<std::string> out;
    if (const char* value = std::getenv(variable); value && value[0] == '/') out.push_back(standardizePath(value));
    const std::string standard = appendingPathComponent(home, fallback);
    if (out.empty() || out.front() != standard) out.push_back(standard);
    return out;
}

// "~" and "~/x" are the home's; anything else must be a full path.
std::optional<std::string> folderPath(std::string_view text, const std::string& home) {
    while (!text.empty() && (text.back() == '/' || text.back() == ' ')) text.remove_suffix(1);
    if (text == "~") return home;
    if (text.starts_with("~/")) return standardizePath(appendingPathComponent(home, text.substr(2)));
    if (text.empty() || text[0] != '/') return std::nullopt;
    return standardizePath(text);
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// A value as Qt's settings files write it: maybe quoted, with backslash escapes (\xHHHH
// for a character outside ASCII).
std::string iniValue(std::string_view raw) {
    raw = trimmed(raw);
    if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"') raw = raw.substr(1, raw.size() - 2);
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 == raw.size()) {
            out += raw[i];
            continue;
        }
        const char next = raw[++i];
        if (next != 'x') {
            out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
            continue;
        }
        unsigned code = 0;
        size_t digits = 0;
        while (digits < 4 && i + 1 < raw.size() && std::isxdigit(static_cast<unsigned char>(raw[i + 1]))) {
            const char digit = raw[++i];
            code = code * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(digit))
                                                          ? digit - '0'
                                                          : std::tolower(static_cast<unsigned char>(digit)) - 'a' + 10);
            ++digits;
        }
        // As UTF-8, as the names on disk are.
        if (code < 0x80) out += static_cast<char>(code);
        else if (code < 0x800) out += {static_cast<char>(0xC0 | (code >> 6)), static_cast<char>(0x80 | (code & 0x3F))};
        else
            out += {static_cast<char>(0xE0 | (code >> 12)), static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
                    static_cast<char>(0x80 | (code & 0x3F))};
    }
    return out;
}

// The values of every "key=value" line whose key ends in `suffix` (after a backslash, or the whole key).
std::vector<std::string> iniValues(std::string_view text, std::string_view suffix) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = trimmed(line.substr(0, equals));
        if (key == suffix || (key.ends_with(suffix) && key.size() > suffix.size() &&
                              (key[key.size() - suffix.size() - 1] == '\\' || key[key.size() - suffix.size() - 1] == '/')))
            out.push_back(iniValue(line.substr(equals + 1)));
    }
    return out;
}

std::string xmlUnescaped(std::string_view text) {
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        bool named = false;
        for (const auto& [entity, c] : kNamed)
            if (text.substr(i).starts_with(entity)) {
                out += c, i += entity.size() - 1, named = true;
                break;
            }
        if (named) continue;
        // A numeric reference to an ASCII character; others are kept as written.
        if (text.substr(i).starts_with("&#")) {
            const size_t semi = text.find(';', i);
            const bool hex = i + 2 < text.size() && (text[i + 2] == 'x' || text[i + 2] == 'X');
            const std::string digits(text.substr(i + (hex ? 3 : 2), semi == std::string_view::npos ? 0 : semi - i - (hex ? 3 : 2)));
            char* stop = nullptr;
            const long code = digits.empty() ? -1 : std::strtol(digits.c_str(), &stop, hex ? 16 : 10);
            if (code > 0 && code < 0x80 && stop && *stop == '\0') {
                out += static_cast<char>(code), i = semi;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// The value of an attribute inside one element's opening tag.
std::optional<std::string> attribute(std::string_view tag, std::string_view name) {
    for (size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
        const bool starts = at > 0 && (tag[at - 1] == ' ' || tag[at - 1] == '\t' || tag[at - 1] == '\n');
        size_t next = at + name.size();
        if (!starts || next + 1 >= tag.size() || tag[next] != '=' || (tag[next + 1] != '"' && tag[next + 1] != '\'')) continue;
        const char quote = tag[next + 1];
        const size_t end = tag.find(quote, next + 2);
        if (end == std::string_view::npos) return std::nullopt;
        return xmlUnescaped(tag.substr(next + 2, end - next - 2));
    }
    return std::nullopt;
}

// Syncthing's folders: each <folder> element with an id, outside the template of new folders.
std::vector<std::string> syncthingFolders(std::string_view text) {
    std::vector<std::string> out;
    size_t at = 0;
    while ((at = text.find('<', at)) != std::string_view::npos) {
        if (text.substr(at).starts_with("<defaults")) {
            const size_t end = text.find("</defaults>", at);
            if (end == std::string_view::npos) break;
            at = end;
            continue;
        }
        const size_t close = text.find('>', at);
        if (close == std::string_view::npos) break; // cut short: an unfinished element says nothing
        const std::string_view tag = text.substr(at, close - at);
        at = close;
        if (!tag.starts_with("<folder ") && !tag.starts_with("<folder\t") && !tag.starts_with("<folder\n")) continue;
        const auto id = attribute(tag, "id");
        if (auto path = attribute(tag, "path"); path && id && !id->empty()) out.push_back(std::move(*path));
    }
    return out;
}

// Dropbox's accounts: each one's "path".
std::vector<std::string> dropboxFolders(const std::string& text) {
    std::vector<std::string> out;
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (!json.is_object()) return out;
    for (const auto& [name, account] : json.items())
        if (account.is_object())
            if (const auto path = account.find("path"); path != account.end() && path->is_string())
                out.push_back(path->get<std::string>());
    return out;
}

// Seafile's settings name its data folder; the libraries are synced beside it by default.
std::vector<std::string> seafileFolders(std::string_view text) {
    std::vector<std::string> out;
    const std::string line(trimmed(text.substr(0, text.find('\n'))));
    if (!line.empty() && line[0] == '/') out.push_back(deletingLastPathComponent(standardizePath(line)));
    return out;
}

struct Client {
    const char* service;
    std::vector<std::string> settings;                              // files, the first readable one used
    std::vector<std::string> signs;                                 // any there: the client has run here
    std::vector<std::string> defaults;                              // under the home
    std::function<std::vector<std::string>(const std::string&)> folders; // from a settings file's text
};

std::vector<std::string> under(const std::vector<std::string>& folders, const char* relative) {
    std::vector<std::string> out;
    for (const auto& folder : folders) out.push_back(appendingPathComponent(folder, relative));
    return out;
}

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<Client> clients(const std::string& home) {
    const auto config = bases("XDG_CONFIG_HOME", home, ".config");
    const auto state = bases("XDG_STATE_HOME", home, ".local/state");
    const auto data = bases("XDG_DATA_HOME", home, ".local/share");
    const auto inHome = [&home](const char* relative) { return appendingPathComponent(home, relative); };
    const auto key = [](const char* suffix) {
        return [suffix](const std::string& text) { return iniValues(text, suffix); };
    };
    const auto nextcloud = joined(under(config, "Nextcloud/nextcloud.cfg"),
                                  {inHome(".var/app/com.nextcloud.desktopclient.nextcloud/config/Nextcloud/nextcloud.cfg")});
    return {
        {"Syncthing", joined(under(state, "syncthing/config.xml"), under(config, "syncthing/config.xml")), {}, {"Sync"},
         [](const std::string& text) { return syncthingFolders(text); }},
        {"Nextcloud", nextcloud, {}, {"Nextcloud"}, key("localPath")},
        {"ownCloud", under(config, "ownCloud/owncloud.cfg"), {}, {"ownCloud"}, key("localPath")},
        {"Dropbox", {inHome(".dropbox/info.json")}, {inHome(".dropbox")}, {"Dropbox"},
         [](const std::string& text) { return dropboxFolders(text); }},
        {"Dropbox", under(config, "maestral/maestral.ini"), {}, {}, key("path")},
        {"MEGA", under(data, "data/Mega Limited/MEGAsync/MEGAsync.cfg"), {}, {"MEGA", "MEGAsync"}, key("localFolder")},
        {"pCloud", {}, {inHome(".pcloud")}, {"pCloudDrive"}, {}},
        {"Seafile", {inHome(".ccnet/seafile.ini")}, {inHome(".ccnet")}, {"Seafile"},
         [](const std::string& text) { return seafileFolders(text); }},
        {"Insync", {}, joined(under(config, "Insync"), under(data, "Insync")), {"Insync"}, {}},
        {"OneDrive", under(config, "onedrive/config"), under(config, "onedrive"), {"OneDrive"}, key("sync_dir")},
        {"SparkleShare", {}, under(config, "sparkleshare"), {"SparkleShare"}, {}},
    };
}

} // namespace

Settings settingsOf(const std::string& home) {
    Settings out;
    const auto add = [&out](std::optional<std::string> folder, const char* service) {
        if (!folder) return;
        for (const auto& tree : out.trees)
            if (tree.folder == *folder) return;
        out.trees.push_back({std::move(*folder), service});
    };
    bool nextcloud = false, owncloud = false;
    for (const auto& client : clients(home)) {
        bool there = false;
        for (const auto& file : client.settings) {
            if (!present(file)) continue;
            there = true;
            if (const auto text = settingsText(file); text && client.folders)
                for (const auto& folder : client.folders(*text)) add(folderPath(folder, home), client.service);
            break;
        }
        for (const auto& sign : client.signs) there = there || present(sign);
        if (!there) continue;
        for (const auto& name : client.defaults) add(appendingPathComponent(home, name), client.service);
        nextcloud = nextcloud || std::string_view(client.service) == "Nextcloud";
        owncloud = owncloud || std::string_view(client.service) == "ownCloud";
    }
    out.sharedClient = nextcloud == owncloud ? "Nextcloud or ownCloud" : nextcloud ? "Nextcloud" : "ownCloud";
    return out;
}

std::vector<SyncedMount> mountedTrees(const std::vector<MountEntry>& mounts) {
    std::vector<SyncedMount> out;
    for (const auto& mount : mounts) {
        const std::string type = lowercased(mount.fsType);
        if (type == "fuse.rclone") out.push_back({mount.mountPoint, "rclone"});
        else if (type.find("pcloud") != std::string::npos) out.push_back({mount.mountPoint, "pCloud"});
        else if (type == "fuse.seadrive") out.push_back({mount.mountPoint, "Seafile"});
        else if (type == "fuse.google-drive-ocamlfuse") out.push_back({mount.mountPoint, "Google Drive"});
        else if (type == "fuse.onedriver") out.push_back({mount.mountPoint, "OneDrive"});
        else if (type == "fuse.dbxfs") out.push_back({mount.mountPoint, "Dropbox"});
        else if (type == "fuse.gvfsd-fuse") {
            out.push_back({mount.mountPoint, "Google Drive", "google-drive:"});
            out.push_back({mount.mountPoint, "OneDrive", "onedrive:"});
        } else if (type == "fuse.kio-fuse") {
            out.push_back({mount.mountPoint, "Google Drive", "gdrive"});
        }
    }
    return out;
}

std::optional<std::string> markerService(const std::vector<Entry>& entries, const std::string& sharedClient,
                                         const std::function<bool(const std::string&)>& exists) {
    for (const auto& e : entries) {
        const std::string_view n = e.name;
        if (n == ".stfolder" || n == ".stversions") return "Syncthing";
        if ((n == ".dropbox" && e.isFile) || (n == ".dropbox.cache" && e.isFolder)) return "Dropbox";
        if ((n == ".debris" && e.isFolder) || (n == ".megaignore" && e.isFile)) return "MEGA";
        if (((n.starts_with(".sync_") || n.starts_with("._sync_")) && n.find(".db") != std::string_view::npos) ||
            n == ".csync_journal.db" || n == ".owncloudsync.log" || n == ".nextcloudsync.log")
            return sharedClient;
        if (n == ".insync-trash") return "Insync";
        if (n == ".sparkleshare") return "SparkleShare";
        if ((n == "seafile-data" || n == ".seafile-data") && e.isFolder) return "Seafile";
        if (n == ".sync" && e.isFolder && exists(".sync/ID")) return "Resilio Sync";
    }
    return std::nullopt;
}

} // namespace sorvel::SyncClients
