#include "ui/screens/DockerText.h"


#include "engine/Bytes.h"
#include "platform/TextCase.h"

namespace sorvel::ui::DockerText {

Body body(const std::optional<DockerUsage>& usage, bool isLoading) {
    if (isLoading) return Body::loading;
    if (!usage) return Body::headerOnly;
    return usage->state == DockerUsage::State::ready ? Body::ready : Body::unavailable;
}

int64_t totalBytes(const DockerUsage& usage) {
    int64_t sum = 0;
    for (const auto& g : usage.groups) sum = Bytes::saturatingAdd(sum, g.total);
    return sum;
}

int64_t reclaimableBytes(const DockerUsage& usage) {
    int64_t sum = 0;
    for (const auto& g : usage.groups) sum = Bytes::saturatingAdd(sum, g.reclaimable);
    return sum;
}

std::optional<std::string> headerFigure(const std::optional<DockerUsage>& usage) {
    if (!usage || usage->state != DockerUsage::State::ready) return std::nullopt;
    return Bytes::format(reclaimableBytes(*usage)) + " reclaimable";
}

std::string summary(const DockerUsage& usage) {
    return "Docker accounts for " + Bytes::format(totalBytes(usage)) + " of content, of which " +
           Bytes::format(reclaimableBytes(usage)) +
           " is not used by anything running. These totals come from Docker's own accounting and will not match "
           "the size of its data folder on disk \u2014 the folder also holds container logs and the engine's "
           "own files, which the accounting leaves out.";
}

std::string unavailableTitle(DockerUsage::State state) {
    return state == DockerUsage::State::notInstalled ? "Docker is not installed."
                                                     : "Docker is installed but its daemon is not responding.";
}

std::optional<std::string> entryCount(const DockerUsage::Group& group) {
    if (group.entries.empty()) return std::nullopt;
    return std::to_string(group.entries.size());
}

std::optional<std::string> unusedFigure(const DockerUsage::Group& group) {
    if (group.reclaimable < 1) return std::nullopt;
    return Bytes::format(group.reclaimable) + " unused";
}

std::string pruneLabel(const DockerUsage::Group& group) {
    return "Remove everything unused in " + lowercased(group.title);
}

size_t shownEntries(const DockerUsage::Group& group) { return std::min(group.entries.size(), maxEntries); }

std::optional<std::string> moreEntries(const DockerUsage::Group& group) {
    if (group.entries.size() <= maxEntries) return std::nullopt;
    return "+ " + std::to_string(group.entries.size() - maxEntries) + " more";
}

bool showsCopyRemove(const DockerUsage::Entry& entry) { return entry.removeCommand && entry.isReclaimable; }

std::string dotTooltip(const DockerUsage::Entry& entry) {
    if (entry.isReclaimable) return "Not used by anything running";
    return entry.useKnown ? "In use" : "Docker did not say whether anything uses this";
}

bool showsDetail(const DockerUsage::Entry& entry) { return entry.detail && !entry.detail->empty(); }

} // namespace sorvel::ui::DockerText
