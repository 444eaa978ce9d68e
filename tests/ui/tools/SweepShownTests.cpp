// What the panel and the settings window say of sweeps is true when shown: the next sweep
// worked out from the clock as it reads then, never a time gone by, and the last receipt
// stored, whichever session on the home wrote it.
#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <memory>

#include "platform/UserNotifications.h"
#include "tools/ToolPageTesting.h"
#include "ui/tools/MenuBarView.h"
#include "ui/tools/RelativeDate.h"
#include "ui/tools/SweepSettingsView.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

// The zone is UTC for the test's length, and read again after it.
struct UTC {
    struct Reload {
        ~Reload() { tzset(); } // after the variable is put back
    } reload;
    ScopedEnv tz{"TZ", "UTC"};
    UTC() { tzset(); }
};

Date at(int day, int hour, int minute, int second = 0) {
    std::tm parts{};
    parts.tm_year = 2026 - 1900, parts.tm_mon = 11, parts.tm_mday = day;
    parts.tm_hour = hour, parts.tm_min = minute, parts.tm_sec = second;
    return dateFromUnixSeconds(static_cast<int64_t>(timegm(&parts)));
}

SweepReceipt cleanReceipt(Date date, int64_t moved) {
    SweepReceipt r;
    r.date = std::chrono::time_point_cast<std::chrono::microseconds>(date);
    r.action = SweepSchedule::Action::clean;
    r.movedCount = moved;
    r.movedBytes = moved * 1000;
    return r;
}

// A session's scheduler: its sweep stores the receipt and findings it is given, as a real
// sweep does.
std::unique_ptr<SweepScheduler> session(const std::function<Date()>& clock, const SweepReceipt& sweeps,
                                        const std::string& finding) {
    SweepScheduler::Dependencies deps;
    deps.clock = clock;
    deps.notifications = UserNotifications::none();
    deps.runner = [sweeps, finding](const SweepSchedule&, SweepRun::Trigger) {
        SweepReceipt::record(sweeps);
        SweepReceipt::record(std::vector<SweepReceipt::Finding>{{finding, 1000}});
        return SweepRunner::Outcome{sweeps, {}, std::nullopt};
    };
    return std::make_unique<SweepScheduler>(deps);
}

} // namespace

TEST(SweepShown, WhatThePanelAndSettingsSayIsTrueWhenShown) {
    UiContext ctx;
    UTC utc;
    SweepSchedule daily;
    daily.frequency = SweepSchedule::Frequency::daily;
    daily.hour = 11;
    SweepSchedule::store(daily);
    // Yesterday's 11:00 sweep ran at its 11:03:32 check; the scheduler last looked at 10:58.
    SweepReceipt::record(cleanReceipt(at(8, 11, 3, 32), 1));
    Date clock = at(9, 10, 58);
    auto sweeper = session([&clock] { return clock; }, cleanReceipt(at(9, 11, 3), 2), ctx / "found");
    sweeper->start(); // not due: no check comes again within the test
    ui::MenuBarView panel(*sweeper, {});
    ui::SweepSettingsView settings(ctx.coordinator(), *sweeper, ctx.updates());
    panel.setRelativeRefresh(20);
    settings.setRelativeRefresh(20);
    panel.show();
    settings.show();

    const Date hour = at(9, 11, 0);
    struct Row {
        const char* name;
        Date clock;
        bool shortly; // else the hour today
    };
    const Row rows[] = {
        {"not yet due", at(9, 10, 58), false},
        {"due, its check minutes away", at(9, 11, 2, 43), true},
        {"due a second ago", at(9, 11, 0, 1), true},
        {"the clock jumped forward 23 hours", at(10, 9, 58), true},
        {"the clock jumped forward 3 days", at(12, 10, 58), true},
        {"the clock set back before the hour", at(9, 10, 30), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        clock = row.clock;
        const std::string status = row.shortly ? "Next sweep shortly" : "Next sweep " + RelativeDate::full(hour, clock);
        const std::string line =
            row.shortly ? "Next sweep: shortly." : "Next sweep: " + mediumDateShortTime(hour) + ".";
        EXPECT_TRUE(waitUntil([&] { return textOf(&panel, "statusLine") == status; })) << textOf(&panel, "statusLine");
        EXPECT_TRUE(waitUntil([&] { return textOf(&settings, "nextSweep") == line; })) << textOf(&settings, "nextSweep");
    }
    sweeper->stop();
}

// Two sessions of one user on one home: "Sweep now" in either reaches the other's panel by
// its next check, with the findings it stored.
TEST(SweepShown, EachSessionShowsTheReceiptTheOtherStored) {
    UiContext ctx;
    SweepSchedule daily;
    daily.frequency = SweepSchedule::Frequency::daily;
    SweepSchedule::store(daily);
    const Date started = now();
    SweepReceipt::record(cleanReceipt(started, 1)); // swept just now: no check finds one due
    const auto clock = [] { return now(); };
    auto first = session(clock, cleanReceipt(started + std::chrono::seconds(1), 7), ctx / "first");
    auto second = session(clock, cleanReceipt(started + std::chrono::seconds(2), 9), ctx / "second");
    ui::MenuBarView secondPanel(*second, {});
    for (auto* s : {first.get(), second.get()}) s->setTick(0.02), s->start();

    struct Row {
        const char* name;
        SweepScheduler* sweeps;
        SweepScheduler* sees;
        std::string finding;
    };
    const Row rows[] = {
        {"the first sweeps, the second sees it", first.get(), second.get(), ctx / "first"},
        {"then the second, and the first sees it", second.get(), first.get(), ctx / "second"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        row.sweeps->run(SweepRun::Trigger::manual);
        ASSERT_TRUE(waitUntil([&] { return !row.sweeps->isRunning() && row.sweeps->lastReceipt(); }));
        const SweepReceipt stored = *row.sweeps->lastReceipt();
        EXPECT_TRUE(waitUntil([&] { return row.sees->lastReceipt() == stored; }));
        ASSERT_EQ(row.sees->findings().size(), 1u);
        EXPECT_EQ(row.sees->findings()[0].path, row.finding);
    }
    secondPanel.flush();
    EXPECT_EQ(textOf(&secondPanel, "receiptHeadline"), second->lastReceipt()->headline());
    for (auto* s : {first.get(), second.get()}) s->stop();
}
