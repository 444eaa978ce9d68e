// `--docker`: the state line, the note, the groups with their entries and commands.
#include <gtest/gtest.h>

#include "cli/DockerCommand.h"
#include "engine/Bytes.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;
using State = DockerUsage::State;

namespace {

bool contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

std::string rule() {
    std::string r;
    for (int i = 0; i < 68; ++i) r += "\u2500";
    return r;
}

const std::string kHead = "\n  Docker\n  " + rule() + "\n";
const std::string kFoot = "\n  Lines marked \u00B7 are not used by anything running.\n"
                          "  Sorvel does not run any of these commands.\n\n";

DockerUsage::Entry entry(const std::string& name, int64_t size, bool reclaimable,
                         std::optional<std::string> detail = std::nullopt) {
    return DockerUsage::Entry{name, name, std::move(detail), size, reclaimable, "docker rm " + name};
}

} // namespace

TEST(DockerCommand, NotInstalledPrintsTheStateAndTheNoteOnly) {
    DockerUsage usage{State::notInstalled, {}, "Install Docker Engine to see what it holds."};
    EXPECT_EQ(HeadlessReport::dockerReport(usage),
              kHead + "  Docker is not installed.\n\n  Install Docker Engine to see what it holds.\n\n");
}

TEST(DockerCommand, NotRespondingWrapsTheNote) {
    TempDir dir;
    const auto usage = DockerInspector::inspect(writeScript(dir, "docker", "exit 1"));
    EXPECT_EQ(HeadlessReport::dockerReport(usage),
              kHead +
                  "  Docker is installed but its daemon is not responding.\n"
                  "\n"
                  "  Docker's daemon is not running. Starting the Docker service (systemctl\n"
                  "  start docker) lets Sorvel read its disk use.\n"
                  "\n");
}

TEST(DockerCommand, ADaemonThatAnswersOnlyWithAnErrorIsNoZero) {
    TempDir dir;
    const auto usage = DockerInspector::inspect(
        writeScript(dir, "docker", "echo 'Cannot connect: context deadline exceeded' >&2; exit 0"));
    const std::string report = HeadlessReport::dockerReport(usage);
    EXPECT_EQ(report, kHead +
                          "  Docker is installed but its daemon is not responding.\n"
                          "\n"
                          "  Docker's daemon could not be read: Cannot connect: context deadline\n"
                          "  exceeded\n"
                          "\n");
    EXPECT_FALSE(contains(report, "Connected.")) << report;
    EXPECT_FALSE(contains(report, " total")) << report;
}

TEST(DockerCommand, ReadyWithNothingPrintsZeroTotals) {
    DockerUsage usage{State::ready, {}, std::nullopt};
    const std::string zero = Bytes::format(0);
    EXPECT_EQ(HeadlessReport::dockerReport(usage),
              kHead + "  Connected.\n\n  " + zero + " total \u00B7 " + zero + " reclaimable\n" + kFoot);

    usage.groups.push_back(DockerUsage::Group{"images", "Images", 0, 0, {}, "docker image prune -a"});
    EXPECT_TRUE(contains(HeadlessReport::dockerReport(usage),
                         "\n  IMAGES \u2014 " + zero + " total, " + zero + " reclaimable\n"
                         "    remove everything unused here:  docker image prune -a\n"));
}

TEST(DockerCommand, GroupsListTwelveEntriesAndCountTheRest) {
    DockerUsage usage{State::ready, {}, std::nullopt};
    DockerUsage::Group volumes{"volumes", "Volumes", 15'000'000, 2'000'000, {}, std::nullopt};
    for (int i = 0; i < 15; ++i)
        volumes.entries.push_back(entry("vol" + std::to_string(i), 1'000'000, i < 2, "in use"));
    usage.groups.push_back(volumes);
    usage.groups.push_back(DockerUsage::Group{"build-cache", "Build cache", 3'000'000'000, 1'000'000'000, {},
                                              "docker builder prune -a"});
    const std::string text = HeadlessReport::dockerReport(usage);
    EXPECT_TRUE(contains(text, "\n  3.02 GB total \u00B7 1 GB reclaimable\n")) << text;
    EXPECT_TRUE(contains(text, "\n  VOLUMES \u2014 15 MB total, 2 MB reclaimable\n"
                               "  \u00B7        1 MB  vol0" + std::string(40, ' ') + "  in use\n")) << text;
    EXPECT_TRUE(contains(text, "\n           1 MB  vol11" + std::string(39, ' ') + "  in use\n"
                               "    \u2026 and 3 more\n\n  BUILD CACHE \u2014 3 GB total, 1 GB reclaimable\n"
                               "    remove everything unused here:  docker builder prune -a\n"))
        << text;
    EXPECT_FALSE(contains(text, "vol12")) << text;
    // The volume group has no prune command here, so only the build cache prints one.
    EXPECT_EQ(text.find("remove everything"), text.rfind("remove everything"));
    EXPECT_EQ(text.substr(text.size() - kFoot.size()), kFoot);
}

TEST(DockerCommand, LongNamesKeepTheirTailAndMissingDetailsPrintNothing) {
    DockerUsage usage{State::ready, {}, std::nullopt};
    const std::string name = "registry.example.com/team/very-long-service-name:2024-12-07-build";
    usage.groups.push_back(DockerUsage::Group{"images", "Images", 1, 0, {entry(name, 1'500'000, false)},
                                              "docker image prune -a"});
    const std::string text = HeadlessReport::dockerReport(usage);
    EXPECT_TRUE(contains(text, "\n         1.5 MB  \u2026" + name.substr(name.size() - 43) + "  \n")) << text;
}

TEST(DockerCommand, EndToEndOnThisMachine) {
    // Whatever this machine has, the command answers within the deadline and exits 0.
    auto r = runSorvel({"--docker"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind(kHead + "  ", 0), 0u) << r.out;
    if (!DockerInspector::dockerPath()) {
        EXPECT_EQ(r.out, kHead + "  Docker is not installed.\n\n"
                                 "  Install Docker Engine to see what its images, containers and volumes take\n"
                                 "  up.\n\n");
    } else {
        EXPECT_TRUE(contains(r.out, "  Docker is installed but its daemon is not responding.\n") ||
                    contains(r.out, "  Connected.\n"))
            << r.out;
        EXPECT_FALSE(contains(r.out, "Docker Desktop")) << r.out;
    }
}

TEST(DockerCommand, TotalsOfHugeGroupsStopAtTheLimitInsteadOfWrapping) {
    constexpr int64_t kHuge = 9'000'000'000'000'000'000;
    DockerUsage usage{State::ready, {}, std::nullopt};
    usage.groups.push_back(DockerUsage::Group{"images", "Images", kHuge, kHuge, {}, std::nullopt});
    usage.groups.push_back(DockerUsage::Group{"volumes", "Volumes", kHuge, kHuge, {}, std::nullopt});
    const std::string most = Bytes::format(INT64_MAX);
    EXPECT_TRUE(contains(HeadlessReport::dockerReport(usage),
                         "\n  " + most + " total \u00B7 " + most + " reclaimable\n"));
}
