#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <thread>

#include "models/Models.h"

using namespace sorvel;

TEST(MainThreadHandOff, WorkFromAnotherThreadRunsOnTheModelThread) {
    QObject model;
    std::atomic<bool> ran{false};
    QThread* seen = nullptr;
    std::thread worker([&] {
        Models::onMainThread(&model, [&] {
            seen = QThread::currentThread();
            ran = true;
        });
    });
    worker.join();
    EXPECT_FALSE(ran.load()); // not before the event loop turns
    QElapsedTimer timer;
    timer.start();
    while (!ran && timer.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(ran.load());
    EXPECT_EQ(seen, model.thread());
}

TEST(MainThreadHandOff, WorkForAGoneModelIsDropped) {
    std::atomic<bool> ran{false};
    {
        QObject model;
        Models::onMainThread(&model, [&] { ran = true; });
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran.load());
}
