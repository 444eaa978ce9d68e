#pragma once
// One switch for every animation of the window (pulses, skeleton sweep, bar widths,
// switches, spinners). Tests and screenshots turn it off, so every widget shows its end
// state at once and paints the same frame every time. SORVEL_ANIMATIONS=0 turns it off
// for a whole process.
namespace sorvel::ui::Animations {

bool enabled();
void setEnabled(bool on);

} // namespace sorvel::ui::Animations
