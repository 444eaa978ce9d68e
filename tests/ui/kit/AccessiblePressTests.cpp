// A press over the accessibility bus returns at once and the action follows on the event
// loop, as Qt's own buttons do: an action that opens a dialog (Export's file dialog) never
// keeps the screen reader's call waiting.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QCoreApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

#include "ui/kit/AccessibleControls.h"
#include "ui/kit/Button.h"
#include "ui/kit/ClickArea.h"
#include "ui/kit/TextButton.h"
#include "uisupport/UiContext.h"

using namespace sorvel::ui;
using sorvel::test::waitUntil;

namespace {

// What the action saw: whether the press had returned before it ran.
struct Seen {
    int ran = 0;
    bool pressReturned = false;
    bool ranAfterReturn = false;
};

// The action of a dialog-opening control: a modal dialog, closed by the loop it runs.
void actLikeADialog(Seen& seen) {
    seen.ranAfterReturn = seen.pressReturned;
    ++seen.ran;
    QDialog dialog;
    QTimer::singleShot(0, &dialog, &QDialog::reject);
    dialog.exec();
}

struct Control {
    std::unique_ptr<QWidget> widget;
    QAccessibleInterface* reader = nullptr;
};

Control make(const std::string& kind, Seen& seen) {
    Control c;
    if (kind == "kit button" || kind == "text button" || kind == "click area") {
        QAbstractButton* button = kind == "kit button"    ? static_cast<QAbstractButton*>(new Button("Export\u2026", Button::Style::outline))
                                  : kind == "text button" ? static_cast<QAbstractButton*>(new TextButton("Export\u2026", QFont(), Adaptive{}))
                                                          : static_cast<QAbstractButton*>(new ClickArea);
        QObject::connect(button, &QAbstractButton::clicked, [&seen] { actLikeADialog(seen); });
        c.widget.reset(button);
        c.reader = QAccessible::queryAccessibleInterface(button);
    } else if (kind == "described widget") {
        c.widget = std::make_unique<QWidget>();
        AccessibleControls::describe(c.widget.get(), {QAccessible::Button, [] { return QString("Export"); }, {},
                                                      [&seen] { actLikeADialog(seen); }});
        c.reader = QAccessible::queryAccessibleInterface(c.widget.get());
    } else { // a row of a painted list
        c.widget = std::make_unique<QWidget>();
        AccessibleControls::Rows rows;
        rows.count = [] { return 3; };
        rows.name = [](int i) { return QString("row %1").arg(i); };
        rows.rect = [](int i) { return QRect(0, i * 20, 100, 20); };
        rows.press = [&seen](int) { actLikeADialog(seen); };
        AccessibleControls::describeRows(c.widget.get(), {QAccessible::List, {}, {}, {}}, std::move(rows));
        c.reader = QAccessible::queryAccessibleInterface(c.widget.get())->child(1);
    }
    return c;
}

const char* const kKinds[] = {"kit button", "text button", "click area", "described widget", "list row"};

} // namespace

TEST(AccessiblePress, APressReturnsAtOnceAndTheActionFollows) {
    for (const char* kind : kKinds) {
        SCOPED_TRACE(kind);
        Seen seen;
        Control c = make(kind, seen);
        ASSERT_NE(c.reader, nullptr);
        ASSERT_NE(c.reader->actionInterface(), nullptr);
        c.reader->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        seen.pressReturned = true;
        EXPECT_EQ(seen.ran, 0) << "the action ran inside the press";
        EXPECT_TRUE(waitUntil([&] { return seen.ran == 1; }, 5000));
        EXPECT_TRUE(seen.ranAfterReturn);
    }
}

// A control gone, or disabled, between the press and its turn on the loop does nothing.
TEST(AccessiblePress, AControlGoneOrDisabledBeforeItsTurnDoesNothing) {
    for (const bool gone : {true, false}) {
        for (const char* kind : kKinds) {
            SCOPED_TRACE(std::string(kind) + (gone ? ", gone" : ", disabled"));
            Seen seen;
            Control c = make(kind, seen);
            ASSERT_NE(c.reader, nullptr);
            c.reader->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            if (gone) c.widget.reset();
            else c.widget->setEnabled(false);
            for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
            EXPECT_EQ(seen.ran, 0);
        }
    }
}
