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

// The styles never restyle a disabled button: "Moving…" and "Waiting for the Finder…" mark
// a running operation and must not look faint; a screen dims a button itself where it must.
TEST(KitButton, ADisabledButtonIsDrawnAsItsStyleSaysAndDimmedOnlyByItsScreen) {
    for (auto style : {Button::Style::accent, Button::Style::softAccent, Button::Style::outline, Button::Style::subtle}) {
        SCOPED_TRACE(int(style));
        Button enabled("Moving\u2026", style);
        Button disabled("Moving\u2026", style);
        disabled.setEnabled(false);
        const long on = contrast(enabled);
        ASSERT_GT(on, 0);
        EXPECT_EQ(contrast(disabled), on);
        Button dimmed("Moving\u2026", style);
        dimmed.setEnabled(false);
        dimmed.setOpacity(0.5);
        EXPECT_LT(contrast(dimmed), on * 3 / 4);
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
