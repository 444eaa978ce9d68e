#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include "ui/kit/Switch.h"
#include "ui/kit/Theme.h"
#include "uisupport/UiContext.h"

using sorvel::ui::Switch;
namespace Theme = sorvel::ui::Theme;

namespace {
QColor at(Switch& s, QPoint point) { return s.grab().toImage().pixelColor(point); }
} // namespace

// The track is painted in the accent only while on, and the knob sits at the end its state
// names; a click anywhere on the switch flips it and reports the new state once.
TEST(KitSwitch, TrackFillAndKnobFollowTheStateAndAClickAnywhereFlipsIt) {
    Switch s;
    s.resize(s.sizeHint());
    // Between the knob's two resting places: track colour whatever the knob does.
    const QPoint trackPoint(s.width() - 8, s.height() / 2); // right of the knob at rest
    EXPECT_TRUE(sorvel::test::nearColour(at(s, trackPoint), Theme::inset().resolve()));
    EXPECT_EQ(s.knobPosition(), 0);

    QSignalSpy toggled(&s, &Switch::toggled);
    for (QPoint click : {QPoint(2, s.height() / 2), QPoint(s.width() - 3, 2)}) QTest::mouseClick(&s, Qt::LeftButton, {}, click);
    ASSERT_EQ(toggled.count(), 2);
    EXPECT_TRUE(toggled[0][0].toBool());
    EXPECT_FALSE(toggled[1][0].toBool());

    s.setChecked(true);
    EXPECT_EQ(s.knobPosition(), 1);
    EXPECT_TRUE(sorvel::test::nearColour(at(s, QPoint(8, s.height() / 2)), Theme::accent().resolve()));
}

// A press that leaves the switch before release changes nothing.
TEST(KitSwitch, APressReleasedOutsideDoesNotFlip) {
    Switch s;
    s.resize(s.sizeHint());
    QTest::mousePress(&s, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&s, Qt::LeftButton, {}, QPoint(s.width() + 20, 5));
    EXPECT_FALSE(s.isChecked());
}
