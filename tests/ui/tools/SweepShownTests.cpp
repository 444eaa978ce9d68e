// What the panel and Settings say of sweeps is true when shown: the next sweep by the clock
// as it reads then, never a time gone by, and the receipt stored by whichever session.
#include <gtest/gtest.h>

#include <ctime>

#include "platform/UserNotifications.h"
#include "tools/ToolPageTesting.h"
#include "ui/tools/MenuBarView.h"
#include "ui/tools/RelativeDate.h"
#include "ui/tools/SweepSettingsView.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

Date dec(int day, int hour, int minute, int second = 0) { // 2026, UTC
    std::tm t{0, 0, 0, day, 11, 126, 0, 0, 0, 0, nullptr};
    t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second;
    return dateFromUnixSeconds(timegm(&t));
}

SweepReceipt receiptAt(Date date, int64_t moved = 0) {
    SweepReceipt r;
    r.date = std::chrono::time_point_cast<std::chrono::microseconds>(date), r.movedCount = moved;
    return r;
}

// A session whose sweep stores `receipt` and one finding at `finding`, as a real sweep does.
std::unique_ptr<SweepScheduler> session(std::function<Date()> clock, SweepReceipt receipt, std::string finding) {
    receipt.action = SweepSchedule::Action::clean;
    return std::make_unique<SweepScheduler>(SweepScheduler::Dependencies{
        std::move(clock), [=](const SweepSchedule&, SweepRun::Trigger) {
            SweepReceipt::record(receipt);
            SweepReceipt::record(std::vector<SweepReceipt::Finding>{{finding, 1000}});
            return SweepRunner::Outcome{receipt, {}, std::nullopt};
        }, UserNotifications::none(), {}, {}});
}

} // namespace

TEST(SweepShown, TheNextSweepIsWorkedOutWhenShownNeverAsPast) {
    UiContext ctx;
    ScopedTimeZone utc("UTC");
    SweepSchedule daily;
    daily.frequency = SweepSchedule::Frequency::daily, daily.hour = 11;
    SweepSchedule::store(daily);
    SweepReceipt::record(receiptAt(dec(8, 11, 3, 32))); // yesterday's, at its check
    Date clock = dec(9, 10, 58);
    auto sweeper = session([&clock] { return clock; }, {}, "");
    sweeper->start(); // not due: the next check is minutes away
    ui::MenuBarView panel(*sweeper, {});
    ui::SweepSettingsView settings(ctx.coordinator(), *sweeper, ctx.updates());
    for (auto* w : std::initializer_list<QWidget*>{&panel, &settings}) w->show();
    panel.setRelativeRefresh(20), settings.setRelativeRefresh(20);
    const struct { const char* name; Date clock; bool due; } rows[] = {
        {"not yet due", dec(9, 10, 58), false},           {"due, its check minutes away", dec(9, 11, 2, 43), true},
        {"clock jumped forward 23 hours", dec(10, 9, 58), true}, {"forward 3 days", dec(12, 10, 58), true},
        {"set back before the hour", dec(9, 10, 30), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        clock = row.clock;
        const Date hour = dec(9, 11, 0);
        const std::string status = row.due ? "Next sweep shortly" : "Next sweep " + RelativeDate::full(hour, clock);
        const std::string line = row.due ? "Next sweep: shortly." : "Next sweep: " + mediumDateShortTime(hour) + ".";
        EXPECT_TRUE(waitUntil([&] { return textOf(&panel, "statusLine") == status; })) << textOf(&panel, "statusLine");
        EXPECT_TRUE(waitUntil([&] { return textOf(&settings, "nextSweep") == line; })) << textOf(&settings, "nextSweep");
    }
    sweeper->stop();
}

// Two sessions on one home: "Sweep now" in either is in the other's panel by its next check.
TEST(SweepShown, EachSessionShowsTheReceiptTheOtherStored) {
    UiContext ctx;
    SweepSchedule daily;
    daily.frequency = SweepSchedule::Frequency::daily;
    SweepSchedule::store(daily);
    const Date started = now();
    SweepReceipt::record(receiptAt(started)); // just now: no check finds a sweep due
    auto first = session(now, receiptAt(started + std::chrono::seconds(1), 7), ctx / "first");
    auto second = session(now, receiptAt(started + std::chrono::seconds(2), 9), ctx / "second");
    for (auto* s : {first.get(), second.get()}) s->setTick(0.02), s->start();
    ui::MenuBarView panel(*second, {});
    for (auto [sweeps, sees, finding] : {std::tuple{first.get(), second.get(), ctx / "first"},
                                         std::tuple{second.get(), first.get(), ctx / "second"}}) {
        SCOPED_TRACE(finding);
        sweeps->run(SweepRun::Trigger::manual);
        ASSERT_TRUE(waitUntil([&] { return !sweeps->isRunning() && sweeps->lastReceipt(); }));
        EXPECT_TRUE(waitUntil([&] { return sees->lastReceipt() == sweeps->lastReceipt(); }));
        ASSERT_EQ(sees->findings().size(), 1u);
        EXPECT_EQ(sees->findings()[0].path, finding);
    }
    panel.flush();
    EXPECT_EQ(textOf(&panel, "receiptHeadline"), second->lastReceipt()->headline());
    for (auto* s : {first.get(), second.get()}) s->stop();
}
