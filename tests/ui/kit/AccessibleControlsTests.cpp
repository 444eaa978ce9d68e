// What the painted widgets read as on the accessibility bus: each text, figure and row is
// named as it looks, a figure gives its value, and pressing a row or tab does what a click
// does, while a row of a painted list exists for the bus only once it is asked for.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QCoreApplication>
#include <QSignalSpy>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

#include "ui/kit/AccessibleControls.h"
#include "ui/kit/Button.h"
#include "ui/kit/CapacityBar.h"
#include "ui/kit/CheckBox.h"
#include "ui/kit/Chip.h"
#include "ui/kit/RollingText.h"
#include "ui/kit/SegmentedPicker.h"
#include "ui/kit/Switch.h"
#include "ui/kit/Text.h"
#include "ui/kit/TextButton.h"
#include "uisupport/UiContext.h"

using namespace sorvel::ui;

namespace {

QAccessibleInterface* readerOf(QObject* object) { return QAccessible::queryAccessibleInterface(object); }

void press(QAccessibleInterface* target) {
    ASSERT_NE(target->actionInterface(), nullptr);
    ASSERT_TRUE(target->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    target->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCoreApplication::processEvents(); // the action follows the press on the event loop
}

} // namespace

// Painted texts and figures, each as its reader finds it.
TEST(KitAccessible, TextsAndFiguresReadAsTheyLook) {
    CapacityBar bar;
    bar.setValues({"System Data", 12'000'000'000, 200'000'000'000, 300'000'000'000, true});
    const struct {
        const char* what;
        std::function<QObject*()> make;
        QAccessible::Role role;
        QString name;
        QString value;
    } table[] = {
        {"text", [] { return new Text("Caches & Temp", QFont(), Adaptive{}); }, QAccessible::StaticText, "Caches & Temp", {}},
        {"rolling figure", [] { return new RollingText("10.2", QFont(), Adaptive{}); }, QAccessible::StaticText, "10.2", {}},
        {"named text", [] {
             auto* t = new Text("12", QFont(), Adaptive{});
             t->setAccessibleName("12 items");
             return t;
         }, QAccessible::StaticText, "12 items", {}},
        {"capacity bar", [&bar] { return &bar; }, QAccessible::List, "Volume", {}},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.what);
        QObject* object = row.make();
        QAccessibleInterface* reader = readerOf(object);
        ASSERT_NE(reader, nullptr);
        EXPECT_EQ(reader->role(), row.role);
        EXPECT_EQ(reader->text(QAccessible::Name), row.name);
        EXPECT_EQ(reader->text(QAccessible::Value), row.value);
        if (object != &bar) delete object;
    }
    // The bar's legend entries: a title and its figure.
    QAccessibleInterface* legend = readerOf(&bar);
    ASSERT_EQ(legend->childCount(), 3);
    EXPECT_TRUE(legend->child(0)->text(QAccessible::Name).startsWith("System Data, 12"));
    EXPECT_TRUE(legend->child(0)->text(QAccessible::Value).startsWith("12"));
    EXPECT_FALSE(legend->child(2)->text(QAccessible::Value).isEmpty());
}

// A described widget: its name and value follow its state, its press does what it says,
// and a disabled one offers no press.
TEST(KitAccessible, ADescribedWidgetReadsItsStateAndPresses) {
    QWidget row;
    QString title = "Logs";
    int presses = 0;
    AccessibleControls::describe(&row, {QAccessible::PageTab, [&] { return title + ", 12 MB"; },
                                        [] { return QString("12 MB"); }, [&] { ++presses; }});
    QAccessibleInterface* reader = readerOf(&row);
    EXPECT_EQ(reader->role(), QAccessible::PageTab);
    EXPECT_EQ(reader->text(QAccessible::Name), "Logs, 12 MB");
    EXPECT_EQ(reader->text(QAccessible::Value), "12 MB");
    title = "Mail";
    EXPECT_EQ(reader->text(QAccessible::Name), "Mail, 12 MB");
    press(reader);
    EXPECT_EQ(presses, 1);
    row.setEnabled(false);
    EXPECT_FALSE(reader->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    reader->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCoreApplication::processEvents();
    EXPECT_EQ(presses, 1);
}

// A painted list of thousands of rows: the bus sees every row, each made when asked and
// kept while it is read again; a row past the end is none; pressing a row acts on it.
TEST(KitAccessible, APaintedListHasOneChildPerRowMadeWhenAsked) {
    QWidget list;
    int count = 8000;
    int named = 0;
    std::vector<int> pressed;
    AccessibleControls::describeRows(
        &list, {QAccessible::List, {}, {}, {}},
        {QAccessible::ListItem, [&] { return count; },
         [&](int i) {
             ++named;
             return QString("row %1").arg(i);
         },
         [](int i) { return QString("%1 MB").arg(i); }, [](int i) { return QRect(0, i * 10, 100, 10); },
         [&](int i) { pressed.push_back(i); }, [] { return 3; }});
    QAccessibleInterface* reader = readerOf(&list);
    EXPECT_EQ(reader->childCount(), 8000);
    EXPECT_EQ(named, 0) << "no row is read before the bus asks for it";
    QAccessibleInterface* last = reader->child(7999);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->text(QAccessible::Name), "row 7999");
    EXPECT_EQ(last->text(QAccessible::Value), "7999 MB");
    EXPECT_EQ(last->parent(), reader);
    EXPECT_EQ(reader->child(7999), last) << "the same row is the same reader";
    EXPECT_EQ(reader->indexOfChild(last), 7999);
    EXPECT_EQ(reader->child(8000), nullptr);
    press(reader->child(5));
    EXPECT_EQ(pressed, std::vector<int>{5});
    count = 10; // the list shrank: the row read before is gone
    EXPECT_FALSE(last->isValid());
    EXPECT_EQ(reader->childCount(), 10);
}

// The picker is a tab list whose value is the chosen option; pressing a tab picks it.
TEST(KitAccessible, APickersTabsPressToPick) {
    SegmentedPicker picker({{"Week", {}}, {"Month", {}}, {"Year", {}}});
    picker.setCurrentIndex(1);
    QSignalSpy picked(&picker, &SegmentedPicker::picked);
    QAccessibleInterface* reader = readerOf(&picker);
    EXPECT_EQ(reader->role(), QAccessible::PageTabList);
    EXPECT_EQ(reader->text(QAccessible::Value), "Month");
    ASSERT_EQ(reader->childCount(), 3);
    const char* titles[] = {"Week", "Month", "Year"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(reader->child(i)->role(), QAccessible::PageTab);
        EXPECT_EQ(reader->child(i)->text(QAccessible::Name), titles[i]);
        EXPECT_EQ(reader->child(i)->state().selected, i == 1) << i;
    }
    press(reader->child(2));
    ASSERT_EQ(picked.count(), 1);
    EXPECT_EQ(picked[0][0].toInt(), 2);
}

// Our painted buttons over the bus: named by the title they draw ("&" is a character, not a
// mnemonic), and pressed or toggled there they are clicked, as by the mouse, so what listens
// to `clicked` acts; a disabled one offers nothing and does nothing.
TEST(KitAccessible, PaintedButtonsAreClickedWhenPressedOrToggledOverTheBus) {
    const struct {
        const char* what;
        std::function<QAbstractButton*()> make;
        QString action;
        QAccessible::Role role;
        QString name;
    } table[] = {
        {"titled button", [] { return new Button("Caches & Temp", Button::Style::outline); },
         QAccessibleActionInterface::pressAction(), QAccessible::Button, "Caches & Temp"},
        {"text button", [] { return new TextButton("Open Settings & reveal Sorvel", QFont(), Adaptive{}); },
         QAccessibleActionInterface::pressAction(), QAccessible::Button, "Open Settings & reveal Sorvel"},
        {"tick box toggled", [] {
             auto* box = new CheckBox;
             box->setAccessibleName("someapp");
             return box;
         }, QAccessibleActionInterface::toggleAction(), QAccessible::CheckBox, "someapp"},
        {"switch pressed", [] {
             auto* s = new Switch(QSize(44, 24));
             s->setAccessibleName("Switch to dark mode");
             return s;
         }, QAccessibleActionInterface::pressAction(), QAccessible::CheckBox, "Switch to dark mode"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.what);
        std::unique_ptr<QAbstractButton> button(row.make());
        QSignalSpy clicked(button.get(), &QAbstractButton::clicked);
        QAccessibleInterface* reader = readerOf(button.get());
        EXPECT_EQ(reader->role(), row.role);
        EXPECT_EQ(reader->text(QAccessible::Name), row.name);
        ASSERT_TRUE(reader->actionInterface()->actionNames().contains(row.action));
        const bool before = button->isChecked();
        reader->actionInterface()->doAction(row.action);
        QCoreApplication::processEvents();
        EXPECT_EQ(clicked.count(), 1) << "handlers of clicked ran";
        EXPECT_EQ(button->isChecked(), button->isCheckable() ? !before : before);
        EXPECT_EQ(reader->state().checked, button->isChecked());
        button->setEnabled(false);
        EXPECT_FALSE(reader->actionInterface()->actionNames().contains(row.action));
        reader->actionInterface()->doAction(row.action);
        QCoreApplication::processEvents();
        EXPECT_EQ(clicked.count(), 1) << "a disabled button did something";
    }
}

// A chip reads as the label it draws, and follows a new text.
TEST(KitAccessible, AChipReadsItsText) {
    Chip chip("Safe to clean", Adaptive{}, Adaptive{});
    QAccessibleInterface* reader = readerOf(&chip);
    EXPECT_EQ(reader->role(), QAccessible::StaticText);
    EXPECT_EQ(reader->text(QAccessible::Name), "Safe to clean");
    chip.setText("File manager \u2192 Empty Trash");
    EXPECT_EQ(reader->text(QAccessible::Name), "File manager \u2192 Empty Trash");
}

// A described thing that ticks: checkable only while it says so, ticked as it says, toggled
// by a press; one that says a press does nothing offers none.
TEST(KitAccessible, ADescribedThingTicksAndPressesOnlyWhenItSays) {
    QWidget row;
    std::optional<bool> ticked = false;
    bool pressable = true;
    int presses = 0;
    AccessibleControls::describe(&row, {QAccessible::ListItem, [] { return QString("User app caches, 14 MB"); }, {},
                                        [&] { ticked = ticked.has_value() ? std::optional(!*ticked) : ticked; ++presses; }},
                                 {[&] { return ticked; }, [&] { return pressable; }});
    QAccessibleInterface* reader = readerOf(&row);
    const QString toggle = QAccessibleActionInterface::toggleAction();
    const QString pressName = QAccessibleActionInterface::pressAction();
    EXPECT_TRUE(reader->state().checkable);
    EXPECT_FALSE(reader->state().checked);
    ASSERT_TRUE(reader->actionInterface()->actionNames().contains(toggle));
    reader->actionInterface()->doAction(toggle);
    QCoreApplication::processEvents();
    EXPECT_EQ(presses, 1);
    EXPECT_TRUE(reader->state().checked);
    ticked.reset(); // no longer a thing that ticks
    EXPECT_FALSE(reader->state().checkable);
    EXPECT_FALSE(reader->actionInterface()->actionNames().contains(toggle));
    EXPECT_TRUE(reader->actionInterface()->actionNames().contains(pressName));
    pressable = false;
    EXPECT_FALSE(reader->actionInterface()->actionNames().contains(pressName));
    reader->actionInterface()->doAction(pressName);
    QCoreApplication::processEvents();
    EXPECT_EQ(presses, 1) << "a press that says it does nothing acted";
}
