// Quitting ends the process at once when nothing moves, waits saying so while a move is
// in flight, and can be taken back while it waits.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>

#include <thread>

#include "removal/RemovalRun.h"
#include "ui/shell/QuitFlow.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::ui;

TEST(QuitFlow, EndsAtOnceWhenNothingMovesElseWaitsForTheMoveSayingSo) {
    for (int inFlight : {0, 1, 3}) {
        SCOPED_TRACE(inFlight);
        int moves = inFlight, beforeExit = 0;
        QuitFlow flow([&] { return moves; }, [&] { ++beforeExit; });
        flow.request();
        EXPECT_EQ(flow.hasEnded(), inFlight == 0) << "moves were abandoned";
        if (inFlight > 0) {
            ASSERT_NE(flow.notice(), nullptr);
            EXPECT_TRUE(flow.notice()->isVisible());
            flow.request(); // a second Quit while waiting changes nothing
            EXPECT_EQ(beforeExit, 0);
            moves = 0;
            ASSERT_TRUE(test::waitUntil([&] { return flow.hasEnded(); }, 2000));
        }
        EXPECT_EQ(beforeExit, 1) << "the schedule is disarmed and windows closed once";
        EXPECT_TRUE(flow.notice() == nullptr || !flow.notice()->isVisible());
    }
}

TEST(QuitFlow, TakingTheQuitBackKeepsTheProcessAfterTheMoveEnds) {
    int moves = 1, beforeExit = 0;
    QuitFlow flow([&] { return moves; }, [&] { ++beforeExit; });
    flow.request();
    ASSERT_NE(flow.notice(), nullptr);
    QPushButton* back = nullptr;
    for (auto* b : flow.notice()->findChildren<QPushButton*>())
        if (b->text() == QuitFlow::takeBackText) back = b;
    ASSERT_NE(back, nullptr);
    back->click();
    moves = 0;
    test::waitUntil([] { return false; }, 3 * QuitFlow::pollMs);
    EXPECT_FALSE(flow.hasEnded());
    EXPECT_EQ(beforeExit, 0);
    flow.request();
    EXPECT_TRUE(flow.hasEnded());
}

TEST(QuitFlow, WaitsForAMoveHeldAnywhereInTheProcess) {
    auto hold = RemovalRun::holdInFlight(); // as a worker holds its move
    int beforeExit = 0;
    QuitFlow flow(&RemovalRun::movesInFlight, [&] { ++beforeExit; });
    flow.request();
    test::waitUntil([] { return false; }, 2 * QuitFlow::pollMs);
    EXPECT_FALSE(flow.hasEnded());
    std::thread([h = std::move(hold)]() mutable { h.reset(); }).join();
    ASSERT_TRUE(test::waitUntil([&] { return flow.hasEnded(); }, 2000));
    EXPECT_EQ(beforeExit, 1);
}
