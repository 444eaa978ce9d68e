#pragma once
// The schedule's frequency and action pickers, shared by the tray panel and the settings
// window: each shows the scheduler's current value and writes a pick straight back.
namespace sorvel {
class SweepScheduler;
}

namespace sorvel::ui {

class SegmentedPicker;

/// "Off", "Daily", ... as a capsule picker named "frequency".
SegmentedPicker* frequencyPicker(SweepScheduler& scheduler);
/// "Report", ... as a capsule picker named "action".
SegmentedPicker* actionPicker(SweepScheduler& scheduler);

} // namespace sorvel::ui
