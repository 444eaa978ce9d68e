// The window as a screen reader finds it on the accessibility bus: every control is named,
// every text reads as it is drawn, the sidebar's rows and the overview's categories read
// their figures, and pressing one there opens its page as a click does.
#include <gtest/gtest.h>

#include <QAccessible>

#include <functional>

#include "engine/Bytes.h"
#include "uisupport/UiContext.h"
#include "ui/kit/Text.h"
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
