#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <atomic>
#include <memory>
#include <thread>

#include "models/BackgroundWork.h"
#include "models/EventLoop.h"

using namespace sorvel;

TEST(MainThreadHandOff, WorkFromAnotherThreadRunsOnTheModelThread) {
    QObject model;
    QPointer<QObject> weak(&model);
    std::atomic<bool> ran{false};
    QThread* seen = nullptr;
    std::thread worker([&] {
        Models::deliver(weak, [&](QObject& alive) {
            EXPECT_EQ(&alive, &model);
            seen = QThread::currentThread();
            ran = true;
        });
    });
    worker.join();
    EXPECT_FALSE(ran.load()); // not before the event loop turns
    EXPECT_TRUE(test::waitUntil([&] { return ran.load(); }));
    EXPECT_EQ(seen, model.thread());
}

TEST(MainThreadHandOff, WorkForAGoneModelIsDropped) {
    std::atomic<bool> ran{false};
    std::atomic<bool> sentinel{false};
    {
        auto model = std::make_unique<QObject>();
        Models::deliver(QPointer<QObject>(model.get()), [&](QObject&) { ran = true; });
    }
    // Queued after the dropped hand-over, so once it has run the other had its turn.
    QObject other;
    Models::deliver(QPointer<QObject>(&other), [&](QObject&) { sentinel = true; });
    ASSERT_TRUE(test::waitUntil([&] { return sentinel.load(); }));
    EXPECT_FALSE(ran.load());
}

TEST(MainThreadHandOff, BackgroundResultComesBackOnTheModelThread) {
    QObject model;
    std::atomic<bool> workOnMain{true};
    QThread* doneOn = nullptr;
    int delivered = 0;
    Models::runThenDeliver(
        &model, Models::WorkPriority::utility,
        [&] {
            workOnMain = QThread::currentThread() == model.thread();
            return 42;
        },
        [&](QObject&, int result) {
            doneOn = QThread::currentThread();
            delivered = result;
        },
        [](QObject&, const std::string& reason) { ADD_FAILURE() << reason; });
    ASSERT_TRUE(test::waitUntil([&] { return delivered != 0; }));
    EXPECT_FALSE(workOnMain.load());
    EXPECT_EQ(doneOn, model.thread());
    EXPECT_EQ(delivered, 42);
}
