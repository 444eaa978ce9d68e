// Page selection and the back/forward/up history of the main window.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "CoordinatorFixtures.h"
#include "models/PageID.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

using State = ScanCoordinator::NavigationState;

ScanCoordinator::Services idleServices() {
    auto s = ScanCoordinator::Services::standard();
    s.scan = [](ScanControl&, ScanScope scope) {
        ScanResult r;
        r.scope = scope;
        return r;
    };
    return s;
}

State page(const std::string& id) { return State{id, {}}; }

} // namespace

TEST(NavigationMoves, SelectingTheShownPageChangesNothing) {
    CoordinatorHome home;
    ScanCoordinator c(idleServices());
    c.move(page("caches"));
    const int token = c.navigationToken();
    c.move(page("caches"));
    EXPECT_EQ(c.navigationToken(), token);
    EXPECT_EQ(c.backStack().size(), 1u);
    EXPECT_TRUE(c.forwardStack().empty());
}

TEST(NavigationMoves, SameIdentifiersAreTheSamePositionWhateverTheNodeObjects) {
    auto a = node("/x/a", 1);
    auto copy = std::make_shared<ScanNode>(*a); // same id, other object
    EXPECT_EQ((State{"caches", {a}}), (State{"caches", {copy}}));
    EXPECT_NE((State{"caches", {a}}), (State{"caches", {node("/x/a", 1)}}));
    EXPECT_NE((State{std::nullopt, {}}), (State{"caches", {}}));
}

TEST(NavigationHistory, BackForwardAndANewSelection) {
    CoordinatorHome home;
    ScanCoordinator c(idleServices());
    c.move(page("caches"));
    c.move(page("logs"));
    c.navigateBack();
    EXPECT_EQ(c.selectedCategory(), std::optional<std::string>("caches"));
    EXPECT_EQ(c.forwardStack().size(), 1u);
    c.navigateForward();
    EXPECT_EQ(c.selectedCategory(), std::optional<std::string>("logs"));
    EXPECT_EQ(c.backStack().size(), 2u);
    EXPECT_TRUE(c.forwardStack().empty());

    c.navigateBack();
    c.move(page("trash"));
    EXPECT_TRUE(c.forwardStack().empty());
    EXPECT_EQ(c.backStack().size(), 2u);
}

TEST(NavigationHistory, EmptyStacksDoNothing) {
    CoordinatorHome home;
    ScanCoordinator c(idleServices());
    QSignalSpy tokens(&c, &ScanCoordinator::navigationTokenChanged);
    c.navigateBack();
    c.navigateForward();
    c.navigateUp();
    EXPECT_EQ(tokens.count(), 0);
    EXPECT_FALSE(c.canGoUp());
    EXPECT_EQ(c.parentName(), std::nullopt);
}

TEST(NavigationUp, FromToolDetailToToolToOverview) {
    CoordinatorHome home;
    ScanCoordinator c(idleServices());
    c.show(Tool::apps, "com.example.App");
    EXPECT_EQ(c.selectedCategory(), std::optional<std::string>("tool:apps#com.example.App"));
    EXPECT_EQ(c.parentName(), std::optional<std::string>("Applications"));
    c.navigateUp();
    EXPECT_EQ(c.selectedCategory(), std::optional<std::string>("tool:apps"));
    EXPECT_EQ(c.parentName(), std::optional<std::string>("Overview"));
    c.navigateUp();
    EXPECT_EQ(c.selectedCategory(), std::nullopt);
    EXPECT_EQ(c.backStack().size(), 3u);
}

TEST(NavigationUp, AHashWithNothingAfterItIsNoDetail) {
    CoordinatorHome home;
    ScanCoordinator c(idleServices());
    EXPECT_EQ(toolDetail("tool:apps#"), std::nullopt);
    EXPECT_EQ(toolDetail("tool:apps#a#b"), std::optional<std::string>("a#b"));
    c.show(Tool::history, "");
    EXPECT_EQ(c.selectedCategory(), std::optional<std::string>("tool:history#"));
    EXPECT_EQ(c.parentName(), std::optional<std::string>("Overview"));
    c.navigateUp();
    EXPECT_EQ(c.selectedCategory(), std::nullopt); // straight up to the overview
}

TEST(NavigationDrill, ParentNamesAndDrillBack) {
    CoordinatorHome home;
    makeDirs(home / "Library/Caches/a/b");
    ScanCoordinator c(idleServices());
    c.move(page("caches"));
    EXPECT_EQ(c.parentName(), std::optional<std::string>("Overview"));
    auto a = node("/x/a", 2), b = node("/x/a/b", 1);
    c.drill(a);
    // The category is not in the (empty) result: no title to show.
    EXPECT_EQ(c.parentName(), std::nullopt);
    c.drill(b);
    EXPECT_EQ(c.parentName(), std::optional<std::string>("a"));

    const int token = c.navigationToken();
    c.drillBack(5);
    c.drillBack(2);
    EXPECT_EQ(c.navigationToken(), token);
    c.drillBack(0);
    EXPECT_TRUE(c.drillPath().empty());
    EXPECT_EQ(c.selectedCategory(), std::optional<std::string>("caches"));
    c.navigateBack();
    EXPECT_EQ(c.drillPath().size(), 2u);
    c.navigateUp();
    ASSERT_EQ(c.drillPath().size(), 1u);
    EXPECT_EQ(c.drillPath()[0]->path, "/x/a");
}

TEST(NavigationDrill, OneFolderDeepNamesTheCategoryOfTheResult) {
    CoordinatorHome home;
    writeFile(home / "Library/Caches/app/file", "x");
    ScanCoordinator c;
    c.start();
    ASSERT_TRUE(waitUntil([&] { return c.phase() == ScanCoordinator::Phase::done; }, 60000));
    const auto* caches = c.result().category("caches");
    ASSERT_NE(caches, nullptr);
    c.move(page("caches"));
    c.drill(caches->roots.front());
    EXPECT_EQ(c.parentName(), std::optional<std::string>("Caches & Temp"));
}

TEST(NavigationReset, StartReturnsToTheOverviewWithNoHistory) {
    CoordinatorHome home;
    ScanCoordinator c(idleServices());
    c.move(page("caches"));
    c.move(page("logs"));
    c.navigateBack();
    const int token = c.navigationToken();
    c.start();
    EXPECT_EQ(c.selectedCategory(), std::nullopt);
    EXPECT_TRUE(c.backStack().empty());
    EXPECT_TRUE(c.forwardStack().empty());
    EXPECT_EQ(c.navigationToken(), token + 1);
    ASSERT_TRUE(waitUntil([&] { return c.phase() == ScanCoordinator::Phase::done; }));
}
