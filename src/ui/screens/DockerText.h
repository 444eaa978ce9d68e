#pragma once
// The rules of the Docker block: which body shows, its figures and sentences, and how
// many entries a group card lists.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "analysis/DockerInspector.h"

namespace sorvel::ui::DockerText {

inline constexpr size_t maxEntries = 40;

/// Below the header: the loading panel wins over everything, then nothing (no result yet),
/// then the ready content, else the unavailable panel.
enum class Body { loading, headerOnly, ready, unavailable };
Body body(const std::optional<DockerUsage>& usage, bool isLoading);

int64_t totalBytes(const DockerUsage& usage);
int64_t reclaimableBytes(const DockerUsage& usage);
/// "1.2 GB reclaimable" while the (possibly older) result is ready; none otherwise.
std::optional<std::string> headerFigure(const std::optional<DockerUsage>& usage);
std::string summary(const DockerUsage& usage);
std::string unavailableTitle(DockerUsage::State state);

/// The count beside a group's title; none for a group without entries.
std::optional<std::string> entryCount(const DockerUsage::Group& group);
/// "1.2 GB unused" when the group reclaims anything.
std::optional<std::string> unusedFigure(const DockerUsage::Group& group);
std::string pruneLabel(const DockerUsage::Group& group);
size_t shownEntries(const DockerUsage::Group& group);
/// "+ N more" past the first 40 entries.
std::optional<std::string> moreEntries(const DockerUsage::Group& group);
bool showsCopyRemove(const DockerUsage::Entry& entry);
std::string dotTooltip(const DockerUsage::Entry& entry);
bool showsDetail(const DockerUsage::Entry& entry);

inline const char* const loadingText = "Asking Docker what it is holding\u2026";
inline const char* const notItemised = "Docker reports a total for this but does not itemise it.";

} // namespace sorvel::ui::DockerText
