// The checker's life: configuration, the daily due test, outcomes of a check for the
// user and in the background, skipped builds, the host rule and the banner actions.
#include "UpdateCheckerFixture.h"

#include <QSignalSpy>
#include <gmock/gmock.h>
#include <cstring>

#include "models/EventLoop.h"

using namespace sorvel;
using namespace sorvel::test;
using Kind = UpdateChecker::State::Kind;
using State = UpdateChecker::State;
using Result = UpdateChecker::FetchResult;

namespace {

double secondsAgo(double seconds) { return secondsSinceReferenceDate(now()) - seconds; }

} // namespace

TEST_F(UpdateCheckerTest, FeedAddressMustBeExactlyHTTPS) {
    const std::vector<std::optional<std::string>> feeds{
        std::nullopt, std::string(""), std::string("http://updates.example.com/feed.json"),
        std::string("HTTPS://updates.example.com/feed.json"), std::string("https://exa mple.com/f")};
    for (const auto& feed : feeds) {
        setBundle(feed, "1.9", "119");
        auto checker = make();
        EXPECT_FALSE(checker->isConfigured()) << feed.value_or("(none)");
        checker->checkIfDue();
        EXPECT_EQ(checker->state(), State::idle());
        checker->check(true);
        EXPECT_EQ(checker->state(), State::failed("No update feed is configured in this build."));
    }
    EXPECT_TRUE(requested.empty());
    setBundle("https://updates.example.com/feed.json", "1.9", "119");
    EXPECT_TRUE(make()->isConfigured());
}

TEST_F(UpdateCheckerTest, DueOnlyADayAfterTheLastCheck) {
    defaults().set(UpdateChecker::kLastCheckKey, secondsAgo(86'300));
    auto checker = make();
    checker->checkIfDue();
    EXPECT_TRUE(requested.empty());

    defaults().set(UpdateChecker::kLastCheckKey, secondsAgo(-3600)); // in the future
    make()->checkIfDue();
    EXPECT_TRUE(requested.empty());

    defaults().set(UpdateChecker::kLastCheckKey, secondsAgo(86'400));
    auto due = make();
    due->checkIfDue();
    ASSERT_EQ(requested.size(), 1u);
    EXPECT_EQ(requested[0], QUrl("https://updates.example.com/feed.json"));
    EXPECT_EQ(due->state(), State::checking());
    settle(*due);
    EXPECT_EQ(due->state().kind, Kind::available);
}

TEST_F(UpdateCheckerTest, NeverCheckedIsDueAndSwitchingOffStopsIt) {
    auto checker = make();
    checker->setAutomaticChecks(false);
    checker->checkIfDue();
    EXPECT_TRUE(requested.empty());
    EXPECT_EQ(defaults().boolean(UpdateChecker::kAutomaticChecksKey), false);
    EXPECT_FALSE(make()->automaticChecks());
    checker->setAutomaticChecks(true);
    checker->checkIfDue();
    EXPECT_EQ(requested.size(), 1u);
}

TEST_F(UpdateCheckerTest, LoadingReadsSettingsAndWritesNothing) {
    auto fresh = make();
    EXPECT_TRUE(fresh->automaticChecks());
    EXPECT_FALSE(fresh->lastChecked().has_value());
    EXPECT_FALSE(fresh->skippedBuild().has_value());
    EXPECT_FALSE(exists(UserDefaults::standardFilePath()));

    defaults().set(UpdateChecker::kAutomaticChecksKey, "no");
    defaults().set(UpdateChecker::kLastCheckKey, "yesterday");
    defaults().set(UpdateChecker::kSkippedBuildKey, 120.5);
    auto odd = make();
    EXPECT_TRUE(odd->automaticChecks());
    EXPECT_FALSE(odd->lastChecked().has_value());
    EXPECT_FALSE(odd->skippedBuild().has_value());

    defaults().set(UpdateChecker::kLastCheckKey, 100.0);
    defaults().set(UpdateChecker::kSkippedBuildKey, 120);
    auto stored = make();
    EXPECT_EQ(stored->lastChecked(), dateFromReferenceSeconds(100.0));
    EXPECT_EQ(stored->skippedBuild(), 120);
}

TEST_F(UpdateCheckerTest, FailedFetchShowsASentenceToTheUserOnly) {
    answer = Result::failure("The request timed out.");
    auto checker = make();
    checker->check(true);
    settle(*checker);
    EXPECT_EQ(checker->state(), State::failed("The request timed out."));

    auto background = make();
    const Date before = now();
    background->check(false);
    settle(*background);
    EXPECT_EQ(background->state(), State::idle());
    ASSERT_TRUE(background->lastChecked().has_value());
    EXPECT_GE(*background->lastChecked(), before);
    // The failure still postpones the next automatic check by a day.
    auto stored = defaults().number(UpdateChecker::kLastCheckKey);
    ASSERT_TRUE(stored.has_value());
    EXPECT_NEAR(*stored, secondsSinceReferenceDate(*background->lastChecked()), 0.001);
    requested.clear();
    make()->checkIfDue();
    EXPECT_TRUE(requested.empty());
}

TEST_F(UpdateCheckerTest, UpToDateWhenNotNewerOrTheSystemIsTooOld) {
    answer = Result::success(release("1.0", 119));
    auto checker = make();
    checker->check(true);
    settle(*checker);
    EXPECT_EQ(checker->state(), State::upToDate());

    Release needsMore = release("9.0", 900);
    needsMore.minimumSystemVersion = "99999";
    answer = Result::success(needsMore);
    checker->check(true);
    settle(*checker);
    EXPECT_EQ(checker->state(), State::upToDate());

    needsMore.minimumSystemVersion = "0.1";
    answer = Result::success(needsMore);
    checker->check(true);
    settle(*checker);
    EXPECT_EQ(checker->state(), State::available(needsMore));
}

TEST_F(UpdateCheckerTest, ASkippedBuildHidesOnlyFromAutomaticChecks) {
    defaults().set(UpdateChecker::kSkippedBuildKey, 120);
    auto checker = make();
    checker->check(false);
    settle(*checker);
    EXPECT_EQ(checker->state(), State::idle());

    answer = Result::success(release("1.11", 121));
    checker->check(false);
    settle(*checker);
    EXPECT_EQ(checker->state().kind, Kind::available);

    answer = Result::success(release("1.10", 120));
    checker->check(true);
    settle(*checker);
    EXPECT_EQ(checker->state(), State::available(release("1.10", 120)));
}

TEST_F(UpdateCheckerTest, SkipStoresTheBuildAndReturnsToIdle) {
    auto checker = make();
    QSignalSpy skipped(checker.get(), &UpdateChecker::skippedBuildChanged);
    checker->skipThisVersion(); // not available: nothing
    EXPECT_EQ(skipped.count(), 0);
    checker->check(true);
    settle(*checker);
    checker->skipThisVersion();
    EXPECT_EQ(checker->state(), State::idle());
    EXPECT_EQ(checker->skippedBuild(), 120);
    EXPECT_EQ(defaults().value(UpdateChecker::kSkippedBuildKey), nlohmann::json(120));
    EXPECT_EQ(skipped.count(), 1);

    // A release without a build cannot be skipped and comes back next time.
    answer = Result::success(release("2.0", std::nullopt));
    checker->check(false);
    settle(*checker);
    ASSERT_EQ(checker->state().kind, Kind::available);
    checker->skipThisVersion();
    EXPECT_EQ(checker->state(), State::idle());
    EXPECT_EQ(checker->skippedBuild(), 120);
    EXPECT_EQ(defaults().value(UpdateChecker::kSkippedBuildKey), nlohmann::json(120));
    checker->check(false);
    settle(*checker);
    EXPECT_EQ(checker->state().kind, Kind::available);
}

TEST_F(UpdateCheckerTest, AReleaseElsewhereIsRefusedEvenInTheBackground) {
    for (const char* url : {"https://evil.example.net/sorvel", "http://updates.example.com/sorvel",
                            "HTTPS://updates.example.com/sorvel", "updates.example.com/sorvel", "https://exa mple"}) {
        answer = Result::success(release("1.10", 120, url));
        auto checker = make();
        checker->check(false);
        settle(*checker);
        EXPECT_EQ(checker->state(), State::failed("The update feed points somewhere unexpected and was ignored."))
            << url;
        checker->openDownloadPage();
    }
    EXPECT_TRUE(opened.empty());
    // The host is compared without regard to case.
    answer = Result::success(release("1.10", 120, "https://UPDATES.example.com/sorvel"));
    auto checker = make();
    checker->check(false);
    settle(*checker);
    EXPECT_EQ(checker->state().kind, Kind::available);
}

TEST_F(UpdateCheckerTest, OpeningThePageOnlyWhileAvailable) {
    auto checker = make();
    checker->openDownloadPage();
    EXPECT_TRUE(opened.empty());
    checker->check(true);
    settle(*checker);
    checker->openDownloadPage();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl("https://updates.example.com/sorvel/1.10"));
    EXPECT_EQ(checker->state().kind, Kind::available);
    checker->dismiss();
    checker->openDownloadPage();
    EXPECT_EQ(opened.size(), 1u);
}

TEST_F(UpdateCheckerTest, OneCheckAtATime) {
    std::vector<UpdateChecker::Completion> pending;
    UpdateChecker checker(
        [&](const QUrl&, UpdateChecker::Completion completion) { pending.push_back(std::move(completion)); },
        [](const QUrl&) {});
    checker.check(true);
    checker.check(true);
    checker.check(false);
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(checker.state(), State::checking());

    // Dismissed, then checked again: the first answer, arriving late, is dropped.
    checker.dismiss();
    EXPECT_EQ(checker.state(), State::idle());
    checker.check(true);
    ASSERT_EQ(pending.size(), 2u);
    pending[0](Result::failure("The request timed out."));
    QCoreApplication::processEvents();
    EXPECT_EQ(checker.state(), State::checking());
    pending[1](Result::success(release("1.10", 120)));
    settle(checker);
    EXPECT_EQ(checker.state().kind, Kind::available);
}

TEST_F(UpdateCheckerTest, AnAnswerForAGoneCheckerIsDropped) {
    UpdateChecker::Completion late;
    {
        UpdateChecker checker([&](const QUrl&, UpdateChecker::Completion c) { late = std::move(c); },
                              [](const QUrl&) {});
        checker.check(true);
    }
    ASSERT_TRUE(late);
    late(Result::success(release("1.10", 120)));
    QCoreApplication::processEvents();
    EXPECT_FALSE(defaults().value(UpdateChecker::kLastCheckKey).has_value());
}

// A failed settings write carries the system's reason until a write succeeds.
TEST_F(UpdateCheckerTest, AFailedSaveIsKeptWithItsReason) {
    auto checker = make();
    {
        UnwritableSettings broken;
        checker->setAutomaticChecks(false);
        ASSERT_TRUE(waitUntil([&] { return checker->saveError().has_value(); }));
        EXPECT_THAT(*checker->saveError(), testing::HasSubstr(std::strerror(ENOTDIR)));
    }
    checker->setAutomaticChecks(true);
    EXPECT_TRUE(waitUntil([&] { return !checker->saveError(); }));
}
