// What counts as Docker's disk accounting, and sizes Docker writes that cannot be sizes.
#include <gtest/gtest.h>

#include "analysis/DockerInspector.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;
using State = DockerUsage::State;
using DockerInspector::detail::measured;

namespace {

const std::string kNoAccounting = "Docker answered, but not with its disk accounting.";

// A stand-in tool: `system df` prints `df`, the image listing `images`, the rest nothing.
std::string docker(const TempDir& dir, const std::string& df, const std::string& images = "") {
    writeFile(dir / "df", df);
    writeFile(dir / "images", images);
    return writeScript(dir, "docker",
                       "case \"$*\" in\n"
                       "  'system df --format {{json .}}') cat '" + dir / "df" + "' ;;\n"
                       "  'image ls --format {{json .}}') cat '" + dir / "images" + "' ;;\n"
                       "esac\nexit 0");
}

const DockerUsage::Group* find(const DockerUsage& usage, const std::string& id) {
    for (const auto& g : usage.groups)
        if (g.id == id) return &g;
    return nullptr;
}

} // namespace

TEST(DockerAccountingShape, AnAnswerWithoutAccountingRowsIsNoAccounting) {
    const struct {
        const char* name;
        std::string out;
    } rows[] = {
        {"nothing", ""},
        {"blank lines", "\n\n"},
        {"garbage", "hello world\n\x01\x02\n"},
        {"a JSON array", R"J([{"Type":"Images","Size":"1GB"}])J" "\n"},
        {"the verbose report's shape", R"J({"Images":[],"Containers":[],"Volumes":[]})J" "\n"},
        {"rows of another type", R"J({"Type":"Networks","Size":"1GB","Reclaimable":"0B"})J" "\n"},
        {"no type at all", R"J({"Size":"1GB","Reclaimable":"0B"})J" "\n"},
        {"a type that is no text", R"J({"Type":["Images"],"Size":"1GB"})J" "\n"},
        {"a JSON number", "42\n"},
    };
    for (const auto& row : rows) {
        TempDir dir;
        const auto usage = DockerInspector::inspect(docker(dir, row.out));
        EXPECT_EQ(usage.state, State::notResponding) << row.name;
        EXPECT_EQ(usage.note.value_or(""), kNoAccounting) << row.name;
        EXPECT_TRUE(usage.groups.empty()) << row.name;
    }
}

TEST(DockerAccountingShape, OneAccountingRowAmongOthersIsAnAccounting) {
    TempDir dir;
    const auto usage = DockerInspector::inspect(docker(dir,
        "garbage\n" R"J({"Type":"Networks","Size":"1GB"})J" "\n"
        R"J({"Type":"Build Cache","Size":"2GB","Reclaimable":"1GB (50%)"})J" "\n"));
    ASSERT_EQ(usage.state, State::ready);
    ASSERT_EQ(usage.groups.size(), 1u);
    EXPECT_EQ(usage.groups[0].total, 2'000'000'000);
    EXPECT_TRUE(usage.groups[0].sizesKnown);
}

TEST(DockerAccountingShape, SizesThatCannotBeSizesAreNotKnownNeverZero) {
    const struct {
        const char* text;
        std::optional<int64_t> size;
    } rows[] = {
        {"-5GB", std::nullopt},  {"-1B", std::nullopt},       {"nanGB", std::nullopt},
        {"infTB", std::nullopt}, {"1e300TB", std::nullopt},   {"99999999999TB", std::nullopt},
        {"N/A", std::nullopt},   {"1.5GiB", std::nullopt},    {"lots", std::nullopt},
        {"1.5GB", 1'500'000'000}, {"0B", 0},                  {"-0.7B", 0},
        {"", 0},                 {"63B (virtual 432MB)", 63}, {"9000000TB", 9'000'000'000'000'000'000},
    };
    for (const auto& row : rows) EXPECT_EQ(measured(std::string(row.text)), row.size) << row.text;
    EXPECT_EQ(measured(std::nullopt), 0); // no size given: nothing counted, as before
}

TEST(DockerAccountingShape, AnUnreadableRowFigureFallsBackToTheKnownSizesAndSaysSo) {
    struct Row {
        const char* name;
        std::string df;
        int64_t total, reclaimable;
        bool known;
    };
    const std::string images = R"J({"ID":"a1","Repository":"web","Tag":"1","Size":"2GB","Containers":"0"}
{"ID":"b2","Repository":"db","Tag":"2","Size":"-3GB","Containers":"1"}
{"ID":"c3","Repository":"x","Tag":"3","Size":"nanMB","Containers":"0"}
)J";
    const std::vector<Row> rows{
        {"negative total", R"J({"Type":"Images","Size":"-5GB","Reclaimable":"1GB (20%)"})J", 2'000'000'000,
         1'000'000'000, false},
        {"total not a number", R"J({"Type":"Images","Size":"NaNGB","Reclaimable":"1GB"})J", 2'000'000'000,
         1'000'000'000, false},
        {"absurd reclaimable", R"J({"Type":"Images","Size":"4GB","Reclaimable":"1e40TB"})J", 4'000'000'000,
         2'000'000'000, false},
        {"readable figures", R"J({"Type":"Images","Size":"4GB","Reclaimable":"1GB"})J", 4'000'000'000,
         1'000'000'000, true},
        // No row: the listing's sums, without the two sizes that could not be read.
        {"no row", R"J({"Type":"Build Cache","Size":"0B","Reclaimable":"0B"})J", 2'000'000'000, 2'000'000'000,
         false},
    };
    for (const auto& row : rows) {
        TempDir dir;
        const auto usage = DockerInspector::inspect(docker(dir, row.df + "\n", images));
        ASSERT_EQ(usage.state, State::ready) << row.name;
        const auto* group = find(usage, "images");
        ASSERT_NE(group, nullptr) << row.name;
        EXPECT_EQ(group->total, row.total) << row.name;
        EXPECT_EQ(group->reclaimable, row.reclaimable) << row.name;
        EXPECT_EQ(group->sizesKnown, row.known) << row.name;
        ASSERT_EQ(group->entries.size(), 3u) << row.name;
        for (const auto& e : group->entries) {
            EXPECT_EQ(e.sizeKnown, e.name == "web:1") << row.name << " " << e.name;
            if (!e.sizeKnown) {
                EXPECT_EQ(e.size, 0) << row.name << " " << e.name;
            }
        }
    }
}
