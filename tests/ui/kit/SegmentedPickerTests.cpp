#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include "ui/kit/SegmentedPicker.h"
#include "ui/kit/Theme.h"
#include "uisupport/UiContext.h"

using sorvel::ui::SegmentedPicker;
namespace Theme = sorvel::ui::Theme;

namespace {
const std::vector<SegmentedPicker::Option> three = {{"Week", {}}, {"Month", {}}, {"Year", {}}};
} // namespace

// Each option answers clicks on its own rectangle; the gaps between underline options and
// the space outside answer none. A click on the chosen option fires too, and setting the
// index never does.
TEST(KitSegmentedPicker, HitAreasByLook) {
    for (auto look : {SegmentedPicker::Look::underline, SegmentedPicker::Look::capsule}) {
        SCOPED_TRACE(int(look));
        SegmentedPicker picker(three, look);
        picker.resize(picker.sizeHint());
        QSignalSpy picked(&picker, &SegmentedPicker::picked);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(picker.indexAt(picker.optionRect(i).center()), i);
            QTest::mouseClick(&picker, Qt::LeftButton, {}, picker.optionRect(i).center());
        }
        ASSERT_EQ(picked.count(), 3);
        EXPECT_EQ(picked[2][0].toInt(), 2);
        if (look == SegmentedPicker::Look::underline) {
            const QPoint gap((picker.optionRect(0).right() + picker.optionRect(1).left()) / 2, 2);
            EXPECT_EQ(picker.indexAt(gap), -1);
            QTest::mouseClick(&picker, Qt::LeftButton, {}, gap);
            EXPECT_EQ(picked.count(), 3);
        }
        picker.setCurrentIndex(2);
        EXPECT_EQ(picked.count(), 3);
    }
}

// The capsule look raises the chosen segment: its fill is the raised surface, the others
// show the inset track.
TEST(KitSegmentedPicker, TheChosenCapsuleSegmentIsRaised) {
    SegmentedPicker picker(three, SegmentedPicker::Look::capsule);
    picker.resize(picker.sizeHint());
    picker.setCurrentIndex(1);
    const QImage image = picker.grab().toImage();
    auto fillOf = [&](int index) {
        const QRect r = picker.optionRect(index);
        return image.pixelColor(r.left() + r.height() / 2 + 1, r.top() + 5);
    };
    EXPECT_TRUE(sorvel::test::nearColour(fillOf(1), Theme::raised().resolve()));
    EXPECT_TRUE(sorvel::test::nearColour(fillOf(0), Theme::inset().resolve()));
    EXPECT_NE(fillOf(0), fillOf(1));
}
