// The kit's controls side by side, light and dark: a sheet to check the look against.
#include <QGridLayout>
#include <QHBoxLayout>
#include <QApplication>
#include <QPainter>
#include <QTest>
#include <QVBoxLayout>

#include "shots/ShotRegistry.h"
#include "ui/kit/Button.h"
#include "ui/kit/CapacityBar.h"
#include "ui/kit/Card.h"
#include "ui/kit/CheckBox.h"
#include "ui/kit/Chip.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LabelStyle.h"
#include "ui/kit/PulseDot.h"
#include "ui/kit/SegmentedPicker.h"
#include "ui/kit/Spinner.h"
#include "ui/kit/Switch.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/Text.h"
#include "ui/shell/WindowBackground.h"

using namespace sorvel;
using namespace sorvel::ui;

namespace {

class SymbolSheet : public QWidget {
public:
    QSize sizeHint() const override { return {900, 120}; }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        int i = 0;
        for (auto name : Symbols::knownNames()) {
            const QRectF r(double(i % 30) * 30, double(i / 30) * 30, 24, 24);
            Symbols::paint(p, r, name, Theme::secondaryText().resolve(), 14);
            ++i;
        }
    }
};

QWidget* sheet() {
    auto* root = new WindowBackground;
    auto* column = new QVBoxLayout(root);
    column->setContentsMargins(30, 30, 30, 30);
    column->setSpacing(22);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    buttons->addWidget(new Button("Review & clean", Button::Style::accent));
    buttons->addWidget(new Button("Download", Button::Style::softAccent));
    buttons->addWidget(new Button("Rescan", Button::Style::outline));
    buttons->addWidget(new Button("Fix this", Button::Style::subtle));
    auto* withSymbol = new Button("Export", Button::Style::subtle);
    withSymbol->setSymbol("square.and.arrow.up");
    buttons->addWidget(withSymbol);
    buttons->addStretch();
    column->addLayout(buttons);

    auto* chips = new QHBoxLayout;
    chips->setSpacing(8);
    chips->addWidget(new Chip("SAFE", Theme::accentInk(), Theme::accentWash()));
    chips->addWidget(new Chip("REVIEW", Theme::warning(), Theme::warningWash()));
    const auto violet = Theme::tint(Tint::violet());
    chips->addWidget(new Chip("Developer", violet.ink, violet.fill));
    auto* unticked = new CheckBox(16, 4.5);
    auto* ticked = new CheckBox(16, 4.5);
    ticked->setChecked(true);
    auto* mixed = new CheckBox(20, 6);
    mixed->setMixed(true);
    chips->addWidget(unticked);
    chips->addWidget(ticked);
    chips->addWidget(mixed);
    auto* off = new Switch;
    auto* on = new Switch;
    on->setChecked(true);
    auto* appearance = new Switch(QSize(44, 24));
    appearance->setTrackColours(Theme::inset(), Theme::inset());
    appearance->setKnobSymbols(Switch::KnobSymbol{"sun.max.fill", Theme::warning()},
                               Switch::KnobSymbol{"moon.fill", Theme::secondaryText()});
    chips->addWidget(off);
    chips->addWidget(on);
    chips->addWidget(appearance);
    chips->addWidget(new Spinner(16));
    chips->addWidget(new PulseDot(5.5, Theme::accent(), true));
    chips->addStretch();
    column->addLayout(chips);

    auto* pickers = new QHBoxLayout;
    auto* underline = new SegmentedPicker({{"System Data", {}}, {"Whole Disk", {}}});
    auto* capsule = new SegmentedPicker({{"Week", {}}, {"Month", {}}, {"Year", {}}}, SegmentedPicker::Look::capsule);
    capsule->setCurrentIndex(1);
    pickers->addWidget(underline);
    pickers->addSpacing(30);
    pickers->addWidget(capsule);
    pickers->addStretch();
    column->addLayout(pickers);

    auto* card = new Card(18);
    card->content()->setSpacing(6);
    card->content()->addWidget(new Text("Tools", LabelStyle::font(9.5, Fonts::Weight::bold), Theme::tertiaryText()));
    card->content()->addWidget(
        new Text("A card with padding 18 and the glass fill", Fonts::system(13, Fonts::Weight::semibold), Theme::primaryText()));
    auto* bar = new CapacityBar;
    bar->setValues({"System Data", 64'000'000'000, 688'000'000'000, 312'000'000'000, true});
    card->content()->addSpacing(10);
    card->content()->addWidget(bar);
    column->addWidget(card);
    auto* warn = new Card(18, Theme::warningWash());
    warn->setOverlayBorder(Theme::warning().opacity(0.28), 1, 12);
    warn->content()->addWidget(new Text("A warning card", Fonts::system(13, Fonts::Weight::semibold), Theme::primaryText()));
    column->addWidget(warn);
    column->addWidget(new SymbolSheet);
    column->addStretch();
    return root;
}

} // namespace

SORVEL_SHOT("kit-controls-light", 980, 640) { return sheet(); }

SORVEL_SHOT("kit-controls-dark", 980, 640) {
    ctx.appearance().setSelection(Appearance::dark);
    return sheet();
}

namespace {
// The sheet shown and active, with `tabs` presses of Tab: the focus ring as a keyboard user
// sees it.
QWidget* tabbedSheet(int tabs) {
    QWidget* root = sheet();
    root->resize(980, 640);
    root->show();
    QApplication::setActiveWindow(root);
    if (!QTest::qWaitForWindowActive(root)) return root;
    if (QWidget* given = QApplication::focusWidget()) given->clearFocus();
    for (int i = 0; i < tabs; ++i)
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : root, Qt::Key_Tab);
    return root;
}
} // namespace

SORVEL_SHOT("kit-focus-ring-button", 980, 640) { return tabbedSheet(3); }
SORVEL_SHOT("kit-focus-ring-switch", 980, 640) { return tabbedSheet(10); }
SORVEL_SHOT("kit-focus-ring-picker-dark", 980, 640) {
    ctx.appearance().setSelection(Appearance::dark);
    return tabbedSheet(12);
}
