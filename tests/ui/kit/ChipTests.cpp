#include <gtest/gtest.h>

#include <QImage>

#include "ui/kit/Chip.h"
#include "ui/kit/Theme.h"
#include "uisupport/UiContext.h"

using sorvel::ui::Chip;
namespace Theme = sorvel::ui::Theme;

// A chip grows with its words and is painted as a capsule: its fill inside, nothing at the
// rounded corners; a change of colours repaints the fill.
TEST(KitChip, CapsuleFillAndSizeFollowTheText) {
    Chip chip("SAFE", Theme::accentInk(), Theme::accentWash());
    Chip longer("REVIEW FIRST", Theme::accentInk(), Theme::accentWash());
    EXPECT_GT(longer.sizeHint().width(), chip.sizeHint().width());
    EXPECT_EQ(longer.sizeHint().height(), chip.sizeHint().height());

    chip.resize(chip.sizeHint());
    chip.setAttribute(Qt::WA_TranslucentBackground);
    QImage image = chip.grab().toImage();
    const QColor inside = image.pixelColor(3 + image.height() / 2, 2);
    EXPECT_TRUE(sorvel::test::nearColour(inside, Theme::accentWash().resolve()));
    EXPECT_NE(image.pixelColor(0, 0), inside); // the capsule's corner is cut away

    chip.setColours(Theme::warning(), Theme::warningWash());
    image = chip.grab().toImage();
    EXPECT_TRUE(sorvel::test::nearColour(image.pixelColor(3 + image.height() / 2, 2), Theme::warningWash().resolve()));
}
