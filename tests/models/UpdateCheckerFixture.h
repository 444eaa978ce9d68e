#pragma once
// A checker with an injected feed: a fake home for the persisted settings, a bundle
// dictionary with a feed address, a fetch that answers from `answer`, and a page opener
// that records what it was asked to open.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <memory>
#include <vector>

#include "models/UpdateChecker.h"
#include "platform/BundleInfo.h"
#include "models/SettingsSaver.h"
#include "platform/UserDefaults.h"
#include "support/TestSupport.h"

namespace sorvel::test {

inline Release release(const std::string& version, std::optional<int64_t> build,
                       const std::string& url = "https://updates.example.com/sorvel/1.10") {
    Release r;
    r.version = version;
    r.build = build;
    r.url = url;
    return r;
}

class UpdateCheckerTest : public ::testing::Test {
protected:
    FakeHome home;
    ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    std::vector<QUrl> requested;
    std::vector<QUrl> opened;
    UpdateChecker::FetchResult answer = UpdateChecker::FetchResult::success(release("1.10", 120));

    void SetUp() override { setBundle("https://updates.example.com/feed.json", "1.9", "119"); }
    void TearDown() override { BundleInfo::replaceDictionary(std::nullopt); }

    static void setBundle(std::optional<std::string> feed, const std::string& version, const std::string& build) {
        nlohmann::json dictionary{{"CFBundleShortVersionString", version}, {"CFBundleVersion", build}};
        if (feed) dictionary["SorvelUpdateFeedURL"] = *feed;
        BundleInfo::replaceDictionary(dictionary);
    }

    std::unique_ptr<UpdateChecker> make() {
        return std::make_unique<UpdateChecker>(
            [this](const QUrl& url, UpdateChecker::Completion completion) {
                requested.push_back(url);
                completion(answer);
            },
            [this](const QUrl& url) { opened.push_back(url); });
    }

    /// Turns the event loop until the check has finished (or ten seconds passed: a loaded
    /// machine may be slow to deliver even one queued hand-back).
    static void settle(UpdateChecker& checker) {
        QElapsedTimer timer;
        timer.start();
        while (checker.state().kind == UpdateChecker::State::Kind::checking && timer.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    /// The settings, once every write the checker asked for is done.
    static UserDefaults defaults() {
        Models::waitForSettings();
        return UserDefaults::standard();
    }
};

} // namespace sorvel::test
