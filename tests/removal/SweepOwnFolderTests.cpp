// Own folders that would take the home with them: refused when added, skipped by the
// runner when a stored schedule still names one.
#include <gtest/gtest.h>

#include <unistd.h>

#include "platform/MountTable.h"
#include "platform/Path.h"
#include "removal/CleanupExecutor.h"
#include "removal/OwnFolder.h"
#include "removal/SweepRunner.h"
#include "support/TestSupport.h"

using namespace sorvel;

TEST(SweepOwnFolderRefusal, FoldersHoldingTheHomeAreRefusedOthersPass) {
    test::TempDir root;
    const std::string h = root / "home/ann";
    test::makeDirs(h + "/Documents");
    test::makeDirs(root / "home/annex");
    test::makeDirs(root / "elsewhere");
    ASSERT_EQ(::symlink(h.c_str(), (root / "elsewhere/to-home").c_str()), 0);
    ASSERT_EQ(::symlink((root / "home").c_str(), (root / "elsewhere/to-parent").c_str()), 0);
    test::ScopedEnv home("HOME", h);

    const std::string isHome = "is your home folder, so Sorvel can't sweep it. Add a folder inside it instead.";
    const std::string holds =
        "holds your home folder, so Sorvel can't sweep it. Add a folder inside your home instead.";
    struct Case {
        std::string folder;
        std::optional<std::string> reason;
    };
    const Case cases[] = {
        {"/", "\u201C/\u201D " + holds},
        {root / "home", "\u201C" + root / "home" + "\u201D " + holds},
        {root / "home/", "\u201C" + root / "home" + "\u201D " + holds},
        {h, "\u201C" + h + "\u201D " + isHome},
        {"~", "\u201C" + h + "\u201D " + isHome},
        {"~/Documents/..", "\u201C" + h + "\u201D " + isHome},
        {root / "elsewhere/to-home", "\u201C" + root / "elsewhere/to-home" + "\u201D " + isHome},
        {root / "elsewhere/to-parent", "\u201C" + root / "elsewhere/to-parent" + "\u201D " + holds},
        {"~/Documents", std::nullopt},
        {root / "home/annex", std::nullopt}, // only begins like the home's path
        {root / "elsewhere", std::nullopt},
        {root / "missing/folder", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(OwnFolder::refusal(c.folder), c.reason) << c.folder;
}

namespace {

struct SweepHome {
    test::FakeHome home;
    test::ScopedEnv xdg{"XDG_CONFIG_HOME", std::nullopt};
    std::string h = home.path();

    SweepHome() {
        test::writeFile(h + "/Documents/thesis.txt", "years of work");
        test::writeFile(h + "/Downloads/setup.bin", "installer");
        test::writeFileOfSize(h + "/Projects/scratch/build/out.o", 100'000);
        test::makeDirs(h + "/.Trash");
    }
};

SweepRunner::Outcome cleanOnly(std::vector<std::string> folders) {
    SweepSchedule s;
    s.rules = SweepSchedule::RuleSelection::only({});
    s.action = SweepSchedule::Action::clean;
    s.folders = std::move(folders);
    return SweepRunner::run(s, SweepRun::Trigger::scheduled, CloudStatus{});
}

} // namespace

TEST(SweepOwnFolderRunner, AStoredScheduleThatHoldsTheHomeSkipsThatFolderAndSaysSo) {
    SweepHome home;
    const std::string h = home.h;
    struct Case {
        std::vector<std::string> folders;
        std::vector<std::string> moved;
    };
    const Case cases[] = {
        {{h}, {}},
        {{"/"}, {}},
        {{deletingLastPathComponent(h), h + "/Projects/scratch"}, {h + "/Projects/scratch/build"}},
    };
    for (int run = 0; run < 2; ++run) { // the second run would have found the store
        for (const auto& c : cases) {
            if (!test::exists(h + "/Projects/scratch/build"))
                test::writeFileOfSize(h + "/Projects/scratch/build/out.o", 100'000);
            auto out = cleanOnly(c.folders);
            std::vector<std::string> moved;
            for (const auto& o : out.outcomes)
                if (o.moved()) moved.push_back(o.path);
            EXPECT_EQ(moved, c.moved) << c.folders[0];
            EXPECT_EQ(out.receipt.movedCount, static_cast<int64_t>(c.moved.size()));
            ASSERT_TRUE(out.receipt.withheldReason.has_value()) << c.folders[0];
            EXPECT_NE(out.receipt.withheldReason->find("so Sorvel can't sweep it"), std::string::npos);
            EXPECT_EQ(SweepReceipt::loadLast(), out.receipt);
            EXPECT_TRUE(test::exists(h + "/Documents/thesis.txt"));
            EXPECT_TRUE(test::exists(h + "/Downloads/setup.bin"));
            EXPECT_TRUE(test::exists(h + "/.config/sorvel/defaults.json"));
        }
    }
}

// A folder that is, lies in or holds a place the standard policy protects: refused like
// the home, naming that place.
TEST(SweepOwnFolderRefusal, FoldersAtOrAroundProtectedPlacesAreRefused) {
    test::FakeHome home;
    test::ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    const std::string h = home.path();
    for (const char* d : {"/Library/Mail/V10", "/Library/Preferences", "/Library/Caches/app", "/Pictures/2019",
                          "/.config/sorvel", "/Projects"})
        test::makeDirs(h + d);
    ASSERT_EQ(::symlink((h + "/Library").c_str(), (h + "/Projects/lib").c_str()), 0);
    const std::pair<std::string, const char*> cases[] = {
        {h + "/Library", "\u201C~/Library\u201D is your Library folder"},
        {h + "/Projects/lib", "\u201C~/Projects/lib\u201D is your Library folder"},
        {h + "/Library/Mail", "\u201C~/Library/Mail\u201D is a protected location (~/Library/Mail)"},
        {h + "/Library/Mail/V10", "is inside a protected location (~/Library/Mail)"},
        {h + "/Pictures/2019", "is inside a protected location (~/Pictures)"},
        // The settings folder is protected whole (every app's settings, the store among them).
        {h + "/.config", "\u201C~/.config\u201D is a protected location (~/.config), so Sorvel can't sweep it."},
        {h + "/.config/sorvel", "is a protected location (~/.config/sorvel)"},
        {"/usr/share", "\u201C/usr/share\u201D is inside a protected location (/usr)"},
        // Relative ones would be swept wherever Sorvel runs.
        {"Library",
         "\u201CLibrary\u201D is not a full path, so Sorvel can't sweep it. Add the folder by its full path instead."},
        {".", "\u201C.\u201D is not a full path"},
        {"Projects/..", "\u201CProjects/..\u201D is not a full path"},
        {"", "\u201C\u201D is not a full path"},
        {h + "/Library/Caches", nullptr},
        {h + "/Library/Caches/app", nullptr},
        {h + "/Library/Preferences", nullptr},
        {h + "/Projects", nullptr},
    };
    for (const auto& [folder, reason] : cases) {
        const auto refusal = OwnFolder::refusal(folder);
        EXPECT_EQ(refusal.has_value(), reason != nullptr) << folder;
        EXPECT_NE(refusal.value_or("").find(reason ? reason : ""), std::string::npos) << refusal.value_or("");
    }
}

TEST(SweepOwnFolderRunner, AStoredLibraryOrRelativeFolderIsSkippedWithItsReason) {
    SweepHome home;
    const std::string h = home.h;
    const char* kept[] = {"/Library/Preferences/app.conf", "/Library/Saved Application State/app/window",
                          "/Library/Mail/V10/inbox"};
    for (const char* file : kept) test::writeFileOfSize(h + file, 8'000);
    const auto out = cleanOnly({h + "/Library", "Documents", ".", h + "/Projects/scratch"});
    std::vector<std::string> moved;
    for (const auto& o : out.outcomes)
        if (o.moved()) moved.push_back(o.path);
    EXPECT_EQ(moved, std::vector<std::string>{h + "/Projects/scratch/build"});
    EXPECT_EQ(out.receipt.refusedCount, 3); // skipped folders count under "Skipped"
    for (const char* reason : {"\u201C~/Library\u201D is your Library folder", "\u201CDocuments\u201D is not a full path",
                               "\u201C.\u201D is not a full path"})
        EXPECT_NE(out.receipt.withheldReason.value_or("").find(reason), std::string::npos) << reason;
    for (const char* file : kept) EXPECT_TRUE(test::exists(h + file)) << file;
}

// ~/Library is refused for what it is, under any name, whether or not it exists or holds
// anything protected today.
TEST(SweepOwnFolderRefusal, TheLibraryFolderIsRefusedByItsNameUnderAnySpelling) {
    test::TempDir elsewhere;
    const std::string lib = resolvingExistingPart(elsewhere / "lib");
    test::makeDirs(lib + "/Preferences");
    const auto says = [](const std::string& name) {
        return "\u201C" + name + "\u201D is your Library folder, so Sorvel can't sweep it. Add a folder inside it instead.";
    };
    for (bool exists : {false, true}) {
        test::FakeHome home;
        const std::string h = home.path();
        EXPECT_TRUE(!exists || ::symlink(lib.c_str(), (h + "/Library").c_str()) == 0);
        for (const auto& folder : {h + "/Library", std::string("~/Library/"), h + "/Documents/../Library"})
            EXPECT_EQ(OwnFolder::refusal(folder), says("~/Library")) << folder;
        if (!exists) continue;
        EXPECT_EQ(OwnFolder::refusal(lib), says(lib)); // where the link leads
        EXPECT_EQ(OwnFolder::refusal(lib + "/Preferences"), std::nullopt);
    }
}

// HOME=u names a folder relative to wherever Sorvel runs: nothing can be told apart from
// it, so nothing is swept or moved.
TEST(SweepOwnFolderRefusal, ARelativeHomeRefusesOwnFoldersAndMovesAndSaysWhy) {
    test::TempDir dir;
    const std::string d = resolvingExistingPart(dir.path());
    test::writeFile(d + "/u/Documents/thesis.txt", "years of work");
    test::writeFile(d + "/own/junk/x", "junk");
    test::makeDirs(d + "/data");
    const int status = test::runInChild([&] {
        if (::chdir(d.c_str()) != 0) return 100;
        ::setenv("HOME", "u", 1);
        ::setenv("XDG_DATA_HOME", (d + "/data").c_str(), 1); // a Trash inside the test's own folder
        ::setenv("XDG_CONFIG_HOME", (d + "/config").c_str(), 1);
        const auto policy = CleanupPolicy::standard().allowing({d});
        const std::vector<CleanupExecutor::PathSize> paths{{d + "/u", 0}, {d + "/own/junk", 0}};
        for (const auto& o : CleanupExecutor::run(paths, CleanupExecutor::Mode::moveToTrash, policy, {}))
            if (!o.refusal() || *o.refusal() != CleanupGuard::Refusal::homeUnknown("u")) return o.moved() ? 1 : 2;
        if (!test::exists(d + "/u/Documents/thesis.txt") || !test::exists(d + "/own/junk/x")) return 3;
        const auto reason = OwnFolder::refusal(d + "/own");
        return reason && reason->find("is set to \u201Cu\u201D, which is not a full path") != std::string::npos ? 0 : 4;
    });
    EXPECT_EQ(status, 0) << "1: moved, 2: refused for another reason, 3: something went, 4: the own folder was accepted";
    EXPECT_NE(CleanupGuard::Refusal::homeUnknown("u").description().find("\u201Cu\u201D, which is not a full path"),
              std::string::npos);
}
