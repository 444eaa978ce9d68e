// File kinds from names and leading bytes, and the age bands of modification dates.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/FileKind.h"

using namespace sorvel;

namespace {

std::optional<FileKind> magic(const std::string& bytes) {
    std::vector<uint8_t> v(bytes.begin(), bytes.end());
    return FileKinds::classify(std::span<const uint8_t>(v));
}

std::optional<FileKind> magic(std::initializer_list<uint8_t> bytes) {
    std::vector<uint8_t> v(bytes);
    return FileKinds::classify(std::span<const uint8_t>(v));
}

FileKind byName(const std::string& name, bool executable = false, const std::string& dir = "/tmp/plain") {
    return FileKinds::classify(name, executable, dir);
}

} // namespace

TEST(FileKindNames, ExtensionsAreLowerCasedAndOnlyTheLastOneCounts) {
    EXPECT_EQ(byName("Photo.JPG"), FileKind::image);
    EXPECT_EQ(byName("archive.tar.gz"), FileKind::archive);
    EXPECT_EQ(byName("/Users/me/Movies/clip.MoV"), FileKind::video);
    EXPECT_EQ(byName("song.flac"), FileKind::audio);
    EXPECT_EQ(byName("report.Pages"), FileKind::document);
    EXPECT_EQ(byName("store.sqlite-wal.wal"), FileKind::database);
    EXPECT_EQ(byName("main.swift"), FileKind::code);
    EXPECT_EQ(byName("libfoo.dylib"), FileKind::binary);
    EXPECT_EQ(byName("notes.unknownext"), FileKind::other);
    EXPECT_EQ(byName("notes.unknownext", true, "/x/Foo.app/Contents"), FileKind::other);
}

TEST(FileKindNames, TheExtensionComesFromTheLastComponentOnly) {
    // A dot in a folder name is no extension of the file inside it.
    EXPECT_EQ(byName("/data/v1.2/README"), FileKind::other);
    EXPECT_EQ(byName("trailing."), FileKind::other);
    EXPECT_EQ(byName(".txt"), FileKind::code); // the text after the last dot
}

TEST(FileKindNames, AnExecutableNameIsJudgedByItsExtensionWhenItHasOne) {
    EXPECT_EQ(byName("tool.sh", true), FileKind::code);
    EXPECT_EQ(byName("tool", true), FileKind::binary);
    EXPECT_EQ(byName("tool", true, "/"), FileKind::binary);
}

TEST(FileKindNames, FilesWithoutExtensionInsideBundlesAreBinaries) {
    EXPECT_EQ(byName("Contents", false, "/Applications/Mail.app/"), FileKind::binary);
    EXPECT_EQ(byName("Contents", false, "/Applications/Mail.app"), FileKind::binary);
    EXPECT_EQ(byName("Versions", false, "/L/Frameworks/X.framework/A"), FileKind::binary);
    EXPECT_EQ(byName("Plugin", false, "/p/Y.bundle"), FileKind::binary);
    EXPECT_EQ(byName("swift", false, "/t/Swift.xctoolchain/usr/bin"), FileKind::binary);
    EXPECT_EQ(byName("Lib", false, "/t/Z.xcframework/ios"), FileKind::binary);
    // Plain substrings: ".application" contains ".app".
    EXPECT_EQ(byName("data", false, "/srv/my.application/files"), FileKind::binary);
    EXPECT_EQ(byName("Contents", false, "/Users/me/Documents"), FileKind::other);
}

TEST(FileKindMagic, FewerThanFourBytesAreNeverRecognised) {
    EXPECT_EQ(magic(std::initializer_list<uint8_t>{}), std::nullopt);
    EXPECT_EQ(magic({0xFF, 0xD8, 0xFF}), std::nullopt);
    EXPECT_EQ(magic({0x1F, 0x8B, 0x08}), std::nullopt);
    EXPECT_EQ(magic({0xFF, 0xD8, 0xFF, 0xE0}), FileKind::image);
}

TEST(FileKindMagic, ExecutableSignaturesAreBinaries) {
    for (auto sig : std::vector<std::vector<uint8_t>>{{0xCF, 0xFA, 0xED, 0xFE},
                                                     {0xFE, 0xED, 0xFA, 0xCF},
                                                     {0xCE, 0xFA, 0xED, 0xFE},
                                                     {0xFE, 0xED, 0xFA, 0xCE},
                                                     {0xCA, 0xFE, 0xBA, 0xBE},
                                                     {0xBE, 0xBA, 0xFE, 0xCA},
                                                     {0x7F, 'E', 'L', 'F'}}) {
        EXPECT_EQ(FileKinds::classify(std::span<const uint8_t>(sig)), FileKind::binary);
    }
}

TEST(FileKindMagic, CommonSignatures) {
    EXPECT_EQ(magic("\x89PNG\r\n\x1a\n"), FileKind::image);
    EXPECT_EQ(magic("GIF89a"), FileKind::image);
    EXPECT_EQ(magic("%PDF-1.7"), FileKind::document);
    EXPECT_EQ(magic(std::string("PK\x03\x04", 4)), FileKind::archive);
    EXPECT_EQ(magic({0x1F, 0x8B, 0x08, 0x00}), FileKind::archive);
    EXPECT_EQ(magic(std::string("SQLite format 3\0", 16)), FileKind::database);
    EXPECT_EQ(magic("SQLite format 3"), FileKind::database);
    EXPECT_EQ(magic("SQLite format"), std::nullopt); // too short for the whole header
    EXPECT_EQ(magic("#!/bin/sh\necho hi"), std::nullopt);
    EXPECT_EQ(magic(std::string(16, '\0')), std::nullopt);
}

TEST(FileKindMagic, IsoMediaBrandsSplitImagesFromVideo) {
    auto box = [](const std::string& brand) { return std::string("\0\0\0\x18", 4) + "ftyp" + brand; };
    EXPECT_EQ(magic(box("heic")), FileKind::image);
    EXPECT_EQ(magic(box("mif1")), FileKind::image);
    EXPECT_EQ(magic(box("qt  ")), FileKind::video);
    EXPECT_EQ(magic(box("isom")), FileKind::video);
    // Bytes outside ASCII give an empty brand, which is still an ISO media file.
    EXPECT_EQ(magic(box("he\xC3\xA9")), FileKind::video);
    // Eleven bytes are too few to read a brand.
    EXPECT_EQ(magic(box("hei").substr(0, 11)), std::nullopt);
}

TEST(FileKindMagic, OnlyTheLeadingBytesAreLookedAt) {
    // A signature that starts after byte 0 is not recognised.
    EXPECT_EQ(magic("xx%PDF-1.7 and more"), std::nullopt);
    EXPECT_EQ(magic(std::string("\0", 1) + "\x89PNG"), std::nullopt);
}

TEST(FileKindValues, RawValuesRoundTripAndUnknownOnesGiveNone) {
    for (FileKind k : kAllFileKinds) EXPECT_EQ(fileKindFromRaw(rawValue(k)), k);
    EXPECT_EQ(rawValue(FileKind::database), "database");
    EXPECT_EQ(fileKindFromRaw("Image"), std::nullopt);
    EXPECT_EQ(fileKindFromRaw(""), std::nullopt);
    EXPECT_EQ(ageBandFromRaw(-1), std::nullopt);
    EXPECT_EQ(ageBandFromRaw(5), std::nullopt);
    EXPECT_EQ(ageBandFromRaw(3), AgeBand::twoToFiveYears);
    EXPECT_EQ(caseName(AgeBand::olderThanFive), "olderThanFive");
}

TEST(FileKindValues, EachKindHasItsOwnColour) {
    EXPECT_EQ(FileKinds::tint(FileKind::image), Tint::blue());
    EXPECT_EQ(FileKinds::tint(FileKind::code), Tint::mint());
    EXPECT_EQ(FileKinds::tint(FileKind::other), Tint::fog());
    for (FileKind a : kAllFileKinds) {
        for (FileKind b : kAllFileKinds) {
            if (a != b) {
                EXPECT_FALSE(FileKinds::tint(a) == FileKinds::tint(b)) << rawValue(a) << rawValue(b);
            }
        }
    }
}

TEST(AgeBandBounds, EachBoundBelongsToTheOlderBand) {
    EXPECT_EQ(AgeBands::forAge(-3), AgeBand::lastMonth);
    EXPECT_EQ(AgeBands::forAge(0), AgeBand::lastMonth);
    EXPECT_EQ(AgeBands::forAge(29.9), AgeBand::lastMonth);
    EXPECT_EQ(AgeBands::forAge(30), AgeBand::lastYear);
    EXPECT_EQ(AgeBands::forAge(364.99), AgeBand::lastYear);
    EXPECT_EQ(AgeBands::forAge(365), AgeBand::oneToTwoYears);
    EXPECT_EQ(AgeBands::forAge(729.5), AgeBand::oneToTwoYears);
    EXPECT_EQ(AgeBands::forAge(730), AgeBand::twoToFiveYears);
    EXPECT_EQ(AgeBands::forAge(1824.999), AgeBand::twoToFiveYears);
    EXPECT_EQ(AgeBands::forAge(1825), AgeBand::olderThanFive);
    EXPECT_EQ(AgeBands::forAge(1e9), AgeBand::olderThanFive);
}
