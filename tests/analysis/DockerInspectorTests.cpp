// The Docker inspector against stand-in tools that answer like Docker's command line.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <tuple>

#include "analysis/DockerInspector.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;
using State = DockerUsage::State;

namespace {

const std::string kDot = " \u00B7 ";

struct Answers {
    std::string df, images, containers, volumes, dangling, verbose, danglingImages, version;
    int imagesStatus = 0, containersStatus = 0, volumesStatus = 0, danglingStatus = 0, danglingImagesStatus = 0,
        verboseStatus = 0;
};

const Answers kBusyDaemon{
    R"J({"Active":"2","Reclaimable":"1.2GB (50%)","Size":"2.4GB","TotalCount":"5","Type":"Images"}
{"Active":"1","Reclaimable":"12.3kB (10%)","Size":"120kB","TotalCount":"3","Type":"Containers"}
{"Active":"1","Reclaimable":"50MB (62%)","Size":"80MB","TotalCount":"2","Type":"Local Volumes"}
{"Active":"0","Reclaimable":"0B","Size":"1.5GB","TotalCount":"10","Type":"Build Cache"}
)J",
    R"J({"Containers":"N/A","CreatedAt":"2024-01-01 10:00:00 +0000 UTC","CreatedSince":"3 months ago","Digest":"\u003cnone\u003e","ID":"5f1e2c3b4a59","Repository":"postgres","SharedSize":"N/A","Size":"432MB","Tag":"16","UniqueSize":"N/A","VirtualSize":"432.1MB"}
{"Containers":"1","CreatedSince":"2 weeks ago","ID":"a1b2c3d4e5f6","Repository":"web","Size":"1.1GB","Tag":"latest"}
{"Containers":"0","CreatedSince":"5 weeks ago","ID":"0badc0ffee00","Repository":"\u003cnone\u003e","Size":"250MB","Tag":"\u003cnone\u003e"}
not json at all
["an","array"]
{"Containers":0,"ID":"77aa88bb99cc","Repository":"redis","Tag":"7","Size":"432MB"}
)J",
    R"J({"Command":"\"docker-entrypoint.s…\"","ID":"3f4e5d6c7b8a","Image":"postgres:16","Names":"db","RunningFor":"2 hours ago","Size":"63B (virtual 432MB)","State":"running","Status":"Up 2 hours"}
{"ID":"9e8d7c6b5a4f","Image":"web:latest","Names":"old-web","Size":"12.2kB (virtual 1.1GB)","State":"exited","Status":"Exited (0) 3 days ago"}
{"ID":"1a2b3c4d5e6f","Image":"web:latest","Size":"0B (virtual 1.1GB)"}
)J",
    R"J({"Driver":"local","Mountpoint":"/var/lib/docker/volumes/pgdata/_data","Name":"pgdata","Scope":"local","Size":"N/A"}
{"Driver":"local","Name":"orphan-cache","Scope":"local","Size":"50MB"}
)J",
    "orphan-cache\n\n",
    // The verbose report counts the containers of each image, which the listing leaves "N/A".
    R"J({"Images":[{"Containers":"1","ID":"sha256:5f1e2c3b4a59aa11","Repository":"postgres","Size":"432MB","Tag":"16"},{"Containers":"0","ID":"sha256:0badc0ffee00bb22","Size":"250MB"}],"Volumes":[{"Name":"orphan-cache","Size":"50MB","Links":"0"}]})J",
    "0badc0ffee00\n",
    R"J({"Client":{"ApiVersion":"1.41"},"Server":{"ApiVersion":"1.41"}})J"};

// A stand-in for the tool: answers the read-only listings, logs every call, refuses the rest.
std::string fakeDocker(const TempDir& dir, const Answers& a, const std::string& name = "docker") {
    auto part = [&](const std::string& key, const std::string& text, int status) {
        writeFile(dir / (name + "." + key), text);
        return "cat '" + dir / (name + "." + key) + "'; exit " + std::to_string(status);
    };
    return writeScript(
        dir, name,
        "echo \"$*\" >> '" + dir / (name + ".log") + "'\n"
        "case \"$*\" in\n"
        "  'system df --format {{json .}}') " + part("df", a.df, 0) + " ;;\n"
        "  'system df -v --format {{json .}}') " + part("verbose", a.verbose, a.verboseStatus) + " ;;\n"
        "  'image ls --format {{json .}}') " + part("images", a.images, a.imagesStatus) + " ;;\n"
        "  'image ls --filter dangling=true --quiet') " + part("dimages", a.danglingImages, a.danglingImagesStatus) + " ;;\n"
        "  'ps --all --size --format {{json .}}') " + part("ps", a.containers, a.containersStatus) + " ;;\n"
        "  'volume ls --format {{json .}}') " + part("volumes", a.volumes, a.volumesStatus) + " ;;\n"
        "  'volume ls --filter dangling=true --quiet') " + part("dangling", a.dangling, a.danglingStatus) + " ;;\n"
        "  'version --format {{json .}}') " + part("version", a.version, 0) + " ;;\n"
        "  *) echo unexpected >&2; exit 64 ;;\n"
        "esac");
}

std::string log(const TempDir& dir, const std::string& name = "docker") { return readFile(dir / (name + ".log")); }

const DockerUsage::Group* find(const DockerUsage& usage, const std::string& id) {
    for (const auto& g : usage.groups)
        if (g.id == id) return &g;
    return nullptr;
}

} // namespace

TEST(DockerInspector, ReadsEveryGroupFromABusyDaemon) {
    TempDir dir;
    const auto usage = DockerInspector::inspect(fakeDocker(dir, kBusyDaemon));
    ASSERT_EQ(usage.state, State::ready);
    EXPECT_EQ(usage.note, std::nullopt);
    ASSERT_EQ(usage.groups.size(), 4u);
    EXPECT_EQ(usage.groups[0].id, "images");
    EXPECT_EQ(usage.groups[1].id, "containers");
    EXPECT_EQ(usage.groups[2].id, "volumes");
    EXPECT_EQ(usage.groups[3].id, "build-cache");

    const auto& images = usage.groups[0];
    EXPECT_EQ(images.title, "Images");
    EXPECT_EQ(images.total, 2'400'000'000);
    EXPECT_EQ(images.reclaimable, 1'200'000'000);
    EXPECT_EQ(images.pruneCommand, "docker image prune -a");
    ASSERT_EQ(images.entries.size(), 4u);
    // Largest first; the two of 432 MB keep their listing order.
    EXPECT_EQ(images.entries[0].name, "web:latest");
    EXPECT_EQ(images.entries[0].detail, "created 2 weeks ago" + kDot + "in use");
    EXPECT_FALSE(images.entries[0].isReclaimable);
    // The listing says "N/A"; the verbose report knows a container uses it.
    EXPECT_EQ(images.entries[1].name, "postgres:16");
    EXPECT_EQ(images.entries[1].detail, "created 3 months ago" + kDot + "in use");
    EXPECT_FALSE(images.entries[1].isReclaimable);
    EXPECT_EQ(images.entries[1].removeCommand, "docker rmi postgres:16");
    EXPECT_EQ(images.entries[2].name, "redis:7");
    EXPECT_EQ(images.entries[2].detail, "not used by any container");
    EXPECT_TRUE(images.entries[2].isReclaimable);
    EXPECT_EQ(images.entries[3].name, "<untagged> 0badc0ffee00");
    EXPECT_EQ(images.entries[3].detail, "created 5 weeks ago" + kDot + "dangling" + kDot + "not used by any container");
    EXPECT_EQ(images.entries[3].size, 250'000'000);

    const auto& containers = usage.groups[1];
    EXPECT_EQ(containers.title, "Containers");
    EXPECT_EQ(containers.total, 120'000);
    EXPECT_EQ(containers.reclaimable, 12'300);
    EXPECT_EQ(containers.pruneCommand, "docker container prune");
    ASSERT_EQ(containers.entries.size(), 3u);
    EXPECT_EQ(containers.entries[0].name, "old-web");
    EXPECT_EQ(containers.entries[0].size, 12'200);
    EXPECT_TRUE(containers.entries[0].isReclaimable);
    EXPECT_EQ(containers.entries[0].detail, "web:latest" + kDot + "Exited (0) 3 days ago");
    EXPECT_EQ(containers.entries[1].name, "db");
    EXPECT_FALSE(containers.entries[1].isReclaimable);
    EXPECT_EQ(containers.entries[1].removeCommand, "docker rm 3f4e5d6c7b8a");
    // No name and no status: the ID stands for the name, the detail ends after the dot.
    EXPECT_EQ(containers.entries[2].name, "1a2b3c4d5e6f");
    EXPECT_EQ(containers.entries[2].detail, "web:latest" + kDot);
    EXPECT_TRUE(containers.entries[2].isReclaimable);

    const auto& volumes = usage.groups[2];
    EXPECT_EQ(volumes.title, "Volumes");
    EXPECT_EQ(volumes.total, 80'000'000);
    EXPECT_EQ(volumes.reclaimable, 50'000'000);
    ASSERT_EQ(volumes.entries.size(), 2u);
    EXPECT_EQ(volumes.entries[0].id, "orphan-cache");
    EXPECT_EQ(volumes.entries[0].detail, "not attached to any container");
    EXPECT_TRUE(volumes.entries[0].isReclaimable);
    EXPECT_EQ(volumes.entries[0].removeCommand, "docker volume rm orphan-cache");
    // Neither the listing nor the verbose report measured it.
    EXPECT_EQ(volumes.entries[1].detail, "in use" + kDot + "size not known");
    EXPECT_FALSE(volumes.entries[1].isReclaimable);

    const auto& cache = usage.groups[3];
    EXPECT_EQ(cache.title, "Build cache");
    EXPECT_EQ(cache.total, 1'500'000'000);
    EXPECT_EQ(cache.reclaimable, 0);
    EXPECT_TRUE(cache.entries.empty());
    EXPECT_EQ(cache.pruneCommand, "docker builder prune -a");

    // Only the read-only listings ran, once each, in order.
    EXPECT_EQ(log(dir), "system df --format {{json .}}\n"
                        "system df -v --format {{json .}}\n"
                        "image ls --format {{json .}}\n"
                        "image ls --filter dangling=true --quiet\n"
                        "ps --all --size --format {{json .}}\n"
                        "volume ls --format {{json .}}\n"
                        "volume ls --filter dangling=true --quiet\n"
                        "version --format {{json .}}\n");
}

TEST(DockerInspector, NoExecutableToolMeansNotInstalled) {
    TempDir dir;
    writeFile(dir / "plain", "#!/bin/sh\n");
    makeDirs(dir / "folder");
    EXPECT_EQ(DockerInspector::dockerPath({dir / "missing", dir / "plain", dir / "folder"}), std::nullopt);
    const std::string second = writeScript(dir, "second", "exit 0");
    const std::string third = writeScript(dir, "third", "exit 0");
    EXPECT_EQ(DockerInspector::dockerPath({dir / "plain", second, third}), second);
    EXPECT_EQ(DockerInspector::candidatePaths(),
              (std::vector<std::string>{"/usr/local/bin/docker", "/opt/homebrew/bin/docker", "/usr/bin/docker"}));

    const auto usage = DockerInspector::inspect(std::nullopt);
    EXPECT_EQ(usage.state, State::notInstalled);
    EXPECT_TRUE(usage.groups.empty());
    EXPECT_EQ(usage.note.value_or("Docker Desktop").find("Docker Desktop"), std::string::npos);
}

TEST(DockerInspector, ADaemonThatIsDownIsToldApartFromOneThatTimesOut) {
    TempDir dir;
    const std::string tool = writeScript(
        dir, "docker",
        "echo \"$*\" >> '" + dir / "log" + "'\n"
        "echo 'Cannot connect to the Docker daemon at unix:///var/run/docker.sock.' >&2; exit 1");
    const auto usage = DockerInspector::inspect(tool);
    EXPECT_EQ(std::tuple(usage.state, usage.groups.size()), std::tuple(State::notResponding, 0u));
    EXPECT_EQ(usage.note.value_or("").rfind("Docker's daemon is not running.", 0), 0u) << usage.note.value_or("");
    EXPECT_EQ(readFile(dir / "log"), "system df --format {{json .}}\n");
}

TEST(DockerInspector, AnAnswerThatIsNotUTF8CountsAsNone) {
    TempDir dir;
    writeFile(dir / "bad", "{\"Type\":\"Images\",\"Size\":\"1GB\xff\"}\n");
    const auto usage = DockerInspector::inspect(writeScript(dir, "docker", "cat '" + dir / "bad" + "'"));
    EXPECT_EQ(usage.state, State::notResponding);
}

TEST(DockerInspector, AHungToolIsStoppedAtTheDeadline) {
    TempDir dir;
    // It ignores the polite request too, so only the kill 200 ms later ends it.
    const std::string tool =
        writeScript(dir, "docker", "trap '' TERM\necho $$ > '" + dir / "pid" + "'\nexec sleep 30");
    const auto started = std::chrono::steady_clock::now();
    // A deadline long enough for the script to set its trap even on a loaded machine.
    const auto usage = DockerInspector::inspect(tool, std::chrono::milliseconds(2000));
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(usage.state, State::notResponding);
    EXPECT_NE(usage.note.value_or("").find("did not answer within 2 seconds"), std::string::npos);
    EXPECT_GE(took, std::chrono::milliseconds(2200));
    EXPECT_LT(took, std::chrono::seconds(20)); // far short of the tool's own 30 s
    const pid_t pid = static_cast<pid_t>(std::stol(readFile(dir / "pid")));
    EXPECT_EQ(::kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

TEST(DockerInspector, AnAnswerWhosePipeOutlivesTheToolCountsAsNone) {
    TempDir dir;
    // The tool exits at once, but something it started keeps its output open: the
    // output is never known to be complete, so it does not count.
    const std::string tool = writeScript(dir, "docker",
                                         "sleep 30 &\n"
                                         "echo '{\"Type\":\"Images\",\"Size\":\"1GB\"}'\nexit 0");
    const auto started = std::chrono::steady_clock::now();
    const auto usage = DockerInspector::inspect(tool, std::chrono::milliseconds(300));
    EXPECT_EQ(usage.state, State::notResponding);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
}

TEST(DockerInspector, AnAnsweringDaemonWithNothingIsReadyWithNoGroups) {
    TempDir dir;
    // An empty daemon still writes its accounting: an empty build cache is no group.
    Answers empty;
    empty.df = R"J({"Type":"Build Cache","Size":"0B","Reclaimable":"0B"})J" "\n";
    const auto usage = DockerInspector::inspect(fakeDocker(dir, empty));
    EXPECT_EQ(usage.state, State::ready);
    EXPECT_TRUE(usage.groups.empty());
    EXPECT_EQ(usage.note, std::nullopt);
}

// A tool that exits 0 with an error on standard error and no accounting read nothing.
TEST(DockerInspector, AnErrorBesideNoAccountingIsNoAnswer) {
    struct Row {
        const char* name;
        std::string out, err;
        State state;
        std::string note; // expected note, "" for none
    };
    const std::string rowText = R"J({"Type":"Images","Size":"1GB","Reclaimable":"0B"})J";
    const std::vector<Row> rows{
        {"silent with an error", "", "error during connect: permission denied\n", State::notResponding,
         "Docker's daemon could not be read: error during connect: permission denied"},
        {"blank lines first", "\n", "\n  \nfirst said\nsecond\n", State::notResponding,
         "Docker's daemon could not be read: first said"},
        {"controls in the error", "", "bad\x1b[31mred\n", State::notResponding,
         "Docker's daemon could not be read: bad\\x1b[31mred"},
        {"text that is no accounting", "not json\n", "daemon gone\n", State::notResponding,
         "Docker's daemon could not be read: daemon gone"},
        {"accounting with a warning", rowText + "\n", "WARNING: something\n", State::ready, ""},
        // Silence is no empty daemon either: an empty one still writes its accounting rows.
        {"silent without an error", "", "", State::notResponding,
         "Docker answered, but not with its disk accounting."},
    };
    for (const auto& row : rows) {
        TempDir dir;
        writeFile(dir / "out", row.out);
        writeFile(dir / "err", row.err);
        const auto usage = DockerInspector::inspect(writeScript(
            dir, "docker", "cat '" + dir / "out" + "'; cat '" + dir / "err" + "' >&2; exit 0"));
        EXPECT_EQ(usage.state, row.state) << row.name;
        EXPECT_EQ(usage.note.value_or(""), row.note) << row.name;
        if (row.state == State::notResponding) {
            EXPECT_TRUE(usage.groups.empty()) << row.name;
        }
    }
}

TEST(DockerInspector, ALongErrorIsCutToOneSentence) {
    TempDir dir;
    writeFile(dir / "err", std::string(1000, 'e') + "\n");
    const auto usage =
        DockerInspector::inspect(writeScript(dir, "docker", "cat '" + dir / "err" + "' >&2; exit 0"));
    ASSERT_TRUE(usage.note);
    EXPECT_EQ(*usage.note, "Docker's daemon could not be read: " + std::string(300, 'e') + "\u2026");
}

TEST(DockerInspector, AccountingRowsDecideWhichGroupsExist) {
    TempDir dir;
    Answers a = kBusyDaemon;
    // Images: a later row of one type wins. Containers: no row, so the listing's sums.
    // Volumes: no row, so no group whatever is listed. Build cache of 0: no group.
    a.df = R"J({"Type":"Images","Size":"9GB","Reclaimable":"1GB (11%)"}
{"Type":"Images","Size":"3GB","Reclaimable":"  2GB (66%)"}
{"Type":"Build Cache","Size":"0B","Reclaimable":"0B"}
{"Size":"5GB"}
)J";
    const auto usage = DockerInspector::inspect(fakeDocker(dir, a));
    ASSERT_EQ(usage.state, State::ready);
    ASSERT_EQ(usage.groups.size(), 2u);
    EXPECT_EQ(usage.groups[0].total, 3'000'000'000);
    EXPECT_EQ(usage.groups[0].reclaimable, 2'000'000'000);
    const auto* containers = find(usage, "containers");
    ASSERT_NE(containers, nullptr);
    EXPECT_EQ(containers->total, 12'263);
    EXPECT_EQ(containers->reclaimable, 12'200);
    EXPECT_EQ(find(usage, "volumes"), nullptr);
    EXPECT_EQ(find(usage, "build-cache"), nullptr);
}

TEST(DockerInspector, FailedListingsGiveEmptyGroupsWhereARowExists) {
    TempDir dir;
    Answers a = kBusyDaemon;
    a.imagesStatus = 1;
    a.volumesStatus = 1;
    a.df = R"J({"Type":"Images","Size":"2GB","Reclaimable":"1GB"}
{"Type":"Local Volumes","Size":"80MB","Reclaimable":""}
)J";
    a.containersStatus = 3;
    const auto usage = DockerInspector::inspect(fakeDocker(dir, a));
    ASSERT_EQ(usage.groups.size(), 2u);
    EXPECT_EQ(usage.groups[0].id, "images");
    EXPECT_TRUE(usage.groups[0].entries.empty());
    EXPECT_EQ(usage.groups[0].total, 2'000'000'000);
    EXPECT_EQ(usage.groups[1].id, "volumes");
    EXPECT_TRUE(usage.groups[1].entries.empty());
    EXPECT_EQ(usage.groups[1].reclaimable, 0);
    // The dangling listing is asked for only when the volume listing answered.
    EXPECT_EQ(log(dir).find("dangling"), std::string::npos);
}

TEST(DockerInspector, AFailedDanglingListingMeansNoVolumeIsDangling) {
    TempDir dir;
    Answers a = kBusyDaemon;
    a.danglingStatus = 1;
    const auto usage = DockerInspector::inspect(fakeDocker(dir, a));
    const auto* volumes = find(usage, "volumes");
    ASSERT_NE(volumes, nullptr);
    for (const auto& e : volumes->entries) {
        EXPECT_FALSE(e.isReclaimable) << e.name;
        EXPECT_EQ(e.detail->rfind("in use", 0), 0u) << *e.detail;
    }
}

TEST(DockerInspector, RowsWithoutIdentifiersGetFreshOnes) {
    TempDir dir;
    Answers a = kBusyDaemon;
    a.images = R"J({"Repository":"x","Tag":"1","Size":"2MB"}
{"Size":"1MB"})J" "\n";
    a.danglingImagesStatus = 1; // else an untagged image without an ID is not known to be dangling
    a.volumes = R"J({"Size":"1MB"})J" "\n";
    const auto usage = DockerInspector::inspect(fakeDocker(dir, a));
    ASSERT_GE(usage.groups.size(), 3u);
    ASSERT_EQ(usage.groups[0].entries.size(), 2u);
    // A tag needs no ID: the image is removed by its reference.
    EXPECT_EQ(usage.groups[0].entries[0].removeCommand, "docker rmi x:1");
    const auto& image = usage.groups[0].entries[1];
    EXPECT_EQ(image.id.size(), 36u);
    EXPECT_EQ(image.removeCommand, "docker rmi " + image.id);
    const auto* volumes = find(usage, "volumes");
    ASSERT_NE(volumes, nullptr);
    EXPECT_EQ(volumes->entries.at(0).id.size(), 36u);
    EXPECT_EQ(volumes->entries.at(0).name, volumes->entries.at(0).id);
}

TEST(DockerInspector, ListingSumsOfHugeSizesStopAtTheLimit) {
    TempDir dir;
    Answers a;
    a.df = "{\"Type\":\"Build Cache\",\"Size\":\"1GB\",\"Reclaimable\":\"0B\"}\n";
    // No accounting row for containers: the group adds up its entries.
    a.containers = R"J({"ID":"a","Status":"Exited (0) 1 day ago","Size":"9000000TB"}
{"ID":"b","Status":"Exited (0) 1 day ago","Size":"9000000TB"}
)J";
    const auto usage = DockerInspector::inspect(fakeDocker(dir, a));
    const auto* containers = find(usage, "containers");
    ASSERT_NE(containers, nullptr);
    EXPECT_EQ(containers->entries.size(), 2u);
    EXPECT_EQ(containers->total, INT64_MAX);
    EXPECT_EQ(containers->reclaimable, INT64_MAX);
}

TEST(DockerInspector, AnImageWithTwoTagsIsOneEntryThatFreesItsSize) {
    TempDir dir;
    Answers a = kBusyDaemon;
    a.images = R"J({"Containers":"0","ID":"c0ffee123456","Repository":"tool","Tag":"1","Size":"8.3MB"}
{"Containers":"0","ID":"c0ffee123456","Repository":"tool","Tag":"latest","Size":"8.3MB"}
{"Containers":"0","ID":"77aa88bb99cc","Repository":"redis","Tag":"7","Size":"4MB"}
)J";
    const auto usage = DockerInspector::inspect(fakeDocker(dir, a));
    const auto* images = find(usage, "images");
    ASSERT_NE(images, nullptr);
    ASSERT_EQ(images->entries.size(), 2u);
    const auto& image = images->entries[0];
    // Removing only one tag would leave the image and free nothing.
    EXPECT_EQ(std::tuple(image.name, image.size, image.isReclaimable, image.removeCommand),
              std::tuple("tool:1", 8'300'000, true, "docker rmi tool:1 tool:latest"));
    EXPECT_NE(image.detail->find("also tagged tool:latest"), std::string::npos) << *image.detail;
    EXPECT_EQ(std::tuple(images->total, images->reclaimable), std::tuple(2'400'000'000, 1'200'000'000)); // Docker's own
}

TEST(DockerInspector, ADaemonSlowToAnswerEachCommandIsWaitedForOnceInAll) {
    TempDir dir;
    // Each command alone answers well within the deadline; all of them together do not.
    const std::string answering = fakeDocker(dir, kBusyDaemon);
    const std::string tool = writeScript(dir, "slow", "sleep 1\nexec '" + answering + "' \"$@\"");
    const auto started = std::chrono::steady_clock::now();
    const auto usage = DockerInspector::inspect(tool, std::chrono::milliseconds(4000));
    ASSERT_EQ(usage.state, State::ready) << usage.note.value_or("");
    EXPECT_NE(usage.note.value_or("").find("not all of its listings within 4 seconds"), std::string::npos)
        << usage.note.value_or("");
    // The accounting's totals stand; the commands past the deadline were never started.
    ASSERT_NE(find(usage, "build-cache"), nullptr);
    EXPECT_EQ(find(usage, "build-cache")->total, 1'500'000'000);
    const std::string calls = log(dir);
    EXPECT_LT(std::count(calls.begin(), calls.end(), '\n'), 8) << calls;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
}
