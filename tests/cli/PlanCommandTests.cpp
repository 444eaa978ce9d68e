// `sorvel --plan` on a fake home: the whole plan as printed, and not one file moved.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/TextLayout.h"
#include "engine/Bytes.h"
#include "support/TestSupport.h"

using namespace sorvel;
namespace fs = std::filesystem;

namespace {

// Everything under the folder: kind, inode, size and contents, keyed by path.
std::map<std::string, std::string> snapshot(const std::string& root) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator(); it.increment(ec)) {
        struct stat st;
        if (::lstat(it->path().c_str(), &st) != 0) continue;
        std::string entry = std::to_string(st.st_mode) + ":" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_size);
        if (S_ISREG(st.st_mode)) entry += ":" + test::readFile(it->path());
        out[it->path()] = entry;
    }
    return out;
}

void giveAllToNobody(const std::string& root, const std::string& except) {
    if (::geteuid() != 0) return;
    [[maybe_unused]] int rc = ::lchown(root.c_str(), 65534, 65534);
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        if (it->path().string().rfind(except, 0) == 0) continue;
        rc = ::lchown(it->path().c_str(), 65534, 65534);
    }
}

// Runs `sorvel --plan` as the unprivileged user when we are root, so writability counts.
test::CommandResult planAsUser(const std::string& home, const std::string& scratch) {
    if (::geteuid() != 0) return test::runSorvel({"--plan"}, {{"HOME", home}});
    const std::string outFile = scratch + "/out", errFile = scratch + "/err";
    const int status = test::runAsUnprivileged([&] {
        const auto r = test::runSorvel({"--plan"}, {{"HOME", home}});
        std::ofstream(outFile, std::ios::binary) << r.out;
        std::ofstream(errFile, std::ios::binary) << r.err;
        return r.status;
    });
    return {status, test::readFile(outFile), test::readFile(errFile)};
}

std::string sizeColumn(int64_t bytes) { return TextLayout::leftPadded(Bytes::format(bytes), 11); }

} // namespace

TEST(PlanCommand, PrintsThePlanAndMovesNothing) {
    test::TempDir scratch;
    ::chmod(scratch.path().c_str(), 0777);
    test::TempDir homeDir;
    const std::string h = homeDir.path();
    test::writeFileOfSize(h + "/Library/Caches/com.example.big/blob", 6'000'000);
    test::writeFileOfSize(h + "/Library/Caches/com.example.locked/blob", 5'500'000);
    test::writeFileOfSize(h + "/Library/Caches/com.example.small/blob", 10'000);
    test::writeFileOfSize(h + "/Library/Logs/SomeApp/app.log", 1'500'000);
    test::writeFile(h + "/Library/Messages/chat.db", "history");
    test::writeFile(h + "/Documents/thesis.tex", "irreplaceable");
    test::writeFile(h + "/.local/share/Trash/files/old.txt", "deleted already");
    test::writeFile(h + "/Library/Caches/odd\nname \xFF/blob", "x");
    giveAllToNobody(h, h + "/Library/Caches/com.example.locked");
    if (::geteuid() != 0) ::chmod((h + "/Library/Caches/com.example.locked").c_str(), 0555);

    const auto before = snapshot(h);
    const auto result = planAsUser(h, scratch.path());
    const auto after = snapshot(h);

    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "Scanning\u2026\n");
    EXPECT_EQ(after, before) << "the plan must not touch the home";

    const int64_t big = test::independentTotal(h + "/Library/Caches/com.example.big");
    const int64_t locked = test::independentTotal(h + "/Library/Caches/com.example.locked");
    const int64_t logs = test::independentTotal(h + "/Library/Logs/SomeApp");
    std::string rule = "  ";
    for (int i = 0; i < 68; ++i) rule += "\u2500";
    const std::string indent(15, ' ');
    const std::string expected =
        "\n"
        "  Cleanup plan \u2014 dry run, nothing moved\n" +
        rule + "\n" +
        "  2 of 3 targets passed every safety check\n"
        "  " + Bytes::format(big + logs) + " would move to the Trash\n"
        "\n"
        "  REFUSED\n"
        "  " + sizeColumn(locked) + "  ~/Library/Caches/com.example.locked" + std::string(11, ' ') +
        "  not writable by you\n"
        "\n"
        "  WOULD MOVE TO TRASH\n"
        "\n"
        "  " + sizeColumn(big) + "  ~/Library/Caches/com.example.big\n" +
        indent + "Cached data written by com.example.big. Caches hold things\n" +
        indent + "an app can recreate \u2014 downloads, thumbnails, computed\n" +
        indent + "results.\n" +
        indent + "\u2192 Rebuilt the next time that app needs it.\n"
        "\n"
        "  " + sizeColumn(logs) + "  ~/Library/Logs/SomeApp\n" +
        indent + "One of the items in Logs. Diagnostic output written by the\n" +
        indent + "app.\n" +
        indent + "\u2192 Safe to remove unless you are chasing a bug right now.\n"
        "\n"
        "  Nothing was moved. Acting on this requires confirming in the app.\n"
        "\n";
    EXPECT_EQ(result.out, expected);
}
