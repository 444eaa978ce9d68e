#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QImage>

#include <optional>

#include "ui/kit/Fonts.h"
#include "ui/kit/RollingText.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::ui;

// Halfway through 971.2 -> 975.4 the text is already the new one and only the cells of the
// two changed digits are drawn unlike their end; with animations off the end is drawn at once.
TEST(KitRollingText, OnlyChangedDigitsRollAndTheTextIsNewAtOnce) {
    for (bool animated : {true, false}) {
        std::optional<test::AnimationsOn> animations;
        if (animated) animations.emplace();
        RollingText figure("971.2", Fonts::mono(33), Theme::primaryText());
        test::settle(&figure, figure.sizeHint());
        figure.setText("975.4");
        EXPECT_EQ(figure.text(), "975.4");
        figure.roll()->setCurrentTime(figure.roll()->duration() / 2);
        const QImage mid = figure.grab().toImage();
        figure.roll()->setCurrentTime(figure.roll()->duration());
        const QImage end = figure.grab().toImage();
        const int w = int(QFontMetricsF(figure.font()).horizontalAdvance('0'));
        for (int i = 0; i < 5; ++i) {
            const QRect cell(i * w + 1, 0, w - 2, end.height());
            EXPECT_EQ(mid.copy(cell) != end.copy(cell), animated && (i == 2 || i == 4)) << animated << " cell " << i;
        }
    }
}
