#pragma once
// Two small vocabularies for what a folder holds: the sort of each file, judged from its
// name or its first bytes, and how long ago it was last modified.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/Tint.h"

namespace sorvel {

enum class FileKind { image, video, audio, document, archive, database, code, binary, other };
inline constexpr FileKind kAllFileKinds[] = {
    FileKind::image, FileKind::video, FileKind::audio,  FileKind::document, FileKind::archive,
    FileKind::database, FileKind::code, FileKind::binary, FileKind::other};

/// "image", "video", ... : the case name, which is also the kind's identifier.
std::string rawValue(FileKind kind);
std::optional<FileKind> fileKindFromRaw(std::string_view raw);

namespace FileKinds {

const Tint& tint(FileKind kind);

/// The kind from a file's name: its lower-cased extension looked up in the table (unknown
/// extensions are `other`). Without an extension, an executable file or one inside a
/// bundle-like folder (`directory` contains ".framework", ".app", ...) is `binary`.
FileKind classify(std::string_view path, bool isExecutable, std::string_view directory);

/// The kind a known signature at the start of the bytes shows; none for fewer than 4
/// bytes or nothing recognised. Never looks past byte 14.
std::optional<FileKind> classify(std::span<const uint8_t> magic);

} // namespace FileKinds

enum class AgeBand : int { lastMonth = 0, lastYear = 1, oneToTwoYears = 2, twoToFiveYears = 3, olderThanFive = 4 };
inline constexpr AgeBand kAllAgeBands[] = {AgeBand::lastMonth, AgeBand::lastYear, AgeBand::oneToTwoYears,
                                           AgeBand::twoToFiveYears, AgeBand::olderThanFive};

inline int rawValue(AgeBand band) { return static_cast<int>(band); }
std::optional<AgeBand> ageBandFromRaw(int raw);
/// "lastMonth", "lastYear", ... : the case name.
std::string caseName(AgeBand band);

namespace AgeBands {

/// The band of a file last modified `days` days ago (days of 86,400 s; a negative age, a
/// date in the future, is the last month).
AgeBand forAge(double days);

} // namespace AgeBands
} // namespace sorvel
