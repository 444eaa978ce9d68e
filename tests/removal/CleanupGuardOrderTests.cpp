// Every refusal of the guard, in its order, with its exact clause. The checks run as an
// unprivileged user so the writability test means something under CI's root.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "engine/Bytes.h"
#include "removal/CleanupGuard.h"
#include "removal/GuardFixtures.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::CleanupGuard::Refusal;

namespace {

// Runs the check in an unprivileged child and hands back the clause ("" = passes).
std::string clauseAsUnprivileged(const std::string& path, int64_t recorded, const CleanupPolicy& policy,
                                 const std::optional<CloudStatus>& cloud) {
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    const int status = test::runAsUnprivileged([&] {
        close(fds[0]);
        auto refusal = CleanupGuard::check(path, recorded, policy, cloud);
        const std::string text = refusal ? refusal->description() : "";
        const bool ok = write(fds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
        close(fds[1]);
        return ok ? 0 : 1;
    });
    close(fds[1]);
    std::string out;
    char buffer[512];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    if (status != 0) return "child failed";
    return out;
}

struct Row {
    const char* situation;
    std::string path;
    int64_t recorded;
    bool withCloud;
    std::string clause;
};

} // namespace

TEST(CleanupGuardOrder, EveryRefusalInItsOrderWithItsClause) {
    test::FakeHome home;
    const std::string h = home.path();
    const long long block = test::blockSize(h);

    test::makeDirs(h + "/Library/Caches");
    test::makeDirs(h + "/Library/Messages/Attachments");
    test::writeFile(h + "/Library/Application Support/MobileSync/Backup/old/Info.plist", "x");
    // A symbolic link to a file the user may not write: the link is reported, not the file.
    test::writeFile(h + "/Library/Caches/big.bin", std::string(8 * block, 'b'));
    ::chmod((h + "/Library/Caches/big.bin").c_str(), 0444);
    ::symlink((h + "/Library/Caches/big.bin").c_str(), (h + "/Library/Caches/link").c_str());
    // Not writable, and also far from its recorded size: the cheaper test wins.
    test::writeFile(h + "/Library/Caches/readonly.db", std::string(block, 'r'));
    ::chmod((h + "/Library/Caches/readonly.db").c_str(), 0444);
    // Writable by the checking user but grown well past its recorded size.
    test::writeFile(h + "/Library/Caches/growing.log", std::string(3 * block, 'g'));
    test::giveToNobody(h + "/Library/Caches/growing.log");
    test::writeFile(h + "/Library/Caches/steady/data", std::string(2 * block, 's'));
    test::giveToNobody(h + "/Library/Caches/steady");
    test::giveToNobody(h + "/Library/Caches/steady/data");
    // A Trash the checking user's move could make: without one, nothing passes.
    test::giveToNobody(h + "/.local/share");

    // Messages is left undenied here so the iCloud test can be reached.
    CleanupPolicy policy = CleanupPolicy::standard().allowing({h + "/Library/Messages", h});
    policy.deniedPrefixes.erase(policy.deniedPrefixes.begin()); // home/Library/Messages

    const std::string grown = Bytes::format(block) + " → " + Bytes::format(3 * block);
    const std::vector<Row> rows = {
        {"protected, and missing too", h + "/Library/Application Support/MobileSync/Backup/gone", 0, true,
         "protected location (~/Library/Application Support/MobileSync)"},
        {"holds a protected folder", h + "/Library", 0, true, "protected location (~/Library/Mail)"},
        {"outside, and missing too", "/nowhere/at/all", 0, true, "outside the folders Sorvel is allowed to touch"},
        {"an allowed root itself", h + "/Library/Caches/", 0, true,
         "this is the root of an allowed folder, not something inside it"},
        {"synced by iCloud, and missing too", h + "/Library/Messages/Attachments/gone", 0, true,
         "synced by iCloud; removing the local copy may not free space and may affect other devices"},
        {"missing", h + "/Library/Caches/gone", 10, true, "no longer exists"},
        {"a link to a read-only file", h + "/Library/Caches/link", 1, true,
         "is a symlink — removing it would not free the space it points at"},
        {"read-only and resized", h + "/Library/Caches/readonly.db", 100 * block, true, "not writable by you"},
        {"grown past the tolerance", h + "/Library/Caches/growing.log", block, true,
         "changed since the scan (" + grown + "); something is still writing to it"},
        {"passes", h + "/Library/Caches/steady", 2 * block, true, ""},
    };
    const auto cloud = test::cloudWithMessages(CloudState::unknown);
    for (const auto& row : rows) {
        EXPECT_EQ(clauseAsUnprivileged(row.path, row.recorded, policy,
                                       row.withCloud ? std::optional<CloudStatus>(cloud) : std::nullopt),
                  row.clause)
            << row.situation;
    }
}

TEST(CleanupGuardOrder, RefusalsCompareByCaseAndPayload) {
    EXPECT_EQ(Refusal::protectedPath("/System"), Refusal::protectedPath("/System"));
    EXPECT_NE(Refusal::protectedPath("/System"), Refusal::protectedPath("/usr"));
    EXPECT_EQ(Refusal::sizeChanged(1, 2), Refusal::sizeChanged(1, 2));
    EXPECT_NE(Refusal::sizeChanged(1, 2), Refusal::sizeChanged(1, 3));
    EXPECT_NE(Refusal::notFound(), Refusal::isSymlink());
    // A negative count is shown as zero.
    EXPECT_EQ(Refusal::sizeChanged(-5, 1000).description(),
              "changed since the scan (" + Bytes::format(0) + " → " + Bytes::format(1000) +
                  "); something is still writing to it");
}
