// A control that does nothing when pressed looks it, the same way in every painted kind; and
// a disabled menu item in the dark appearance carries no light etched shadow.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QMenu>

#include <cstdlib>
#include <functional>
#include <memory>

#include "ui/kit/CheckBox.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/SegmentedPicker.h"
#include "ui/kit/Switch.h"
#include "ui/kit/TextButton.h"
#include "ui/kit/Theme.h"
#include "uisupport/UiContext.h"

using namespace sorvel::ui;

namespace {

// How far the painted widget stands out from its corner pixel (the background).
long contrast(QWidget& w) {
    w.resize(w.sizeHint());
    const QImage image = w.grab().toImage();
    const int background = qGray(image.pixel(0, 0));
    long total = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) total += std::abs(qGray(image.pixel(x, y)) - background);
    return total;
}

} // namespace

TEST(KitDisabledLook, EveryPaintedControlIsDrawnFaintWhenDisabled) {
    const struct {
        const char* what;
        std::function<std::unique_ptr<QWidget>()> make;
    } table[] = {
        {"text button", [] { return std::make_unique<TextButton>("Check now", Fonts::system(12), Theme::accentInk()); }},
        {"picker", [] { return std::make_unique<SegmentedPicker>(std::vector<SegmentedPicker::Option>{{"Daily", {}}, {"Weekly", {}}}); }},
        {"tick box", [] {
             auto box = std::make_unique<CheckBox>(18, 5);
             box->setCheckable(true);
             box->setChecked(true);
             return box;
         }},
        {"switch", [] {
             auto s = std::make_unique<Switch>(QSize(32, 18));
             s->setChecked(true);
             return s;
         }},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.what);
        auto enabled = row.make();
        auto disabled = row.make();
        disabled->setEnabled(false);
        const long on = contrast(*enabled);
        ASSERT_GT(on, 0);
        EXPECT_LT(contrast(*disabled), on * 3 / 4);
    }
}

// Qt's styles draw a disabled menu item's text twice, once offset in the palette's light
// colour: on a dark menu that light copy is a ghost beside the text.
TEST(KitDisabledLook, ADarkMenuDrawsItsDisabledItemsWithoutALightShadow) {
    struct Restore {
        Appearance was = Theme::appearance();
        ~Restore() { Theme::setAppearance(was); }
    } restore;
    Theme::setAppearance(Appearance::dark);
    const int text = qGray(Theme::tertiaryText().resolve(Appearance::dark).rgb());
    // Pixels of the disabled item lighter than its text, with the theme's palette or with
    // the style's usual light etch colour (which shows the measure sees a ghost).
    const auto ghosts = [text](bool etchColour) {
        QMenu menu;
        menu.addAction("Rescan");
        QAction* off = menu.addAction("Check for Updates\u2026");
        off->setEnabled(false);
        if (etchColour) {
            QPalette p = menu.palette();
            p.setColor(QPalette::Disabled, QPalette::Light, Qt::white);
            menu.setPalette(p);
        }
        menu.resize(menu.sizeHint());
        const QImage image = menu.grab().toImage();
        const QRect item = menu.actionGeometry(off);
        int lighter = 0;
        for (int y = item.top(); y <= item.bottom(); ++y)
            for (int x = item.left(); x <= item.right(); ++x) lighter += qGray(image.pixel(x, y)) > text + 40;
        return lighter;
    };
    EXPECT_GT(ghosts(true), 10) << "the style etches with the light colour";
    EXPECT_EQ(ghosts(false), 0) << "pixels lighter than the disabled text";
}
