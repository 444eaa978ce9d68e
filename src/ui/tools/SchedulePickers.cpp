#include "ui/tools/SchedulePickers.h"

#include <vector>

#include "models/SweepScheduler.h"
#include "ui/kit/SegmentedPicker.h"
#include "ui/kit/Texts.h"
#include "ui/tools/SettingsRules.h"

namespace sorvel::ui {

SegmentedPicker* frequencyPicker(SweepScheduler& scheduler) {
    std::vector<SegmentedPicker::Option> frequencies;
    for (auto f : kAllSweepFrequencies) frequencies.push_back({q(SettingsRules::frequencyLabel(f)), {}});
    auto* frequency = new SegmentedPicker(frequencies, SegmentedPicker::Look::capsule);
    frequency->setObjectName("frequency");
    frequency->setCurrentIndex(int(scheduler.schedule().frequency));
    QObject::connect(frequency, &SegmentedPicker::picked, frequency, [&scheduler](int index) {
        SweepSchedule next = scheduler.schedule();
        next.frequency = kAllSweepFrequencies[index];
        scheduler.setSchedule(next); // an equal value saves and restarts nothing
    });
    return frequency;
}

SegmentedPicker* actionPicker(SweepScheduler& scheduler) {
    std::vector<SegmentedPicker::Option> actions;
    for (auto a : kAllSweepActions) actions.push_back({q(SettingsRules::actionLabel(a)), {}});
    auto* action = new SegmentedPicker(actions, SegmentedPicker::Look::capsule);
    action->setObjectName("action");
    action->setCurrentIndex(int(scheduler.schedule().action));
    QObject::connect(action, &SegmentedPicker::picked, action, [&scheduler](int index) {
        SweepSchedule next = scheduler.schedule();
        next.action = kAllSweepActions[index];
        scheduler.setSchedule(next);
    });
    return action;
}

} // namespace sorvel::ui
