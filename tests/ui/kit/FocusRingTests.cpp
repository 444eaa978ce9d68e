#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QGridLayout>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <functional>

#include "ui/kit/Button.h"
#include "ui/kit/CheckBox.h"
#include "ui/kit/ClickArea.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/SegmentedPicker.h"
#include "ui/kit/Switch.h"
#include "ui/kit/Text.h"
#include "ui/kit/TextButton.h"
#include "ui/kit/Theme.h"

using namespace sorvel::ui;

namespace {

// A shown, active window holding `controls` in a column or row; nullptr stands for a stretch.
struct Window : QWidget {
    explicit Window(std::vector<QWidget*> controls = {}, QBoxLayout::Direction along = QBoxLayout::TopToBottom) {
        auto* column = new QBoxLayout(along, this);
        column->setContentsMargins(20, 20, 20, 20);
        for (QWidget* c : controls) c ? column->addWidget(c) : column->addStretch(1);
        resize(400, 300);
        show();
        QApplication::setActiveWindow(this);
        EXPECT_TRUE(QTest::qWaitForWindowActive(this));
    }
};

bool isAccent(const QColor& c) {
    const QColor a = Theme::accent().resolve();
    return std::abs(c.red() - a.red()) < 40 && std::abs(c.green() - a.green()) < 40 && std::abs(c.blue() - a.blue()) < 40;
}

} // namespace

// Tab walks the controls as they read, row by row and left to right, whatever order they
// were made in; Backtab walks back; the ring follows the focus.
TEST(KitFocus, TabWalksTheControlsInReadingOrder) {
    QWidget window;
    auto* grid = new QGridLayout(&window);
    // Made and placed bottom row first, right to left: Qt's own chain runs d, c, b, a.
    auto* d = new Button("D", Button::Style::subtle);
    auto* c = new Switch;
    auto* b = new TextButton("B", QFont(), Theme::accentInk());
    auto* a = new CheckBox;
    grid->addWidget(d, 1, 1);
    grid->addWidget(c, 1, 0);
    grid->addWidget(b, 0, 1);
    grid->addWidget(a, 0, 0);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    if (QWidget* given = QApplication::focusWidget()) given->clearFocus(); // activation may focus one

    std::vector<QWidget*> seen;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window, Qt::Key_Tab);
        seen.push_back(QApplication::focusWidget());
    }
    EXPECT_EQ(seen, (std::vector<QWidget*>{a, b, c, d, a}));
    EXPECT_NE(FocusRing::around(a), nullptr);
    EXPECT_EQ(FocusRing::around(d), nullptr);
    QTest::keyClick(a, Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), d);
}

// The ring is 2 px of the accent outside the control's shape, 1 px clear of it, shown from
// the keyboard and not after a click.
TEST(KitFocus, TheRingIsDrawnOutsideTheShapeOnlyFromTheKeyboard) {
    auto* first = new Button("First", Button::Style::subtle);
    auto* button = new Button("Second", Button::Style::subtle);
    Window window({first, button});
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(button->hasFocus());
    EXPECT_EQ(FocusRing::around(button), nullptr);

    QTest::keyClick(button, Qt::Key_Backtab);
    QTest::keyClick(first, Qt::Key_Tab);
    ASSERT_NE(FocusRing::around(button), nullptr);
    const QImage image = window.grab().toImage();
    const QRect g = button->geometry();
    const int y = g.center().y();
    // Inside, the 1-px gap, 2 px of ring, clear again; and the far side.
    for (auto [x, ring] : {std::pair{g.left() + 2, false}, {g.left() - 1, false}, {g.left() - 2, true},
                           {g.left() - 3, true}, {g.left() - 5, false}, {g.right() + 3, true}}) {
        EXPECT_EQ(isAccent(image.pixelColor(x, y)), ring) << "x " << x - g.left();
    }
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(FocusRing::around(button), nullptr);
}

// Space and Return act on every focused button-like control, and not once it is disabled.
TEST(KitFocus, SpaceAndReturnActOnTheFocusedControl) {
    const std::vector<std::pair<const char*, std::function<QAbstractButton*()>>> cases = {
        {"button", [] { return new Button("Go", Button::Style::accent); }},
        {"text button", [] { return new TextButton("Copy", QFont(), Theme::accentInk()); }},
        {"switch", [] { return new Switch; }},
        {"check box", [] { return new CheckBox; }},
        {"click area", [] { return new ClickArea; }},
    };
    for (const auto& [name, make] : cases) {
        for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(key));
            QAbstractButton* control = make();
            control->setMinimumSize(20, 20);
            Window window({control});
            control->setFocus(Qt::TabFocusReason);
            QSignalSpy clicked(control, &QAbstractButton::clicked);
            QTest::keyClick(control, key);
            EXPECT_EQ(clicked.count(), 1);
            control->setEnabled(false);
            QTest::keyClick(control, key);
            EXPECT_EQ(clicked.count(), 1);
        }
    }
}

// The picker's arrow keys choose the option before or after, Return the current one; rows
// of clickable areas move with Up and Down (the last stays). A screen reader hears the
// picker as a tab list with its value and each row as a button named after its texts.
TEST(KitFocus, ThePickerAndRowsMoveWithTheArrowKeysAndAreNamed) {
    auto* picker = new SegmentedPicker({{"Week", {}}, {"Month", {}}, {"Year", {}}});
    QObject::connect(picker, &SegmentedPicker::picked, picker, &SegmentedPicker::setCurrentIndex);
    std::vector<QWidget*> controls{picker};
    std::vector<ClickArea*> rows;
    for (const char* title : {"Caches", "Logs", "Mail"}) {
        rows.push_back(new ClickArea);
        rows.back()->row()->addWidget(new Text(title, QFont(), Theme::primaryText()));
        rows.back()->row()->addWidget(new Text("12 MB", QFont(), Theme::secondaryText()));
        controls.push_back(rows.back());
    }
    Window window(controls);
    picker->setFocus(Qt::TabFocusReason);
    QSignalSpy picked(picker, &SegmentedPicker::picked);
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Down, Qt::Key_Up, Qt::Key_Return})
        QTest::keyClick(picker, key);
    std::vector<int> got;
    for (const auto& args : picked) got.push_back(args[0].toInt());
    EXPECT_EQ(got, (std::vector<int>{1, 2, 1, 1}));
    auto* pickerAccessible = QAccessible::queryAccessibleInterface(picker);
    ASSERT_NE(pickerAccessible, nullptr);
    EXPECT_EQ(pickerAccessible->role(), QAccessible::PageTabList);
    EXPECT_EQ(pickerAccessible->text(QAccessible::Value), "Month");

    rows[0]->setFocus(Qt::TabFocusReason);
    for (int i : {0, 1, 2}) QTest::keyClick(rows[i], Qt::Key_Down);
    EXPECT_TRUE(rows[2]->hasFocus());
    QTest::keyClick(rows[2], Qt::Key_Up);
    EXPECT_TRUE(rows[1]->hasFocus());
    EXPECT_NE(FocusRing::around(rows[1]), nullptr);
    auto* rowAccessible = QAccessible::queryAccessibleInterface(rows[1]);
    ASSERT_NE(rowAccessible, nullptr);
    EXPECT_EQ(rowAccessible->role(), QAccessible::Button);
    EXPECT_EQ(rowAccessible->text(QAccessible::Name), "Logs, 12 MB");
}

// After a mouse press no focus shows a ring, even one Qt gives a Tab reason; a key brings it back.
TEST(KitFocus, AMouseSessionShowsNoRingUntilAKeyIsPressed) {
    auto* a = new Button("A", Button::Style::subtle);
    auto* b = new Button("B", Button::Style::subtle);
    Window window({a, b});
    QTest::mouseClick(a, Qt::LeftButton);
    b->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(FocusRing::around(b), nullptr);
    QTest::keyClick(b, Qt::Key_Tab);
    EXPECT_TRUE(a->hasFocus());
    EXPECT_NE(FocusRing::around(a), nullptr);
}

// The ring keeps to its control's current rectangle whether the layout resizes the control
// before the focus arrives (a pending layout runs while the ring is being shown) or after.
TEST(KitFocus, TheRingFollowsTheControlWhateverOrderLayoutAndFocusComeIn) {
    for (const bool textFirst : {true, false}) {
        for (const char* text : {"Done", "Move everything to the Trash"}) {
            SCOPED_TRACE(std::string(text) + (textFirst ? ", before the focus" : ", after the focus"));
            auto* other = new Button("Rescan", Button::Style::softAccent);
            auto* button = new Button("Move to Trash", Button::Style::accent);
            Window window({nullptr, other, button}, QBoxLayout::LeftToRight);
            QTest::keyClick(other, Qt::Key_Shift); // the keyboard is in use
            const QRect before = button->geometry();
            if (textFirst) button->setText(text);
            button->setFocus(Qt::OtherFocusReason);
            if (!textFirst) button->setText(text);
            QCoreApplication::processEvents();

            ASSERT_NE(button->geometry().width(), before.width());
            FocusRing* ring = FocusRing::around(button);
            ASSERT_NE(ring, nullptr);
            const QRectF got = ring->outline().translated(ring->mapTo(&window, QPoint(0, 0)));
            const double out = FocusRing::gap + FocusRing::width / 2;
            const QRectF want = QRectF(button->geometry()).adjusted(-out, -out, out, out);
            EXPECT_EQ(got, want) << got.x() << "," << got.y() << " " << got.width() << "x" << got.height();
        }
    }
}
