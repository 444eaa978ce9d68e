#pragma once
// The user's persisted settings: one JSON object in
// ${XDG_CONFIG_HOME:-$HOME/.config}/sorvel/defaults.json. Every read takes the file as
// it is on disk; every write is a read-modify-write under an exclusive lock, replacing
// the file atomically (temporary file, fsync, rename), so two processes never lose each
// other's keys and a crash never leaves half a file.
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace sorvel {

class UserDefaults {
public:
    /// The defaults of the current user, located from the environment at the call.
    static UserDefaults standard();
    static std::string standardFilePath();
    explicit UserDefaults(std::string filePath) : path_(std::move(filePath)) {}

    const std::string& filePath() const { return path_; }

    /// The stored value, or none when the key is absent or the file cannot be read.
    std::optional<nlohmann::json> value(const std::string& key) const;
    std::optional<std::string> string(const std::string& key) const;
    std::optional<bool> boolean(const std::string& key) const;
    std::optional<double> number(const std::string& key) const;

    /// Stores the value; false (with nothing changed) when the file cannot be written.
    bool set(const std::string& key, const nlohmann::json& value);
    bool remove(const std::string& key);

private:
    bool update(const std::string& key, const std::optional<nlohmann::json>& value);
    std::string path_;
};

} // namespace sorvel
