// The window as a screen reader finds it on the accessibility bus: every control is named,
// every text reads as it is drawn, the sidebar's rows and the overview's categories read
// their figures, and pressing one there opens its page as a click does.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QCoreApplication>
#include <QSignalSpy>

#include <algorithm>
#include <string>

#include <functional>

#include "engine/Bytes.h"
#include "uisupport/UiContext.h"
#include "ui/kit/Text.h"
#include "ui/screens/CleanupRow.h"
#include "ui/screens/OverviewView.h"
#include "ui/screens/TreemapView.h"
#include "ui/shell/HeaderView.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/SidebarView.h"

using namespace sorvel;
using namespace sorvel::ui;

namespace {

bool isControl(QAccessible::Role role) {
    switch (role) {
    case QAccessible::Button:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::PageTab:
    case QAccessible::ComboBox:
    case QAccessible::Link:
    case QAccessible::ListItem: return true;
    default: return false;
    }
}

// Every shown interface under `root`, depth first.
void walk(QAccessibleInterface* root, const std::function<void(QAccessibleInterface*)>& visit, int depth = 0) {
    if (!root || depth > 60) return;
    visit(root);
    for (int i = 0, n = root->childCount(); i < n; ++i) {
        QAccessibleInterface* c = root->child(i);
        if (c && !c->state().invisible) walk(c, visit, depth + 1);
    }
}

QString describe(QAccessibleInterface* i) {
    QObject* o = i->object();
    return QString("%1 %2 (%3)")
        .arg(int(i->role()))
        .arg(o ? o->metaObject()->className() : "row")
        .arg(o ? o->objectName() : i->parent() && i->parent()->object() ? i->parent()->object()->metaObject()->className() : "");
}

void press(QAccessibleInterface* target) {
    ASSERT_NE(target->actionInterface(), nullptr);
    ASSERT_TRUE(target->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    target->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCoreApplication::processEvents(); // the action follows the press on the event loop
}

} // namespace

// Over the whole window after a scan: no control without a name, and no painted text that
// reads other than it is drawn.
TEST(AccessibleWindow, EveryControlIsNamedAndEveryTextReadsAsDrawn) {
    test::UiContext ctx;
    ctx.finishScan(test::UiContext::sampleResult());
    MainWindow window(ctx.models(), MainWindow::Startup{});
    test::settle(&window, {1440, 980});
    int controls = 0, texts = 0;
    walk(QAccessible::queryAccessibleInterface(&window), [&](QAccessibleInterface* i) {
        if (isControl(i->role())) {
            ++controls;
            EXPECT_FALSE(i->text(QAccessible::Name).trimmed().isEmpty()) << describe(i).toStdString();
        }
        if (auto* text = qobject_cast<Text*>(i->object()); text && !text->text().isEmpty()) {
            ++texts;
            EXPECT_EQ(i->role(), QAccessible::StaticText);
            if (text->accessibleName().isEmpty()) {
                EXPECT_EQ(i->text(QAccessible::Name), text->text());
            }
        }
    });
    EXPECT_GT(controls, 20);
    EXPECT_GT(texts, 10);
    // The header's own buttons, by what they do.
    auto* header = window.findChild<HeaderView*>();
    ASSERT_NE(header, nullptr);
    QStringList names;
    walk(QAccessible::queryAccessibleInterface(header), [&](QAccessibleInterface* i) {
        if (isControl(i->role())) names << i->text(QAccessible::Name);
    });
    for (const char* expected : {"Back", "Forward", "System Data", "Whole Disk", "Switch to dark mode", "Rescan"})
        EXPECT_TRUE(names.contains(expected)) << expected << " in " << names.join(" | ").toStdString();
}

// A sidebar row reads its title and figure, and pressed over the bus opens its page; the
// overview's categories read as their tooltips do and open alike.
TEST(AccessibleWindow, SidebarRowsAndCategoriesReadTheirFiguresAndOpenWhenPressed) {
    test::UiContext ctx;
    const ScanResult result = test::UiContext::sampleResult();
    ctx.finishScan(result);
    MainWindow window(ctx.models(), MainWindow::Startup{});
    test::settle(&window, {1440, 980});
    auto* sidebar = window.findChild<SidebarView*>();
    ASSERT_NE(sidebar, nullptr);
    const auto& category = result.categories[1];
    int64_t size = 0;
    for (const auto& root : category.roots) size += root->size;
    const QString figure = QString::fromStdString(Bytes::compact(size));
    const QString title = QString::fromStdString(category.category.title);
    const struct {
        std::string id;
        QString name;
        QString value;
        std::optional<std::string> opens;
    } table[] = {
        {category.category.id, title + ", " + figure, figure, category.category.id},
        {"tool:history", "History", "", "tool:history"},
        {"", "Overview, ", {}, std::nullopt},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.id);
        SidebarRow* widget = sidebar->row(row.id);
        ASSERT_NE(widget, nullptr);
        QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(widget);
        EXPECT_EQ(reader->role(), QAccessible::PageTab);
        EXPECT_TRUE(reader->text(QAccessible::Name).startsWith(row.name)) << reader->text(QAccessible::Name).toStdString();
        if (!row.value.isNull()) {
            EXPECT_EQ(reader->text(QAccessible::Value), row.value);
        }
        press(reader);
        EXPECT_EQ(ctx.coordinator().selectedCategory(), row.opens);
    }

    auto* overview = window.findChild<OverviewView*>();
    ASSERT_TRUE(test::waitUntil([&] { return (overview = window.findChild<OverviewView*>()) && overview->isVisible(); }));
    QAccessibleInterface* map = QAccessible::queryAccessibleInterface(overview->treemap());
    ASSERT_GT(map->childCount(), 2);
    QAccessibleInterface* tile = map->child(0);
    EXPECT_TRUE(tile->text(QAccessible::Name).contains(" \u2014 ")) << tile->text(QAccessible::Name).toStdString();
    EXPECT_FALSE(tile->text(QAccessible::Value).isEmpty());
    press(tile);
    EXPECT_TRUE(ctx.coordinator().selectedCategory().has_value()) << "the tile opened its category";
}

// Over the whole window: each child a reader gives back names that reader as its parent and
// sits at the index it was asked for, so a screen reader walking down and back up agrees.
TEST(AccessibleWindow, ParentsAndChildIndexesAgreeBothWays) {
    test::UiContext ctx;
    ctx.finishScan(test::UiContext::sampleResult());
    MainWindow window(ctx.models(), MainWindow::Startup{});
    test::settle(&window, {1440, 980});
    int checked = 0;
    walk(QAccessible::queryAccessibleInterface(&window), [&](QAccessibleInterface* i) {
        for (int k = 0, n = std::min(i->childCount(), 500); k < n; ++k) {
            QAccessibleInterface* c = i->child(k);
            ASSERT_NE(c, nullptr) << describe(i).toStdString() << " child " << k;
            EXPECT_EQ(c->parent(), i) << describe(c).toStdString();
            EXPECT_EQ(i->indexOfChild(c), k) << describe(c).toStdString();
            ++checked;
        }
    });
    EXPECT_GT(checked, 50);
}

// The header's appearance switch pressed over the bus switches the appearance, as a click does.
TEST(AccessibleWindow, TheAppearanceSwitchActsWhenPressedOverTheBus) {
    test::UiContext ctx;
    ctx.finishScan(test::UiContext::sampleResult());
    MainWindow window(ctx.models(), MainWindow::Startup{});
    test::settle(&window, {1440, 980});
    QAccessibleInterface* toggle = nullptr;
    walk(QAccessible::queryAccessibleInterface(window.findChild<HeaderView*>()), [&](QAccessibleInterface* i) {
        if (i->role() == QAccessible::CheckBox && i->text(QAccessible::Name).startsWith("Switch to")) toggle = i;
    });
    ASSERT_NE(toggle, nullptr);
    const auto before = ctx.appearance().selection();
    const QString name = toggle->text(QAccessible::Name);
    press(toggle);
    EXPECT_NE(ctx.appearance().selection(), before);
    EXPECT_NE(toggle->text(QAccessible::Name), name) << "the switch still offers what it just did";
}

// A row of the overview's cleanup list reads its title and figure as drawn, ticked as drawn; a
// press ticks it, or opens its paths where it cannot be ticked, and one with neither offers none.
TEST(AccessibleWindow, ACleanupRowReadsItsFigureAndTicksWhenPressed) {
    test::UiContext ctx;
    const CleanupItem sample = test::UiContext::sampleRecommendations().front();
    CleanupItem external = sample;
    external.externalAction = "File manager \u2192 Empty Trash";
    CleanupItem bare = external;
    bare.targets.clear();
    const struct {
        const char* what;
        CleanupItem item;
        bool selected;
        bool checkable;
        const char* signal; // what a press emits, or none
    } table[] = {
        {"ticked", sample, true, true, "toggleSelection"},
        {"unticked", sample, false, true, "toggleSelection"},
        {"external with paths", external, false, false, "toggleExpansion"},
        {"external without paths", bare, false, false, nullptr},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.what);
        CleanupRow widget(ctx.desktop());
        widget.setItem(row.item, row.selected, false);
        QSignalSpy ticks(&widget, &CleanupRow::toggleSelection);
        QSignalSpy opens(&widget, &CleanupRow::toggleExpansion);
        QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(&widget);
        const QString figure = QString::fromStdString(Bytes::format(row.item.size()));
        EXPECT_EQ(reader->text(QAccessible::Name), QString::fromStdString(row.item.title) + ", " + figure);
        EXPECT_EQ(reader->text(QAccessible::Value), figure);
        EXPECT_EQ(reader->state().checkable, row.checkable);
        EXPECT_EQ(reader->state().checked, row.checkable && row.selected);
        const QStringList actions = reader->actionInterface()->actionNames();
        EXPECT_EQ(actions.contains(QAccessibleActionInterface::pressAction()), row.signal != nullptr);
        reader->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCoreApplication::processEvents();
        EXPECT_EQ(ticks.count(), row.signal && std::string(row.signal) == "toggleSelection" ? 1 : 0);
        EXPECT_EQ(opens.count(), row.signal && std::string(row.signal) == "toggleExpansion" ? 1 : 0);
    }
}
