// Running applications found through a process table's executables.
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/RunningApplications.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

void writeBundle(const std::string &bundle, const std::string &identifier) {
    writeFile(bundle + "/Contents/Info.plist",
              "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><string>" +
                  identifier + "</string></dict></plist>");
    writeFile(bundle + "/Contents/MacOS/exe", "");
}

void addProcess(const TempDir &proc, const std::string &pid, const std::string &executable) {
    makeDirs(proc / pid);
    ASSERT_EQ(symlink(executable.c_str(), (proc / (pid + "/exe")).c_str()), 0);
}

} // namespace

TEST(RunningApplications, FindsTheInnermostBundleOfEachExecutable) {
    TempDir apps, proc;
    writeBundle(apps / "Xcode.app", "com.apple.dt.Xcode");
    writeBundle(apps / "Xcode.app/Contents/Developer/Applications/Simulator.app",
                "com.apple.iphonesimulator");
    addProcess(proc, "100", apps / "Xcode.app/Contents/MacOS/Xcode");
    addProcess(proc, "200",
               apps / "Xcode.app/Contents/Developer/Applications/Simulator.app/Contents/MacOS/Simulator");
    addProcess(proc, "300", "/usr/bin/bash");
    addProcess(proc, "400", apps / "NoPlist.app/Contents/MacOS/x");
    makeDirs(proc / "self"); // not a process number
    auto ids = RunningApplications::bundleIdentifiers(proc.path());
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<std::string>{"com.apple.dt.Xcode", "com.apple.iphonesimulator"}));
}

TEST(RunningApplications, EnclosingBundleIgnoresTheExecutableName) {
    EXPECT_EQ(RunningApplications::enclosingBundle("/A/B.app/Contents/MacOS/B"), "/A/B.app");
    EXPECT_EQ(RunningApplications::enclosingBundle("/A/B.app/C.app/Contents/MacOS/C"), "/A/B.app/C.app");
    EXPECT_EQ(RunningApplications::enclosingBundle("/usr/bin/tool.app"), "");
    EXPECT_EQ(RunningApplications::enclosingBundle("/opt/.app/x"), "");
}

TEST(RunningApplications, ThisMachineRunsNoApplicationBundles) {
    // The live process table must be readable without failing; nothing here is a bundle.
    for (const auto &id : RunningApplications::bundleIdentifiers())
        EXPECT_NE(id, "com.apple.dt.Xcode");
}
