// A cache's figure counts only what moving it frees: files that also have names outside it
// (hard links, as uv makes into a project's environment) stay on disk and are said to be
// shared, in the report, its JSON and the plan alike.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "engine/Bytes.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

enum class Link { none, inside, outside, scannedElsewhere };

struct Case {
    const char* name;
    std::vector<Link> files; // one 6 MB file of ~/.cache/uv each, and where its second name lies
};

} // namespace

TEST(FreedFigures, ACacheCountsOnlyWhatMovingItFrees) {
    const Case cases[] = {
        {"every file linked outside", {Link::outside, Link::outside}},
        {"some linked outside", {Link::outside, Link::none}},
        {"none linked", {Link::none, Link::none}},
        {"links wholly inside", {Link::inside, Link::inside}},
        {"linked into another scanned place", {Link::scannedElsewhere, Link::none}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHome home;
        const std::string h = home.path(), uv = h + "/.cache/uv";
        long long freed = 0, shared = 0;
        for (size_t i = 0; i < c.files.size(); ++i) {
            const std::string file = uv + "/archive-v0/" + std::to_string(i) + "/lib.so";
            writeFileOfSize(file, 6'000'000);
            const std::string other = c.files[i] == Link::inside    ? uv + "/wheels/" + std::to_string(i) + ".so"
                                      : c.files[i] == Link::outside ? h + "/proj/.venv/lib/" + std::to_string(i) + ".so"
                                                                    : h + "/.local/share/proj/" + std::to_string(i) + ".so";
            if (c.files[i] != Link::none) {
                makeDirs(other.substr(0, other.rfind('/')));
                ASSERT_EQ(::link(file.c_str(), other.c_str()), 0) << other;
            }
            (c.files[i] == Link::none || c.files[i] == Link::inside ? freed : shared) += allocatedSize(file);
        }
        const std::map<std::string, std::string> env{
            {"HOME", h}, {"SORVEL_SYSTEM_ROOT", home.systemRoot()}, {"XDG_CONFIG_HOME", h + "/.config"}};
        // Which of two scanned names counts a file is the walk's: its bytes are then in the
        // cache's size or not, but never in what moving the cache frees.
        const bool sharedKnown = c.files[0] != Link::scannedElsewhere;

        const auto report = runSorvel({"--report", "--json"}, env);
        ASSERT_EQ(report.status, 0) << report.err;
        const auto doc = nlohmann::json::parse(report.out);
        bool found = false;
        for (const auto& item : doc.at("recommendations"))
            for (const auto& target : item.at("targets"))
                if (target.at("path") == uv) {
                    found = true;
                    EXPECT_EQ(target.at("bytes").get<long long>(), freed);
                    if (sharedKnown) {
                        EXPECT_EQ(target.value("sharedBytes", 0LL), shared) << target;
                        EXPECT_EQ(item.value("sharedBytes", 0LL), shared) << item;
                    }
                }
        EXPECT_TRUE(found) << report.out;
        EXPECT_EQ(doc.at("reclaimableBytes").get<long long>(), freed);

        const auto text = runSorvel({"--report"}, env);
        EXPECT_NE(text.out.find("  Safe to reclaim: " + Bytes::format(freed) + "\n"), std::string::npos) << text.out;

        // Counted in the other place, the cache's recorded size lacks the file, and the guard
        // (which measures the cache alone) finds it grown: the plan then refuses it.
        if (!sharedKnown) continue;
        const auto plan = runSorvel({"--plan"}, env);
        ASSERT_EQ(plan.status, 0) << plan.err;
        EXPECT_NE(plan.out.find("  " + Bytes::format(freed) + " would move to the Trash\n"), std::string::npos)
            << plan.out;
        const bool freesNothing = plan.out.find("Moving it frees nothing.") != std::string::npos;
        EXPECT_EQ(freesNothing, freed == 0) << plan.out;
        EXPECT_EQ(plan.out.find(Bytes::format(shared) + " is shared storage") != std::string::npos, shared > 0)
            << plan.out;
    }
}
