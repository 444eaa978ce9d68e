#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

#include "ui/kit/CheckBox.h"
#include "ui/kit/Theme.h"
#include "uisupport/UiContext.h"

using sorvel::ui::CheckBox;
namespace Theme = sorvel::ui::Theme;

namespace {
// A point inside the box away from the check mark's strokes.
QColor fillOf(CheckBox& box) {
    const QImage image = box.grab().toImage();
    return image.pixelColor(int(image.width() * 0.25), int(image.height() * 0.8));
}
} // namespace

// Ticked and mixed boxes are filled with the accent; an unticked one with the raised
// surface; a disabled one is faded.
TEST(KitCheckBox, FillByState) {
    struct Case {
        const char* name;
        bool checked, mixed, enabled;
    };
    const QColor accent = Theme::accent().resolve();
    for (const Case& c : {Case{"ticked", true, false, true}, Case{"mixed", false, true, true},
                          Case{"unticked", false, false, true}, Case{"disabled ticked", true, false, false}}) {
        SCOPED_TRACE(c.name);
        CheckBox box(16, 4.5);
        box.resize(16, 16);
        box.setChecked(c.checked);
        box.setMixed(c.mixed);
        box.setEnabled(c.enabled);
        const QColor fill = fillOf(box);
        if (!c.enabled) {
            EXPECT_FALSE(sorvel::test::nearColour(fill, accent, 20)) << fill.name().toStdString();
        } else if (c.checked || c.mixed) {
            EXPECT_TRUE(sorvel::test::nearColour(fill, accent)) << fill.name().toStdString();
        } else {
            EXPECT_TRUE(sorvel::test::nearColour(fill, Theme::raised().resolve())) << fill.name().toStdString();
        }
    }
}

// A box larger than its tick takes the click on its whole rectangle; toggling twice undoes.
TEST(KitCheckBox, TheWholeRectangleTakesTheClick) {
    CheckBox box(16, 4.5);
    box.resize(40, 30);
    for (QPoint corner : {QPoint(1, 1), QPoint(38, 28)}) QTest::mouseClick(&box, Qt::LeftButton, {}, corner);
    EXPECT_FALSE(box.isChecked());
    QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(1, 28));
    EXPECT_TRUE(box.isChecked());
}
