// The live watch keeps to the rule every walk of a place keeps: a btrfs subvolume inside a
// watched folder is watched with it; a mount below it, a bind of the same file system too,
// is not; the watched folder itself may be a mount. Each row in a mount namespace of its own.
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <functional>

#include "platform/FileEvents.h"
#include "platform/FileEventRecorder.h"
#include "platform/SerialQueue.h"
#include "support/ReflinkVolume.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

bool bindAt(const std::string& from, const std::string& to) {
    test::makeDirs(from);
    test::makeDirs(to);
    return ::mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr) == 0;
}

struct Row {
    const char* name;
    bool btrfs;
    std::function<bool(const std::string& top)> make; // the watched folder is top/place
    const char* changed;                             // below the watched folder
    bool reported;
};

// 0 when a change in `changed` is reported as the row says; a change in the watched folder's
// own "marker", made after it, shows the stream saw everything before it.
int watch(const Row& r, const std::string& top) {
    if (!r.make(top)) return test::kSkipped;
    const std::string place = top + "/place";
    test::makeDirs(place + "/" + r.changed);
    test::makeDirs(place + "/marker");
    SerialQueue queue{"test.mounts"};
    test::BatchRecorder recorder;
    auto stream = FileEventStream::create([&](size_t, const std::vector<std::string>& p) { recorder.add(p); },
                                          {place}, FileEventStream::kEventIdSinceNow, 0.1, 7);
    if (!stream) return 2;
    stream->setDispatchQueue(&queue);
    if (!stream->start()) return 3;
    test::writeFile(place + "/" + r.changed + "/f", "x");
    test::writeFile(place + "/marker/f", "x");
    if (!recorder.waitFor(place + "/marker")) return 4;
    const bool seen = r.reported ? recorder.waitFor(place + "/" + r.changed) : recorder.sawPath(place + "/" + r.changed);
    stream.reset();
    return seen == r.reported ? 0 : 1;
}

} // namespace

TEST(FileEventMounts, ASubvolumeInsideIsWatchedAndEveryMountBelowTheWatchedFolderIsNot) {
    const Row rows[] = {
        {"a btrfs subvolume inside", true,
         [](const std::string& top) {
             test::makeDirs(top + "/place");
             return test::runCommand({"/bin/btrfs", "subvolume", "create", top + "/place/sub"}).status == 0;
         },
         "sub/deep", true},
        {"a folder of the same file system bound inside", false,
         [](const std::string& top) { return bindAt(top + "/other", top + "/place/bound"); }, "bound/deep", false},
        {"the watched folder a bind, a folder of the same file system bound inside it", false,
         [](const std::string& top) {
             return bindAt(top + "/shown", top + "/place") && bindAt(top + "/other", top + "/place/bound");
         },
         "bound/deep", false},
    };
    int ran = 0;
    std::string notRun;
    for (const auto& r : rows) {
        int status = 0;
        if (r.btrfs) {
            const auto volume = test::inBtrfsVolume([&](const std::string& top) { return watch(r, top); });
            if (!volume.skipped.empty()) {
                notRun += std::string("; ") + r.name + ": " + volume.skipped;
                continue;
            }
            status = volume.status;
        } else {
            test::TempDir dir;
            status = test::inMountNamespace([&] { return watch(r, dir.path()); });
        }
        if (status == test::kSkipped) notRun += std::string("; ") + r.name + ": its mounts could not be made here";
        ran += status != test::kSkipped;
        EXPECT_TRUE(status == 0 || status == test::kSkipped) << r.name << ": " << status;
    }
    if (ran == 0) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
    if (!notRun.empty()) GTEST_SKIP() << ran << " rows passed; not run" << notRun;
}
