#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>

#include <QPainter>

#include "ui/kit/Button.h"
#include "ui/kit/Symbols.h"

using sorvel::ui::Button;

namespace {
// How far the painted button stands out from the corner pixel (the background).
long contrast(Button& button) {
    button.resize(button.sizeHint());
    const QImage image = button.grab().toImage();
    const int background = qGray(image.pixel(0, 0));
    long total = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) total += std::abs(qGray(image.pixel(x, y)) - background);
    return total;
}
} // namespace

// Disabled buttons ("Check now" without an update feed, "Moving…") used to be painted exactly
// like enabled ones.
TEST(KitButton, ADisabledButtonIsDrawnFainterInEveryStyle) {
    for (auto style : {Button::Style::accent, Button::Style::softAccent, Button::Style::outline, Button::Style::subtle}) {
        SCOPED_TRACE(int(style));
        Button enabled("Check now", style);
        Button disabled("Check now", style);
        disabled.setEnabled(false);
        const long on = contrast(enabled);
        const long off = contrast(disabled);
        ASSERT_GT(on, 0);
        EXPECT_LT(off, on * 3 / 4);
        // An explicit fainter opacity is kept, never raised.
        Button faint("Check now", style);
        faint.setOpacity(0.3);
        faint.setEnabled(false);
        EXPECT_LT(contrast(faint), off);
    }
}

// A row that would move showed an empty ring, which reads as an unticked checkbox beside the
// ticked rows; its mark has ink at its centre.
TEST(KitSymbols, TheWouldMoveMarkIsNotAnEmptyRing) {
    QImage image(48, 48, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    sorvel::ui::Symbols::paint(p, QRectF(0, 0, 48, 48), "circle.dashed", Qt::black, 40);
    p.end();
    int inked = 0;
    for (int y = 14; y < 34; ++y)
        for (int x = 14; x < 34; ++x) inked += qGray(image.pixel(x, y)) < 128;
    EXPECT_GT(inked, 20);
}
