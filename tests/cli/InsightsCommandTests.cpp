// `--insights PATH`: the report of one folder, line by line.
#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "cleanup/CloudStatus.h"
#include "cli/TextWrap.h"
#include "engine/Bytes.h"
#include "engine/PathKnowledge.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

size_t characters(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}
std::string padRight(const std::string& s, size_t width) {
    return s + std::string(width > characters(s) ? width - characters(s) : 0, ' ');
}
std::string padLeft(const std::string& s, size_t width) {
    return std::string(width > characters(s) ? width - characters(s) : 0, ' ') + s;
}
std::string percent(long long bytes, long long total) {
    char text[32];
    std::snprintf(text, sizeof text, "  %5.1f%%", 100.0 * static_cast<double>(bytes) / static_cast<double>(total));
    return text;
}

void setModified(const std::string& path, time_t seconds) {
    timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

std::string monthYear(time_t seconds) {
    std::tm parts{};
    gmtime_r(&seconds, &parts); // the tests run with TZ=UTC
    char text[16];
    std::strftime(text, sizeof text, "%b %Y", &parts);
    return text;
}

const std::regex kSummaryTail(R"( · \d+\.\ds$)");

} // namespace

TEST(InsightsCommand, AFolderReportsKindsAgesAndLargestFilesLineByLine) {
    test::FakeHome home;
    const time_t now = std::time(nullptr);
    const time_t day = 86400;
    struct File {
        const char* name;
        size_t bytes;
        time_t age;
        const char* kind;
    } files[] = {
        {"proj/a.mov", 300000, 10, "Video"},          {"proj/b.png", 100000, 100, "Photos & images"},
        {"proj/docs/c.pdf", 50000, 400, "Documents"}, {"proj/docs/d.txt", 20000, 1000, "Code & text"},
        {"proj/old/e.zip", 10000, 2000, "Archives"},  {"proj/f.sqlite", 7000, 2000, "Databases"},
        {"proj/g.dylib", 1000, 10, "Apps & binaries"},
    };
    long long total = 0;
    std::vector<long long> sizes;
    for (const auto& f : files) {
        test::writeFileOfSize(home / f.name, f.bytes);
        setModified(home / f.name, now - f.age * day);
        sizes.push_back(test::allocatedSize(home / f.name));
        total += sizes.back();
    }
    for (size_t i = 1; i < sizes.size(); ++i) ASSERT_GT(sizes[i - 1], sizes[i]) << "fixture sizes must be distinct";

    auto r = test::runSorvel({"--insights", "~/proj"}, {{"HOME", home.path()}});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    auto lines = test::lines(r.out);
    ASSERT_EQ(lines.size(), 29u) << r.out;

    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "  ~/proj");
    const std::string head = "  " + Bytes::format(total) + " \u00B7 7 files";
    EXPECT_EQ(lines[2].substr(0, head.size()), head);
    EXPECT_TRUE(std::regex_match(lines[2].substr(head.size()), kSummaryTail)) << lines[2];

    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], "  WHAT'S IN HERE");
    // Seven kinds, largest first; only six rows.
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(lines[5 + i], "  " + padRight(files[i].kind, 20) + padLeft(Bytes::format(sizes[i]), 12) +
                                    percent(sizes[i], total) + "          1 file")
            << i;
    }

    EXPECT_EQ(lines[11], "");
    EXPECT_EQ(lines[12], "  HOW OLD IT IS");
    const long long recent = sizes[0] + sizes[6], year = sizes[1], two = sizes[2], five = sizes[3],
                    older = sizes[4] + sizes[5];
    EXPECT_EQ(lines[13], "  " + padRight("Last 30 days", 20) + padLeft(Bytes::format(recent), 12) +
                             percent(recent, total));
    EXPECT_EQ(lines[14], "  " + padRight("This year", 20) + padLeft(Bytes::format(year), 12) + percent(year, total));
    EXPECT_EQ(lines[15], "  1\u20132 years old       " + padLeft(Bytes::format(two), 12) + percent(two, total));
    EXPECT_EQ(lines[16], "  2\u20135 years old       " + padLeft(Bytes::format(five), 12) + percent(five, total) +
                             "   \u2190 worth questioning");
    EXPECT_EQ(lines[17], "  Over 5 years old    " + padLeft(Bytes::format(older), 12) + percent(older, total) +
                             "   \u2190 worth questioning");
    EXPECT_EQ(lines[18], "");
    EXPECT_EQ(lines[19], "  " + Bytes::format(five + older) + " is more than two years old.");

    EXPECT_EQ(lines[20], "");
    EXPECT_EQ(lines[21], "  LARGEST FILES");
    for (int i = 0; i < 6; ++i) {
        const std::string name = std::string(files[i].name).substr(std::string(files[i].name).rfind('/') + 1);
        EXPECT_EQ(lines[22 + i], "  " + padLeft(Bytes::format(sizes[i]), 11) + "  " +
                                     padRight(monthYear(now - files[i].age * day), 10) + name)
            << i;
    }
    EXPECT_EQ(lines[28], "");
}

TEST(InsightsCommand, AMissingPathIsAnErrorNotAnEmptyReport) {
    test::FakeHome home;
    auto r = test::runSorvel({"--insights", "~/Missing"}, {{"HOME", home.path()}});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "No such path: ~/Missing\n");
    EXPECT_EQ(r.out, "");
}

// A socket said "Cannot read … (No such device or address)": it is described as itself,
// as a regular file or a FIFO is.
TEST(InsightsCommand, ANonFolderOfAnyKindIsDescribedAsItself) {
    const struct {
        const char* name;
        void (*make)(const std::string& path);
    } rows[] = {
        {"file", [](const std::string& p) { test::writeFile(p, "hello"); }},
        {"fifo", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }},
        {"sock", [](const std::string& p) {
             const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
             ASSERT_GE(fd, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             ASSERT_LT(p.size(), sizeof address.sun_path) << p;
             std::copy(p.begin(), p.end(), address.sun_path);
             ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
             close(fd); // the socket file stays behind
         }},
    };
    for (const auto& row : rows) {
        test::FakeHome home;
        row.make(home / row.name);
        auto r = test::runSorvel({"--insights", std::string("~/") + row.name}, {{"HOME", home.path()}});
        EXPECT_EQ(r.status, 0) << row.name << ": " << r.err;
        EXPECT_EQ(r.err, "") << row.name;
        EXPECT_NE(r.out.find(std::string("  ~/") + row.name + "\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(" \u00B7 1 file \u00B7 "), std::string::npos) << r.out;
    }
}

TEST(InsightsCommand, OnlyEmptyFilesGiveZeroSharesAndNoAgeSection) {
    test::FakeHome home;
    // Only empty files: a kind row with 0 bytes and 0.0 %, no age section, no stale sentence.
    for (int i = 0; i < 3; ++i) test::writeFile(home / ("e/f" + std::to_string(i) + ".json"), "");
    auto r = test::runSorvel({"--insights", home / "e"}, {{"HOME", home.path()}});
    auto lines = test::lines(r.out);
    ASSERT_GE(lines.size(), 6u) << r.out;
    EXPECT_EQ(lines[4], "  WHAT'S IN HERE");
    EXPECT_EQ(lines[5], "  Code & text         " + padLeft(Bytes::format(0), 12) + "    0.0%" + "         3 files");
    EXPECT_EQ(r.out.find("HOW OLD IT IS"), std::string::npos);
    EXPECT_EQ(r.out.find("more than two years"), std::string::npos);
    EXPECT_NE(r.out.find("  LARGEST FILES"), std::string::npos);
}

TEST(InsightsCommand, AKnownFolderStartsWithItsNoteAndCloudCaveat) {
    test::FakeHome home;
    test::makeDirs(home / "Library/Messages");
    const std::string path = home / "Library/Messages";
    const auto note = PathKnowledge::note(path);
    ASSERT_TRUE(note && note->guidance);
    const auto caveat = CloudDetector::detect().caveat(path);
    ASSERT_TRUE(caveat.has_value());

    std::string expected = "\n  " + note->title + "  [WORTH REVIEWING]\n  ";
    for (int i = 0; i < 68; ++i) expected += "\u2500";
    expected += "\n" + HeadlessReport::wrap(note->what, "  ", 74) + "\n\n" +
                HeadlessReport::wrap("\u2192 " + *note->guidance, "  ", 74) + "\n\n" +
                HeadlessReport::wrap((caveat->isBlocking ? "!! " : "   ") + caveat->text, "  ", 74) +
                "\n\n  ~/Library/Messages\n";
    auto r = test::runSorvel({"--insights", path}, {{"HOME", home.path()}});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, expected.size()), expected);
}

// A link is described as itself wherever it points: back to itself, round a loop, to
// nothing, or to a file. A link to a folder is read where it leads, as the folder would be,
// refused or not. Run as an ordinary user, so the refused target is refused.
TEST(InsightsCommand, ALinkIsDescribedAsItselfUnlessItLeadsToAFolder) {
    const struct {
        const char* name;
        const char* target; // relative to the fake home
        const char* shown;  // the path line; none where the folder cannot be read
    } rows[] = {
        {"self", "self", "~/self"},
        {"loopA", "loopB", "~/loopA"}, // loopB points back at loopA
        {"dangling", "nothing-here", "~/dangling"},
        {"toFolder", "big", "~/big"},
        {"toRefused", "locked", nullptr},
        {"toFile", "big/data", "~/toFile"},
    };
    for (const auto& row : rows) {
        test::FakeHome home;
        test::writeFileOfSize(home / "big/data", 256 * 1024);
        test::makeDirs(home / "locked");
        ASSERT_EQ(symlink("loopA", (home / "loopB").c_str()), 0);
        ASSERT_EQ(symlink(row.target, (home / row.name).c_str()), 0);
        ASSERT_EQ(chmod((home / "locked").c_str(), 0), 0);
        const int status = test::runAsUnprivileged([&] {
            auto r = test::runSorvel({"--insights", std::string("~/") + row.name}, {{"HOME", home.path()}});
            const bool described = row.shown ? r.status == 0 && r.err.empty() &&
                                                   r.out.find(std::string("\n  ") + row.shown + "\n") != std::string::npos &&
                                                   r.out.find(" \u00B7 1 file \u00B7 ") != std::string::npos
                                             : r.status == 1 && r.err == "Cannot read: ~/toRefused (Permission denied)\n";
            if (!described) std::fprintf(stderr, "%s: status %d\n%s%s", row.name, r.status, r.out.c_str(), r.err.c_str());
            return described ? 0 : 1;
        });
        EXPECT_EQ(status, 0) << row.name;
    }
}
