#include "platform/RunningApplications.h"

#include <cctype>
#include <climits>
#include <unistd.h>

#include "platform/FileManager.h"
#include "platform/PropertyList.h"

namespace sorvel::RunningApplications {
namespace {

bool isProcessID(const std::string &name) {
    if (name.empty())
        return false;
    for (unsigned char c : name)
        if (!std::isdigit(c))
            return false;
    return true;
}

} // namespace

std::string enclosingBundle(const std::string &executablePath) {
    // Walk the components and remember the last one that ends in ".app" before the
    // executable itself.
    std::string best;
    size_t start = 0;
    while (start < executablePath.size()) {
        size_t end = executablePath.find('/', start);
        if (end == std::string::npos)
            break; // the last component is the executable
        std::string_view component(executablePath.data() + start, end - start);
        if (component.size() > 4 && component.substr(component.size() - 4) == ".app")
            best = executablePath.substr(0, end);
        start = end + 1;
    }
    return best;
}

std::vector<std::string> bundleIdentifiers(const std::string &procRoot) {
    std::vector<std::string> identifiers;
    auto entries = FileManager::contentsOfDirectory(procRoot);
    if (!entries)
        return identifiers;
    for (const auto &name : *entries) {
        if (!isProcessID(name))
            continue;
        std::string link = procRoot + "/" + name + "/exe";
        char buffer[PATH_MAX];
        ssize_t n = readlink(link.c_str(), buffer, sizeof buffer);
        if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer)
            continue;
        std::string bundle = enclosingBundle(std::string(buffer, static_cast<size_t>(n)));
        if (bundle.empty())
            continue;
        auto plist = PropertyList::readFile(bundle + "/Contents/Info.plist");
        if (!plist)
            continue;
        if (auto identifier = plist->stringFor("CFBundleIdentifier"))
            identifiers.push_back(*identifier);
    }
    return identifiers;
}

} // namespace sorvel::RunningApplications
