// A capsule picker given a width of its own (the trends card's 210) never cuts its last
// segment at the edge.
#include <gtest/gtest.h>

#include "ui/kit/SegmentedPicker.h"

using sorvel::ui::SegmentedPicker;

TEST(KitSegmentedPicker, ACapsuleOfAFixedWidthSharesItOutToTheLastSegment) {
    for (int width : {150, 210, 320}) {
        SegmentedPicker picker({{"7 days", {}}, {"30 days", {}}, {"90 days", {}}}, SegmentedPicker::Look::capsule);
        picker.setFixedWidth(width);
        picker.resize(width, picker.sizeHint().height());
        const QRect last = picker.optionRect(2);
        EXPECT_LE(last.right(), width - 2) << width << ": \"90 DAYS\" is cut at the right edge";
        EXPECT_GE(last.right(), width - 4) << width << ": the capsule ends in empty room";
        for (int i = 0; i < 2; ++i) EXPECT_LE(picker.optionRect(i).right(), picker.optionRect(i + 1).left()) << width;
    }
}
