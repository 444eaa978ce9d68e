#include "engine/FileKind.h"

#include <initializer_list>
#include <unordered_map>
#include <utility>

#include "platform/Path.h"
#include "platform/TextCase.h"

namespace sorvel {
namespace {

constexpr std::pair<FileKind, const char*> kNames[] = {
    {FileKind::image, "image"},       {FileKind::video, "video"},       {FileKind::audio, "audio"},
    {FileKind::document, "document"}, {FileKind::archive, "archive"},   {FileKind::database, "database"},
    {FileKind::code, "code"},         {FileKind::binary, "binary"},     {FileKind::other, "other"},
};

using Table = std::unordered_map<std::string, FileKind>;

const Table& extensionTable() {
    // Built once on first use (thread-safe static initialisation), read-only afterwards.
    static const Table table = [] {
        Table t;
        auto add = [&](FileKind kind, std::initializer_list<const char*> extensions) {
            for (const char* e : extensions) t[e] = kind;
        };
        add(FileKind::image, {"jpg", "jpeg", "png", "gif", "heic", "heif", "webp", "tiff", "tif", "bmp", "svg",
                              "raw", "cr2", "nef", "dng", "icns", "ico", "psd", "avif"});
        add(FileKind::video, {"mov", "mp4", "m4v", "avi", "mkv", "webm", "hevc", "mpg", "mpeg", "wmv", "flv", "3gp",
                              "prores"});
        add(FileKind::audio, {"mp3", "m4a", "aac", "wav", "aiff", "aif", "flac", "ogg", "opus", "caf", "amr", "wma",
                              "mid", "midi"});
        add(FileKind::document, {"pdf", "doc", "docx", "xls", "xlsx", "ppt", "pptx", "pages", "numbers", "key", "rtf",
                                 "epub", "vcf", "ics"});
        add(FileKind::archive, {"zip", "tar", "gz", "tgz", "bz2", "xz", "7z", "rar", "dmg", "pkg", "iso", "zst", "jar",
                                "war", "cpgz"});
        add(FileKind::database, {"db", "sqlite", "sqlite3", "sqlitedb", "realm", "mdb", "wal", "shm", "leveldb", "ldb",
                                 "sst"});
        add(FileKind::code, {"swift", "c",   "h",   "m",    "mm",   "cpp",  "hpp", "py",  "js",  "ts", "tsx",
                             "jsx",   "rb",  "go",  "rs",   "java", "kt",   "sh",  "json", "xml", "yml", "yaml",
                             "toml",  "html", "css", "md",  "txt",  "log",  "plist", "csv", "sql"});
        add(FileKind::binary, {"app", "dylib", "so", "a", "o", "framework", "bundle", "kext", "exe", "dll", "bin",
                               "wasm", "class", "pyc", "swiftmodule"});
        return t;
    }();
    return table;
}

// The text after the last "." of the last path component; empty when there is none.
std::string_view pathExtension(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    const size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return {};
    return name.substr(dot + 1);
}

bool startsWith(std::span<const uint8_t> bytes, std::initializer_list<uint8_t> signature) {
    if (bytes.size() < signature.size()) return false;
    size_t i = 0;
    for (uint8_t b : signature) {
        if (bytes[i++] != b) return false;
    }
    return true;
}

} // namespace

std::string rawValue(FileKind kind) {
    for (const auto& [k, name] : kNames) {
        if (k == kind) return name;
    }
    return "other";
}

std::optional<FileKind> fileKindFromRaw(std::string_view raw) {
    for (const auto& [k, name] : kNames) {
        if (raw == name) return k;
    }
    return std::nullopt;
}

std::optional<AgeBand> ageBandFromRaw(int raw) {
    if (raw < 0 || raw > 4) return std::nullopt;
    return static_cast<AgeBand>(raw);
}

std::string caseName(AgeBand band) {
    switch (band) {
    case AgeBand::lastMonth: return "lastMonth";
    case AgeBand::lastYear: return "lastYear";
    case AgeBand::oneToTwoYears: return "oneToTwoYears";
    case AgeBand::twoToFiveYears: return "twoToFiveYears";
    case AgeBand::olderThanFive: return "olderThanFive";
    }
    return "lastMonth";
}

namespace AgeBands {

AgeBand forAge(double days) {
    if (!(days >= 30)) return AgeBand::lastMonth; // NaN lands here too
    if (days < 365) return AgeBand::lastYear;
    if (days < 730) return AgeBand::oneToTwoYears;
    if (days < 1825) return AgeBand::twoToFiveYears;
    return AgeBand::olderThanFive;
}

} // namespace AgeBands

namespace FileKinds {

const Tint& tint(FileKind kind) {
    switch (kind) {
    case FileKind::image: return Tint::blue();
    case FileKind::video: return Tint::violet();
    case FileKind::audio: return Tint::cyan();
    case FileKind::document: return Tint::amber();
    case FileKind::archive: return Tint::rose();
    case FileKind::database: return Tint::lime();
    case FileKind::code: return Tint::mint();
    case FileKind::binary: return Tint::slate();
    case FileKind::other: return Tint::fog();
    }
    return Tint::fog();
}

FileKind classify(std::string_view path, bool isExecutable, std::string_view directory) {
    const std::string_view extension = pathExtension(path);
    if (extension.empty()) {
        if (isExecutable) return FileKind::binary;
        // A file without extension inside a bundle is part of its code.
        for (std::string_view marker : {".framework", ".app", ".bundle", ".xctoolchain", ".xcframework"}) {
            if (directory.find(marker) != std::string_view::npos) return FileKind::binary;
        }
        return FileKind::other;
    }
    const Table& table = extensionTable();
    const auto it = table.find(lowercased(extension));
    return it == table.end() ? FileKind::other : it->second;
}

std::optional<FileKind> classify(std::span<const uint8_t> magic) {
    if (magic.size() < 4) return std::nullopt;
    if (startsWith(magic, {0xCF, 0xFA, 0xED, 0xFE}) || startsWith(magic, {0xFE, 0xED, 0xFA, 0xCF}) ||
        startsWith(magic, {0xCE, 0xFA, 0xED, 0xFE}) || startsWith(magic, {0xFE, 0xED, 0xFA, 0xCE}) ||
        startsWith(magic, {0xCA, 0xFE, 0xBA, 0xBE}) || startsWith(magic, {0xBE, 0xBA, 0xFE, 0xCA}))
        return FileKind::binary;
    if (startsWith(magic, {0x7F, 0x45, 0x4C, 0x46})) return FileKind::binary;
    if (startsWith(magic, {0x89, 0x50, 0x4E, 0x47})) return FileKind::image;
    if (startsWith(magic, {0xFF, 0xD8, 0xFF})) return FileKind::image;
    if (startsWith(magic, {'G', 'I', 'F', '8'})) return FileKind::image;
    if (startsWith(magic, {'%', 'P', 'D', 'F'})) return FileKind::document;
    if (startsWith(magic, {0x50, 0x4B, 0x03, 0x04})) return FileKind::archive;
    if (startsWith(magic, {0x1F, 0x8B})) return FileKind::archive;
    if (startsWith(magic, {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f', 'o', 'r', 'm', 'a', 't', ' ', '3'}))
        return FileKind::database;
    if (magic.size() < 12) return std::nullopt;
    if (magic[4] == 'f' && magic[5] == 't' && magic[6] == 'y' && magic[7] == 'p') {
        // The major brand; any byte outside ASCII makes it no brand at all.
        std::string brand;
        for (size_t i = 8; i < 12; ++i) {
            if (magic[i] > 0x7F) {
                brand.clear();
                break;
            }
            brand += static_cast<char>(magic[i]);
        }
        if (brand.starts_with("hei") || brand.starts_with("mif")) return FileKind::image;
        return FileKind::video;
    }
    return std::nullopt;
}

} // namespace FileKinds
} // namespace sorvel
