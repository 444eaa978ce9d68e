#include "ui/shell/HiddenFolders.h"

#include <algorithm>

#include "engine/PathText.h"

namespace sorvel::ui::HiddenFolders {
namespace {

constexpr size_t kNamed = 3;

void collect(const ScanNode& node, std::vector<std::string>& out) {
    if (node.accessDenied) {
        out.push_back(node.path);
        return;
    }
    if (node.unreadableFolders <= 0) return;
    int64_t below = 0;
    for (const auto& child : node.children)
        if (child->unreadableFolders > 0 || child->accessDenied) {
            below += std::max<int64_t>(child->unreadableFolders, 1);
            collect(*child, out);
        }
    // Refusals the kept tree no longer holds lie somewhere in this folder.
    if (below < node.unreadableFolders && std::find(out.begin(), out.end(), node.path) == out.end())
        out.push_back(node.path);
}

} // namespace

std::vector<std::string> of(const ScanResult& result) {
    std::vector<std::string> folders;
    for (const auto& category : result.categories)
        for (const auto& root : category.roots) {
            std::vector<std::string> found;
            collect(*root, found);
            for (auto& path : found)
                if (std::find(folders.begin(), folders.end(), path) == folders.end()) folders.push_back(path);
        }
    return folders;
}

std::string named(const std::vector<std::string>& folders) {
    if (folders.empty()) return "some folders";
    const size_t shown = folders.size() > kNamed ? kNamed : folders.size();
    std::string text;
    for (size_t i = 0; i < shown; ++i) {
        if (i > 0) text += i + 1 == shown && folders.size() == shown ? " and " : ", ";
        text += tildeAbbreviated(folders[i]);
    }
    if (folders.size() > shown) {
        const size_t more = folders.size() - shown;
        text += " and " + std::to_string(more) + " more folder" + (more == 1 ? "" : "s");
    }
    return text;
}

std::string ungrantableText(const std::vector<std::string>& folders) {
    return "This user may not read " + named(folders) +
           ", so the totals below are a lower bound. There is no Full Disk Access to grant here: only an account "
           "that can read those folders can measure them.";
}

} // namespace sorvel::ui::HiddenFolders
