#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
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

void showActive(QWidget& window) {
    window.resize(400, 300);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

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
    showActive(window);
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

// The ring is 2 px of the accent just outside the control's shape, shown from the keyboard
// and not after a click.
TEST(KitFocus, TheRingIsDrawnOutsideTheShapeOnlyFromTheKeyboard) {
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    column->setContentsMargins(20, 20, 20, 20);
    auto* first = new Button("First", Button::Style::subtle);
    auto* button = new Button("Second", Button::Style::subtle);
    column->addWidget(first);
    column->addWidget(button);
    showActive(window);

    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(button->hasFocus());
    EXPECT_EQ(FocusRing::around(button), nullptr);

    QTest::keyClick(button, Qt::Key_Backtab);
    QTest::keyClick(first, Qt::Key_Tab);
    ASSERT_TRUE(button->hasFocus());
    FocusRing* ring = FocusRing::around(button);
    ASSERT_NE(ring, nullptr);
    const QImage image = window.grab().toImage();
    const QRect g = button->geometry();
    const int y = g.center().y();
    EXPECT_TRUE(isAccent(image.pixelColor(g.left() - 2, y)));
    EXPECT_TRUE(isAccent(image.pixelColor(g.right() + 3, y)));
    EXPECT_FALSE(isAccent(image.pixelColor(g.left() - 4, y)));
    EXPECT_FALSE(isAccent(image.pixelColor(g.left() + 2, y))); // the button itself is not covered

    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(FocusRing::around(button), nullptr);
}

// Space and Return act on every focused button-like control.
TEST(KitFocus, SpaceAndReturnActOnTheFocusedControl) {
    struct Case {
        const char* name;
        std::function<QAbstractButton*()> make;
    };
    const std::vector<Case> cases = {
        {"button", [] { return new Button("Go", Button::Style::accent); }},
        {"text button", [] { return new TextButton("Copy", QFont(), Theme::accentInk()); }},
        {"switch", [] { return new Switch; }},
        {"check box", [] { return new CheckBox; }},
        {"click area", [] { return new ClickArea; }},
    };
    for (const Case& c : cases) {
        for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(key));
            QWidget window;
            auto* column = new QVBoxLayout(&window);
            QAbstractButton* control = c.make();
            control->setMinimumSize(20, 20);
            column->addWidget(control);
            showActive(window);
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

// The arrow keys choose the option before or after; Space and Return choose the current one.
TEST(KitFocus, ThePickerMovesWithTheArrowKeys) {
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    auto* picker = new SegmentedPicker({{"Week", {}}, {"Month", {}}, {"Year", {}}});
    column->addWidget(picker);
    QObject::connect(picker, &SegmentedPicker::picked, picker, &SegmentedPicker::setCurrentIndex);
    showActive(window);
    picker->setFocus(Qt::TabFocusReason);
    QSignalSpy picked(picker, &SegmentedPicker::picked);
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Down, Qt::Key_Up, Qt::Key_Return})
        QTest::keyClick(picker, key);
    std::vector<int> got;
    for (const auto& args : picked) got.push_back(args[0].toInt());
    EXPECT_EQ(got, (std::vector<int>{1, 2, 1, 1}));
    auto* accessible = QAccessible::queryAccessibleInterface(picker);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::PageTabList);
    EXPECT_EQ(accessible->text(QAccessible::Value), "Month");
}

// Rows made of clickable areas move with Up and Down, and a screen reader hears each as a
// button named after its texts.
TEST(KitFocus, RowsMoveWithUpAndDownAndAreNamedByTheirTexts) {
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    std::vector<ClickArea*> rows;
    for (const char* title : {"Caches", "Logs", "Mail"}) {
        auto* row = new ClickArea;
        row->row()->addWidget(new Text(title, QFont(), Theme::primaryText()));
        row->row()->addWidget(new Text("12 MB", QFont(), Theme::secondaryText()));
        column->addWidget(row);
        rows.push_back(row);
    }
    showActive(window);
    rows[0]->setFocus(Qt::TabFocusReason);
    QTest::keyClick(rows[0], Qt::Key_Down);
    EXPECT_TRUE(rows[1]->hasFocus());
    QTest::keyClick(rows[1], Qt::Key_Down);
    QTest::keyClick(rows[2], Qt::Key_Down); // the last row stays
    EXPECT_TRUE(rows[2]->hasFocus());
    QTest::keyClick(rows[2], Qt::Key_Up);
    EXPECT_TRUE(rows[1]->hasFocus());
    EXPECT_NE(FocusRing::around(rows[1]), nullptr);

    auto* accessible = QAccessible::queryAccessibleInterface(rows[1]);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::Button);
    EXPECT_EQ(accessible->text(QAccessible::Name), "Logs, 12 MB");
}

// After a mouse press even a focus given with a Tab reason shows no ring; a key brings it back.
TEST(KitFocus, AMouseSessionShowsNoRingUntilAKeyIsPressed) {
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    QWidget* buttons[] = {new Button("A", Button::Style::subtle), new Button("B", Button::Style::subtle)};
    for (QWidget* b : buttons) column->addWidget(b);
    showActive(window);
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    buttons[1]->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(FocusRing::around(buttons[1]), nullptr);
    QTest::keyClick(buttons[1], Qt::Key_Tab);
    EXPECT_NE(FocusRing::around(buttons[0]), nullptr);
}

// The ring keeps to its control's current rectangle whether the layout resizes the control
// before the focus arrives (a pending layout runs while the ring is being shown) or after.
TEST(KitFocus, TheRingFollowsTheControlWhateverOrderLayoutAndFocusComeIn) {
    struct Case {
        const char* name;
        bool textFirst;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"shrunk before the focus", true, "Done"},
        {"grown before the focus", true, "Move everything to the Trash"},
        {"shrunk after the focus", false, "Done"},
        {"grown after the focus", false, "Move everything to the Trash"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget window;
        auto* row = new QHBoxLayout(&window);
        row->setContentsMargins(20, 20, 20, 20);
        auto* other = new Button("Rescan", Button::Style::softAccent);
        auto* button = new Button("Move to Trash", Button::Style::accent);
        row->addStretch(1);
        row->addWidget(other);
        row->addWidget(button);
        showActive(window);
        QTest::keyClick(other, Qt::Key_Shift); // the keyboard is in use
        const QRect before = button->geometry();

        if (c.textFirst) button->setText(c.text);
        button->setFocus(Qt::OtherFocusReason);
        if (!c.textFirst) button->setText(c.text);
        QCoreApplication::processEvents();

        ASSERT_NE(button->geometry().width(), before.width());
        FocusRing* ring = FocusRing::around(button);
        ASSERT_NE(ring, nullptr);
        const QRectF outline = ring->outline().translated(ring->mapTo(&window, QPoint(0, 0)));
        const double out = FocusRing::gap + FocusRing::width / 2;
        const auto text = [](const QRectF& r) {
            return QString("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString();
        };
        EXPECT_EQ(text(outline), text(QRectF(button->geometry()).adjusted(-out, -out, out, out)));
    }
}
