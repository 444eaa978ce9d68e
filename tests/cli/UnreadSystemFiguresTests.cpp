// What the report cannot read of the system is said, never a zero: VM & Swap when the
// kernel's list of swap files cannot be read, a swap file whose name was deleted, and the
// disk's figures when the home cannot be reached (the root file system's, else "not measured").
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <sys/statvfs.h>

#include "cli/ScanReport.h"
#include "engine/Bytes.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

bool contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

const nlohmann::json* categoryOf(const nlohmann::json& doc, const std::string& id) {
    for (const auto& c : doc.at("categories"))
        if (c.at("id") == id) return &c;
    return nullptr;
}

} // namespace

TEST(UnreadSystemFigures, VmAndSwapSaysItsListIsNotReadableAndWhy) {
    FakeHome home;
    const std::string sys = home.systemRoot();
    writeFile(sys + "/proc/swaps", "Filename Type Size Used Priority\n/swapfile file 4 0 -2\n");
    writeFileOfSize(sys + "/swapfile", 40'000);
    ASSERT_EQ(::chmod((sys + "/proc/swaps").c_str(), 0), 0);
    const std::map<std::string, std::string> env{{"HOME", home.path()}, {"SORVEL_SYSTEM_ROOT", sys},
                                                 {"XDG_CONFIG_HOME", home.path() + "/.config"}};
    const int status = runAsUnprivileged([&] {
        int wrong = 0;
        const auto text = runSorvel({"--report"}, env);
        if (text.status != 0) wrong |= 1;
        size_t row = text.out.find("  VM & Swap ");
        const std::string line = row == std::string::npos ? "" : text.out.substr(row, text.out.find('\n', row) - row);
        if (!contains(line, "(not readable: ") || !contains(line, "/proc/swaps: Permission denied")) wrong |= 2;
        if (contains(line, "0 KB")) wrong |= 4;
        const auto json = runSorvel({"--report", "--json"}, env);
        const auto doc = nlohmann::json::parse(json.out, nullptr, false);
        const nlohmann::json* swap = doc.is_discarded() ? nullptr : categoryOf(doc, "vmSwap");
        if (!swap || swap->at("notReadable") != true || !swap->contains("notReadableWhy")) wrong |= 8;
        return wrong;
    });
    EXPECT_EQ(status, 0);
}

TEST(UnreadSystemFigures, ASwapFileWhoseNameWasDeletedIsNamedSo) {
    struct Case {
        const char* name;
        bool fileAtThatName; // a file really called "swapfile (deleted)"
    };
    for (const Case c : {Case{"the name is gone", false}, Case{"a file is called so", true}}) {
        FakeHome home;
        const std::string sys = home.systemRoot();
        writeFile(sys + "/proc/swaps", "Filename Type Size Used Priority\n/swapfile\\040(deleted) file 4 0 -2\n");
        if (c.fileAtThatName) writeFileOfSize(sys + "/swapfile (deleted)", 40'000);
        const auto r = runSorvel({"--report"}, {{"HOME", home.path()}, {"SORVEL_SYSTEM_ROOT", sys}});
        ASSERT_EQ(r.status, 0) << r.err;
        std::string out = r.out; // the note as one line, whatever the wrapping
        for (size_t at = out.find("\n    "); at != std::string::npos; at = out.find("\n    ", at)) out.replace(at, 5, " ");
        const bool named = contains(out, "/swapfile (deleted): a swap file in use whose name was deleted");
        EXPECT_EQ(named, !c.fileAtThatName) << c.name << "\n" << r.out;
        // A file of that name is itself the swap file, measured as one.
        const auto json = nlohmann::json::parse(runSorvel({"--report", "--json"}, {{"HOME", home.path()}, {"SORVEL_SYSTEM_ROOT", sys}}).out);
        EXPECT_EQ(categoryOf(json, "vmSwap")->at("bytes").get<long long>(),
                  c.fileAtThatName ? allocatedSize(sys + "/swapfile (deleted)") : 0)
            << c.name;
    }
}

TEST(UnreadSystemFigures, AHomeThatCannotBeReachedTakesTheRootFileSystemsFigures) {
    TempDir locked;
    const std::string home = locked.path() + "/away/home";
    makeDirs(home);
    ASSERT_EQ(::chmod((locked.path() + "/away").c_str(), 0700), 0);
    struct statvfs root {};
    ASSERT_EQ(::statvfs("/", &root), 0);
    const long long total = static_cast<long long>(root.f_blocks) * static_cast<long long>(root.f_frsize);
    TempDir system;
    const int status = runAsUnprivileged([&] {
        const auto r = runSorvel({"--report", "--json"}, {{"HOME", home}, {"SORVEL_SYSTEM_ROOT", system.path()}});
        const auto doc = nlohmann::json::parse(r.out, nullptr, false);
        if (doc.is_discarded()) return 1;
        const auto& volume = doc.at("volume");
        if (!volume.at("totalBytes").is_number() || volume.at("totalBytes").get<long long>() != total) return 2;
        if (volume.at("usedBytes").get<long long>() <= 0) return 4;
        const auto text = runSorvel({"--report"}, {{"HOME", home}, {"SORVEL_SYSTEM_ROOT", system.path()}});
        if (!contains(text.out, "  Disk        " + Bytes::format(total) + " total")) return 8;
        return 0;
    });
    EXPECT_EQ(status, 0);
}

TEST(UnreadSystemFigures, DiskFiguresNoOneCouldReadAreNotMeasuredNeverZero) {
    ScanResult result;
    result.volume.measured = false;
    const std::string text = HeadlessReport::scanReportText(result);
    EXPECT_TRUE(contains(text, "  Disk        not measured")) << text;
    EXPECT_FALSE(contains(text, "total")) << text;
    const auto json = nlohmann::json::parse(*HeadlessReport::scanReportJSON(result));
    EXPECT_EQ(json.at("volume").at("notMeasured"), true);
    EXPECT_TRUE(json.at("volume").at("totalBytes").is_null());
}
