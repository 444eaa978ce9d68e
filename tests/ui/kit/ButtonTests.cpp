#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

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

// A button that would do nothing when pressed is drawn faint, in every style alike, and a
// click on it does nothing; "Moving…" and "Waiting for the Finder…" stand for an operation
// under way: as inert, but at full ink, since the title says what runs.
TEST(KitButton, ADisabledButtonIsDrawnFaintInEveryStyleAndABusyOneAtFullInk) {
    for (auto style : {Button::Style::accent, Button::Style::softAccent, Button::Style::outline, Button::Style::subtle}) {
        SCOPED_TRACE(int(style));
        Button enabled("Put all 3 back", style);
        const long on = contrast(enabled);
        ASSERT_GT(on, 0);
        const struct {
            const char* what;
            bool enabled;
            bool busy;
            bool faint;
        } table[] = {{"disabled", false, false, true}, {"busy", false, true, false}, {"enabled again", true, false, false}};
        for (const auto& row : table) {
            SCOPED_TRACE(row.what);
            Button button("Put all 3 back", style);
            button.setEnabled(false);
            button.setBusy(row.busy);
            if (row.enabled) button.setEnabled(true);
            const long ink = contrast(button);
            if (row.faint) EXPECT_LT(ink, on * 3 / 4);
            else EXPECT_EQ(ink, on);
            int clicks = 0;
            QObject::connect(&button, &Button::clicked, [&clicks] { ++clicks; });
            QTest::mouseClick(&button, Qt::LeftButton);
            EXPECT_EQ(clicks, row.enabled ? 1 : 0);
            EXPECT_EQ(button.cursor().shape(), row.enabled ? Qt::PointingHandCursor : Qt::ArrowCursor);
        }
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
