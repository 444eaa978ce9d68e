// The header's capacity bar is one disk's: with the home in memory (/dev/shm) and the
// system's logs on another disk, only what lies on the home's disk is set against it, and
// the bar says where the rest lies.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "engine/MultiRootScan.h"
#include "support/TestSupport.h"
#include "ui/kit/CapacityBar.h"
#include "ui/shell/HeaderView.h"
#include "ui/shell/MainMenu.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::ui;

namespace {

dev_t deviceOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_dev : 0;
}

} // namespace

TEST(HeaderDisk, TheBarSetsOnlyItsDisksFiguresAgainstIt) {
    test::MemoryScratch memory; // the home below in /dev/shm
    const struct {
        const char* name;
        bool logsElsewhere;
    } table[] = {{"logs on the root file system", true}, {"logs beside the home", false}};
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        test::UiContext ctx;
        std::optional<test::ScopedEnv> tmp;
        if (row.logsElsewhere) tmp.emplace("TMPDIR", std::string("/var/tmp"));
        test::TempDir system;
        tmp.reset();
        if (row.logsElsewhere && deviceOf(system.path()) == deviceOf(ctx.home()))
            GTEST_SKIP() << "/var/tmp and /dev/shm are one file system here";
        test::ScopedEnv systemRoot("SORVEL_SYSTEM_ROOT", system.path());
        test::writeFileOfSize(ctx / ".cache/app/blob", 300'000);
        test::writeFileOfSize(system / "var/log/syslog", 500'000);
        ScanControl control;
        ctx.finishScan(MultiRootScan::scanSynchronously(control, ScanScope::systemData));
        // As published: the coordinator adds what it wrote of its own (the trends) to the home's.
        int64_t total = 0, inHome = 0;
        for (const auto& category : ctx.coordinator().result().categories)
            for (const auto& root : category.roots) {
                total += root->size;
                if (root->path.rfind(ctx.home(), 0) == 0) inHome += root->size;
            }
        ASSERT_GT(total, inHome);
        MainMenu menu{ctx.coordinator(), ctx.updates()};
        HeaderView view{ctx.models(), menu};
        test::settle(&view, {1180, 160});
        const auto& bar = view.capacityBar()->values();
        EXPECT_EQ(bar.scanned, row.logsElsewhere ? inHome : total);
        EXPECT_LE(bar.scanned, bar.used) << "more than the disk holds";
        // Said under the legend, and to a pointer or a screen reader.
        const QString note = view.capacityBar()->toolTip();
        EXPECT_EQ(note.contains(" \u00B7 also "), row.logsElsewhere) << note.toStdString();
    }
}
