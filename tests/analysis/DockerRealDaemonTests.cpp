// The Docker inspector against what a real daemon (Engine 20.10, API 1.41) answered, with
// two tags on one image, the builder's intermediate images, one dangling image, a running
// and an exited container, and named, anonymous and unused volumes.
#include <gtest/gtest.h>

#include <map>
#include <tuple>
#include <utility>

#include "analysis/DockerInspector.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

const std::string kFixtures = std::string(SORVEL_TEST_DATA) + "/docker/engine-20.10";
const std::string kDot = " \u00B7 ";

// The captured answer of each command the tool is asked; the "--all" image listing is
// answered too, as the daemon would.
std::map<std::string, std::string> capturedAnswers() {
    return {{"system df --format {{json .}}", "system-df.jsonl"},
            {"system df -v --format {{json .}}", "system-df-verbose.json"},
            {"image ls --all --format {{json .}}", "image-ls-all.jsonl"},
            {"image ls --format {{json .}}", "image-ls.jsonl"},
            {"image ls --filter dangling=true --quiet", "image-ls-dangling.txt"},
            {"ps --all --size --format {{json .}}", "ps.jsonl"},
            {"volume ls --format {{json .}}", "volume-ls.jsonl"},
            {"volume ls --filter dangling=true --quiet", "volume-ls-dangling.txt"},
            {"version --format {{json .}}", "version.json"}};
}

// A scripted tool answering each command with a file's text; an empty file name fails it.
std::string scriptedDocker(const TempDir& dir, const std::map<std::string, std::string>& answers) {
    std::string body = "case \"$*\" in\n";
    for (const auto& [command, file] : answers) {
        const std::string path = file.empty() || file.front() == '/' ? file : kFixtures + "/" + file;
        body += "  '" + command + "') " + (path.empty() ? "exit 1" : "cat '" + path + "'") + " ;;\n";
    }
    return writeScript(dir, "docker", body + "  *) exit 64 ;;\nesac");
}

const DockerUsage::Group& group(const DockerUsage& usage, const std::string& id) {
    for (const auto& g : usage.groups)
        if (g.id == id) return g;
    throw std::runtime_error("no group " + id);
}

const DockerUsage::Entry* entry(const DockerUsage::Group& group, const std::string& id) {
    for (const auto& e : group.entries)
        if (e.id == id) return &e;
    return nullptr;
}

} // namespace

TEST(DockerRealDaemon, ImagesAreOneEntryPerImageWithTheirUseFromTheVerboseReport) {
    TempDir dir;
    const auto usage = DockerInspector::inspect(scriptedDocker(dir, capturedAnswers()));
    ASSERT_EQ(usage.state, DockerUsage::State::ready);
    const auto& images = group(usage, "images");
    EXPECT_EQ(images.total, 2'289'000);
    EXPECT_EQ(images.reclaimable, 1'982'000);

    // app:1 and app:latest are one image, used by the running container, and one entry that
    // removes both tags; each frees only the layers no other image holds.
    const std::tuple<std::string, std::string, std::string, bool, std::string, int64_t> expected[] = {
        {"b3383e2056b4", "app:1", "in use" + kDot + "also tagged app:latest", false, "app:1 app:latest", 307'200},
        {"spare:1", "spare:1", "not used by any container", true, "spare:1", 3}, // all but 3 B are tiny:base's
        {"619e81c4d331", "<untagged> 619e81c4d331", "dangling" + kDot + "not used by any container", true,
         "619e81c4d331", 3},
        {"tiny:base", "tiny:base", "in use", false, "tiny:base", 0},
    };
    ASSERT_EQ(images.entries.size(), std::size(expected));
    for (const auto& [id, name, use, reclaimable, operands, frees] : expected) {
        const auto* e = entry(images, id);
        ASSERT_NE(e, nullptr) << id;
        EXPECT_EQ(std::tuple(e->name, e->isReclaimable, e->useKnown, e->removeCommand, e->size),
                  std::tuple(name, reclaimable, true, "docker rmi " + operands, frees));
        for (const std::string& said : {use, std::string("shared with other images")})
            EXPECT_NE(e->detail.value_or("").find(said), std::string::npos) << e->detail.value_or("");
    }
    // The builder's intermediate images are layers of app:1, not something to remove.
    for (const char* intermediate : {"5658983d2041", "9744699d6a21", "993f46e4cb1e"})
        EXPECT_EQ(entry(images, intermediate), nullptr) << intermediate;
}

TEST(DockerRealDaemon, WithoutTheVerboseReportImageUseAndVolumeSizesAreUnknown) {
    TempDir dir;
    auto answers = capturedAnswers();
    answers["system df -v --format {{json .}}"] = "";
    const auto usage = DockerInspector::inspect(scriptedDocker(dir, answers));
    const auto& images = group(usage, "images");
    ASSERT_FALSE(images.entries.empty());
    for (const auto& e : images.entries) {
        EXPECT_FALSE(e.isReclaimable || e.useKnown) << e.id;
        EXPECT_NE(e.detail->find("use not known"), std::string::npos) << *e.detail;
        EXPECT_EQ(e.detail->find("not used by any container"), std::string::npos) << *e.detail;
    }
    EXPECT_EQ(images.reclaimable, 1'982'000); // the totals still come from the accounting
    for (const auto& e : group(usage, "volumes").entries) {
        EXPECT_EQ(e.size, 0);
        EXPECT_NE(e.detail->find("size not known"), std::string::npos) << *e.detail;
    }
}

TEST(DockerRealDaemon, VolumesAreSizedFromTheVerboseReportLargestFirst) {
    TempDir dir;
    const auto usage = DockerInspector::inspect(scriptedDocker(dir, capturedAnswers()));
    const auto& volumes = group(usage, "volumes");
    EXPECT_EQ(volumes.total, 716'800);
    EXPECT_EQ(volumes.reclaimable, 204'800);
    ASSERT_EQ(volumes.entries.size(), 3u);
    // keep-data in use, loose-data unused, and the exited container's anonymous volume.
    const std::tuple<std::string, int64_t, bool, std::string> expected[] = {
        {"keep-data", 512'000, false, "in use"}, {"loose-data", 204'800, true, ""}, {"", 2, false, ""}};
    for (size_t i = 0; i < std::size(expected); ++i) {
        const auto& [id, size, reclaimable, detail] = expected[i];
        EXPECT_TRUE(id.empty() || volumes.entries[i].id == id) << volumes.entries[i].id;
        EXPECT_EQ(volumes.entries[i].size, size) << i;
        EXPECT_EQ(volumes.entries[i].isReclaimable, reclaimable) << i;
        EXPECT_TRUE(detail.empty() || volumes.entries[i].detail == detail) << i;
    }
    EXPECT_EQ(volumes.entries[1].removeCommand, "docker volume rm loose-data");
    const auto& containers = group(usage, "containers");
    ASSERT_EQ(containers.entries.size(), 2u);
    EXPECT_TRUE(containers.entries[0].name == "done" && containers.entries[0].isReclaimable);
    EXPECT_FALSE(containers.entries[1].isReclaimable);
}

TEST(DockerRealDaemon, VolumePruneTakesAllOnlyWhereBothSidesSpeakAPI142) {
    TempDir dir;
    const std::string captured = readFile(kFixtures + "/version.json");
    auto withVersions = [&](const std::string& client, const std::string& server) {
        std::string text = captured;
        bool first = true;
        const std::string key = "\"ApiVersion\":\"1.41\""; // the client's first, then the server's
        for (auto at = text.find(key); at != std::string::npos; at = text.find(key, at + 1))
            text.replace(at, key.size(), "\"ApiVersion\":\"" + (std::exchange(first, false) ? client : server) + "\"");
        return text;
    };
    const std::pair<std::string, std::string> cases[] = {
        {captured, "docker volume prune"}, // a new tool on the 20.10 daemon
        {readFile(kFixtures + "/version-client-20.10.json"), "docker volume prune"},
        {withVersions("1.47", "1.47"), "docker volume prune --all"},
        {withVersions("1.41", "1.47"), "docker volume prune"}, // an old tool on a new daemon
        {"", "docker volume prune"},                           // the version command fails
    };
    for (const auto& [versionAnswer, prune] : cases) {
        auto answers = capturedAnswers();
        answers["version --format {{json .}}"] = versionAnswer.empty() ? "" : dir / "version";
        writeFile(dir / "version", versionAnswer);
        EXPECT_EQ(group(DockerInspector::inspect(scriptedDocker(dir, answers)), "volumes").pruneCommand, prune)
            << versionAnswer;
    }
}

TEST(DockerRealDaemon, APIVersionsFromWhichVolumePruneNeedsAll) {
    const std::pair<std::optional<std::string>, bool> cases[] = {
        {"1.41", false}, {"1.42", true},  {"1.50", true}, {"1.5", false},   {"2.0", true},   {"1.43.1", true},
        {"1.42x", false}, {"", false},    {"1.", false},  {"v1.44", false}, {std::nullopt, false},
    };
    for (const auto& [version, needsAll] : cases)
        EXPECT_EQ(DockerInspector::detail::volumePruneNeedsAll(version), needsAll) << version.value_or("(none)");
}
