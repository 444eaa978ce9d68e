#pragma once
// A fake machine for the app inventory: a home (HOME points at it) and a system root
// holding /Applications, /System/Applications and the shared /Library.
#include <optional>
#include <string>

#include "analysis/AppInventory.h"
#include "support/PlistFiles.h"
#include "support/TestSupport.h"

namespace sorvel::test {

inline std::string infoEntries(const std::optional<std::string>& identifier,
                               const std::optional<std::string>& shortVersion = std::nullopt,
                               const std::optional<std::string>& version = std::nullopt) {
    std::string entries;
    if (identifier) entries += key("CFBundleIdentifier", text(*identifier));
    if (shortVersion) entries += key("CFBundleShortVersionString", text(*shortVersion));
    if (version) entries += key("CFBundleVersion", text(*version));
    return entries;
}

/// A bundle with an executable of `payload` bytes; `info` is written whole when given.
inline std::string makeBundle(const std::string& folder, const std::string& fileName,
                              const std::optional<std::string>& info, size_t payload = 0) {
    const std::string path = folder + "/" + fileName;
    makeDirs(path + "/Contents/MacOS");
    if (info) writeFile(path + "/Contents/Info.plist", *info);
    if (payload) writeFileOfSize(path + "/Contents/MacOS/main", payload);
    return path;
}

class FakeMachine {
public:
    FakeMachine() {
        for (const char* folder : {"/Applications", "/Library"}) makeDirs(system(folder));
        makeDirs(home("/Library"));
    }
    std::string home(const std::string& relative = "") const { return home_.path() + relative; }
    std::string system(const std::string& relative = "") const { return root_.path() + relative; }
    AppInventory::Places places() const {
        auto p = AppInventory::Places::standard(root_.path());
        p.ownBundlePath.clear();
        p.ownIdentifier.reset();
        return p;
    }
    /// An app in the fake /Applications with an XML Info.plist.
    std::string app(const std::string& name, const std::optional<std::string>& identifier, size_t payload = 4096) {
        return makeBundle(system("/Applications"), name + ".app", xmlPlist(infoEntries(identifier)), payload);
    }

private:
    TempDir root_;
    FakeHome home_;
};

} // namespace sorvel::test
