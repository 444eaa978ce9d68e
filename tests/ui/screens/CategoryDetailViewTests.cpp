// The category page on a coordinator whose scan, insights and Docker the test controls:
// opening rows and tiles, the breadcrumb, loads on every move, and view state that
// survives refreshes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QScrollArea>
#include <QTest>

#include <atomic>

#include "engine/Bytes.h"
#include "ui/kit/Button.h"
#include "ui/kit/Text.h"
#include "ui/screens/AdviceSection.h"
#include "ui/screens/CategoryDetailView.h"
#include "ui/screens/CategoryRowList.h"
#include "ui/screens/TreemapView.h"
#include "ui/screens/DockerSection.h"
#include "ui/screens/InsightsPanel.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::ui;
using test::waitUntil;

namespace {

ScanNodePtr folder(const std::string& path, int64_t size) {
    auto n = ScanNode::make(path.substr(path.rfind('/') + 1), path);
    n->size = size;
    n->fileCount = 3;
    return n;
}

struct Pane {
    test::UiContext ctx;
    std::shared_ptr<std::vector<std::string>> analysed = std::make_shared<std::vector<std::string>>();
    std::shared_ptr<std::atomic<int>> inspections = std::make_shared<std::atomic<int>>(0);
    std::unique_ptr<ScanCoordinator> coordinator;
    ScanNodePtr root, big, leaf;
    std::unique_ptr<CategoryDetailView> view;

    explicit Pane(size_t extraRows = 0, bool docker = false, bool nothingMeasured = false) {
        root = folder(ctx / "Library/Containers", 0);
        big = folder(root->path + "/com.docker.docker", 600);
        big->children.push_back(folder(big->path + "/Data", 600));
        leaf = folder(root->path + "/empty.app", 100);
        root->children = {big, leaf};
        for (size_t i = 0; i < extraRows; ++i) root->children.push_back(folder(root->path + "/x" + std::to_string(i), 1));
        root->largestFiles.push_back(FileEntry{UUID::random(), "big.bin", root->path + "/big.bin", 50, std::nullopt});
        root->size = 750 + static_cast<int64_t>(extraRows);
        // On the disk as in the tree: a root the disk lacks would leave the tree when the
        // window looks at it again.
        for (const auto& child : root->children) test::makeDirs(child->path);
        test::makeDirs(big->children.front()->path);
        if (nothingMeasured) {
            for (const auto& n : {root, big, big->children.front(), leaf}) n->size = 0;
            root->largestFiles.clear();
        }
        CategoryResult c;
        c.category = DisplayCategory::categories(ScanScope::systemData).front();
        c.category.id = "containers";
        c.category.storage = StorageCategory::containers;
        c.roots = {root};

        auto s = ScanCoordinator::Services::standard();
        s.scan = [c](ScanControl&, ScanScope scope) {
            ScanResult r;
            r.scope = scope;
            r.categories = {c};
            return r;
        };
        s.recommend = [](const ScanResult&) { return std::vector<CleanupItem>{}; };
        auto seen = analysed;
        s.analyzeFolder = [seen](const std::string& path, const std::set<std::string>&, const std::function<bool()>&) {
            FolderInsights f;
            f.path = path;
            f.fileCount = 2;
            f.totalBytes = 100;
            f.kinds = {{FileKind::image, 80, 1}, {FileKind::other, 20, 1}};
            f.ages = {{AgeBand::lastMonth, 100, 2}};
            return f;
        };
        s.dockerPath = [docker] { return docker ? std::optional<std::string>("/usr/bin/docker") : std::nullopt; };
        auto count = inspections;
        s.inspectDocker = [count] {
            ++*count;
            DockerUsage u;
            u.state = DockerUsage::State::ready;
            u.groups = {{"images", "Images", 500, 100, {}, "docker image prune -a"},
                        {"volumes", "Volumes", 200, 0, {}, std::nullopt}};
            return u;
        };
        coordinator = std::make_unique<ScanCoordinator>(s);
        coordinator->start();
        EXPECT_TRUE(waitUntil([&] { return coordinator->phase() == ScanCoordinator::Phase::done; }));
        // Count analyses as they are asked for, on the main thread.
        QObject::connect(coordinator.get(), &ScanCoordinator::insightsLoadingChanged, coordinator.get(), [this] {
            if (coordinator->insightsLoading()) analysed->push_back("load");
        });
        coordinator->move({std::string("containers"), {}});
        view = std::make_unique<CategoryDetailView>(*coordinator, ctx.desktop(), "containers");
        test::settle(view.get(), QSize(1100, 1600));
    }
    void settleAll() {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    }
};

} // namespace

TEST(CategoryDetailOpen, FoldersWithContentDrillEverythingElseIsRevealed) {
    Pane p;
    CategoryRowList* list = p.view->rowList();
    ASSERT_EQ(list->rowCount(), 3u); // two folders and one large file, largest first
    EXPECT_EQ(list->row(0).node(), p.big);

    // The leaf folder and the file are revealed.
    QTest::mouseClick(list, Qt::LeftButton, {}, list->rowRect(1).center());
    QTest::mouseClick(list, Qt::LeftButton, {}, list->rowRect(2).center());
    EXPECT_EQ(p.ctx.desktop().revealed, (std::vector<std::string>{p.leaf->path, p.root->path + "/big.bin"}));
    EXPECT_TRUE(p.coordinator->drillPath().empty());

    // A folder with children is entered, and the page follows without being rebuilt.
    QTest::mouseClick(list, Qt::LeftButton, {}, list->rowRect(0).center());
    p.settleAll();
    ASSERT_EQ(p.coordinator->drillPath().size(), 1u);
    EXPECT_EQ(p.view->crumbs().size(), 2);
    EXPECT_TRUE(p.view->treemap()->isHidden());
    EXPECT_TRUE(p.view->adviceSection()->isHidden());
    EXPECT_EQ(list->rowCount(), 1u);

    // Between rows nothing is hit.
    EXPECT_EQ(list->rowAt(QPoint(10, CategoryRowList::rowHeight + 1)), -1);
    p.view->clickCrumb(0);
    p.settleAll();
    EXPECT_TRUE(p.coordinator->drillPath().empty());
}

TEST(CategoryDetailOpen, RevealAndCopyFromTheContextMenuAndTheBreadcrumb) {
    Pane p;
    std::unique_ptr<QMenu> menu(p.view->rowList()->menuFor(0, nullptr));
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0]->text(), "Reveal in File Manager");
    EXPECT_EQ(menu->actions()[1]->text(), "Copy path");
    menu->actions()[0]->trigger();
    menu->actions()[1]->trigger();
    EXPECT_EQ(p.ctx.desktop().revealed, std::vector<std::string>{p.big->path});
    ASSERT_EQ(p.ctx.desktop().copied.size(), 1u);
    EXPECT_EQ(p.ctx.desktop().copied[0].toStdString(), p.big->path);

    EXPECT_FALSE(p.view->revealButton()->text().contains("Finder")) << "no Finder here";
    QTest::mouseClick(p.view->revealButton(), Qt::LeftButton);
    EXPECT_EQ(p.ctx.desktop().revealed.back(), p.root->path);
}

TEST(CategoryDetailLoading, InsightsLoadOncePerMoveAndDockerOnArrival) {
    Pane p(0, /*docker=*/true);
    ASSERT_TRUE(waitUntil([&] { return !p.coordinator->insightsLoading(); }));
    EXPECT_EQ(p.analysed->size(), 1u);
    EXPECT_EQ(p.view->insightsPanel()->cards(), QStringList({"kinds", "ages"}));
    ASSERT_TRUE(waitUntil([&] { return *p.inspections == 1 && !p.coordinator->dockerLoading(); }));

    p.coordinator->drill(p.big);
    p.settleAll();
    p.coordinator->drillBack(0);
    p.settleAll();
    p.coordinator->drillBack(0); // the same state: no move, no load
    p.settleAll();
    EXPECT_EQ(p.analysed->size(), 3u);
    EXPECT_EQ(*p.inspections, 1); // loaded once; later arrivals reuse it
}

TEST(CategoryDetailState, DockerCardsStayOpenAcrossRefreshes) {
    Pane p(0, /*docker=*/true);
    ASSERT_TRUE(waitUntil([&] { return p.view->dockerSection()->bodyKind() == "ready"; }));
    DockerSection* docker = p.view->dockerSection();
    EXPECT_EQ(docker->expanded(), (std::set<std::string>{"images"}));
    docker->toggle("volumes");
    p.coordinator->loadDocker(true);
    ASSERT_TRUE(waitUntil([&] { return *p.inspections == 2 && !p.coordinator->dockerLoading(); }));
    p.settleAll();
    EXPECT_EQ(docker->bodyKind(), "ready");
    EXPECT_EQ(docker->expanded(), (std::set<std::string>{"images", "volumes"}));
    EXPECT_EQ(p.view->dockerSection(), docker); // the same section, refreshed in place
}

TEST(CategoryDetailState, ALevelOf250RowsDrawsTwoHundredAndSaysHowManyMore) {
    Pane p(248); // 248 small folders + 2 folders + 1 file
    EXPECT_EQ(p.view->rowList()->rowCount(), 200u);
    EXPECT_EQ(p.view->moreRowsText(), "+ 51 smaller items");
    EXPECT_EQ(p.view->treemap()->tiles().size(), 24u);
}

TEST(CategoryDetailState, AnUnknownCategoryShowsOnlyTheEmptyState) {
    test::UiContext ctx;
    ctx.finishScan(test::UiContext::sampleResult());
    CategoryDetailView view(ctx.coordinator(), ctx.desktop(), "no-such-category");
    test::settle(&view, QSize(1100, 900));
    EXPECT_TRUE(view.showsEmptyState());
    EXPECT_EQ(view.emptyText(), "Nothing to show here.");
    EXPECT_EQ(view.crumbs(), QStringList({""}));
    EXPECT_TRUE(view.revealButton()->isHidden());
    EXPECT_TRUE(view.insightsPanel()->isHidden());
}

// Folders that all measure 0 bytes (an emptied Preferences under Other Library) used to leave a
// blank treemap area above their rows.
TEST(CategoryDetailOpen, ALevelThatMeasuresNothingShowsItsRowsWithoutAnEmptyMap) {
    for (bool nothing : {false, true}) {
        SCOPED_TRACE(nothing);
        Pane p(0, false, nothing);
        EXPECT_EQ(p.view->treemap()->isHidden(), nothing);
        EXPECT_FALSE(p.view->rowList()->isHidden());
        EXPECT_GE(p.view->rowList()->rowCount(), 1u);
    }
}

// From the keyboard the list moves a current row with the arrows, stops at its ends, and
// Return opens the current row as a click does.
TEST(CategoryDetailKeyboard, ArrowsMoveTheCurrentRowAndReturnOpensIt) {
    Pane p;
    CategoryRowList* list = p.view->rowList();
    QApplication::setActiveWindow(p.view.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(p.view.get()));
    list->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(list->currentRow(), 0);
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down}) QTest::keyClick(list, key);
    EXPECT_EQ(list->currentRow(), 2);
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(list->currentRow(), 1);
    QTest::keyClick(list, Qt::Key_Return); // the leaf folder is revealed
    EXPECT_EQ(p.ctx.desktop().revealed, (std::vector<std::string>{p.leaf->path}));
    QTest::keyClick(list, Qt::Key_Home);
    QTest::keyClick(list, Qt::Key_Space); // the folder with children is entered
    p.settleAll();
    EXPECT_EQ(p.coordinator->drillPath().size(), 1u);
}

// A subfolder this user may not read measures nothing; its row says so instead of showing
// "0 KB" like an empty folder.
TEST(CategoryDetailState, AnUnreadableFolderRowIsMarkedBlocked) {
    Pane p(0, false, true);      // every folder measures 0 bytes
    p.leaf->accessDenied = true; // as the walk leaves a folder it could not open
    emit p.coordinator->resultChanged();
    p.settleAll();
    CategoryRowList* list = p.view->rowList();
    for (size_t i = 0; i < list->rowCount(); ++i) {
        const bool locked = list->row(i).isDirectory() && list->row(i).node() == p.leaf;
        EXPECT_EQ(list->sizeText(i) == CategoryRowList::kNotReadableText, locked) << i;
        EXPECT_EQ(list->toolTip(i).isEmpty(), !locked) << i;
    }
}

// A folder a stop cut short before it counted a byte has no figure: "not measured", never a
// 0 marked partial; one cut after it counted keeps its figure, marked partial.
TEST(CategoryDetailState, AFolderCutBeforeItCountedIsNotMeasured) {
    const struct Row {
        const char* name;
        int64_t bytes;
        bool cut;
        std::string size; // the leaf row's figure
    } rows[] = {
        {"cut before a byte", 0, true, CategoryRowList::kNotMeasuredText},
        {"cut after some bytes", 4096, true, Bytes::format(4096)},
        {"read whole and empty", 0, false, Bytes::format(0)},
    };
    for (const Row& row : rows) {
        Pane p(0, false, true);
        p.leaf->size = p.leaf->directFileSize = row.bytes;
        if (row.cut) p.leaf->markCut();
        emit p.coordinator->resultChanged();
        p.settleAll();
        CategoryRowList* list = p.view->rowList();
        bool found = false;
        for (size_t i = 0; i < list->rowCount(); ++i) {
            if (!list->row(i).isDirectory() || list->row(i).node() != p.leaf) continue;
            found = true;
            EXPECT_EQ(list->sizeText(i).toStdString(), row.size) << row.name;
            EXPECT_EQ(list->isPartial(i), row.cut) << row.name;
        }
        EXPECT_TRUE(found) << row.name;
    }
}

// A category this user could not read at all used to show a large "0 KB", "Items 0 /
// Files 0" and the folder's "SAFE TO CLEAN" explainer: nothing was read, so no figure,
// no verdict and no advice marked safe; one read but for a folder keeps its figures.
TEST(CategoryDetailState, NothingReadShowsNoFigureAndNoVerdict) {
    for (const bool readable : {false, true}) {
        test::UiContext ctx;
        ScanResult r = test::UiContext::sampleResult();
        auto& category = r.categories.front();
        // A place with a known "safe to clean" explainer.
        auto root = test::sampleNode(ctx / "Library/Developer/Xcode/DerivedData", readable ? 4096 : 0, readable ? 2 : 0);
        root->accessDenied = !readable;
        category.roots = {root};
        ctx.finishScan(r);
        ctx.coordinator().move({category.category.id, {}});
        CategoryDetailView page(ctx.coordinator(), ctx.desktop(), category.category.id);
        test::settle(&page, {1000, 900});
        std::vector<std::string> shown;
        for (auto* t : page.findChildren<Text*>())
            if (t->isVisibleTo(&page)) shown.push_back(t->text().toStdString());
        auto has = [&](const std::string& text) { return std::count(shown.begin(), shown.end(), text) > 0; };
        const Bytes::Parts figure = Bytes::parts(4096);
        EXPECT_EQ(page.headline().toStdString(),
                  readable ? figure.number + " " + figure.unit : std::string("Not readable by this user"));
        EXPECT_EQ(has("Items"), readable);
        EXPECT_EQ(has("Files"), readable);
        // The explainer carries the verdict chip ("SAFE TO CLEAN" here).
        EXPECT_EQ(page.insightsPanel()->isVisibleTo(&page) && page.insightsPanel()->cards().contains("explainer"),
                  readable);
        // Nor the category's advice, whose items are marked safe.
        auto* advice = page.findChild<AdviceSection*>();
        ASSERT_NE(advice, nullptr);
        EXPECT_EQ(advice->isVisibleTo(&page), readable);
    }
}

// Page Up and Page Down take the current row along with the view: it stays on screen.
TEST(CategoryDetailKeyboard, PageKeysMoveTheCurrentRowWithTheView) {
    Pane p(150);
    QScrollArea area; // as the window's page host holds a page
    area.setWidgetResizable(true);
    area.setWidget(p.view.release());
    area.resize(1100, 600);
    area.show();
    QApplication::setActiveWindow(&area);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&area));
    CategoryRowList* list = static_cast<CategoryDetailView*>(area.widget())->rowList();
    list->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(list->currentRow(), 0);
    const int last = static_cast<int>(list->rowCount()) - 1;
    auto onScreen = [&](int row) {
        const QRect r = list->rowRect(row);
        const QRect shown(list->mapTo(area.viewport(), r.topLeft()), r.size());
        return area.viewport()->rect().contains(shown);
    };
    struct Step {
        Qt::Key key;
        const char* expect; // "forward", "back", "first", "last"
    };
    const Step steps[] = {{Qt::Key_PageDown, "forward"}, {Qt::Key_PageDown, "forward"}, {Qt::Key_PageUp, "back"},
                          {Qt::Key_End, "last"},         {Qt::Key_PageDown, "last"},    {Qt::Key_PageUp, "back"},
                          {Qt::Key_Home, "first"},       {Qt::Key_PageUp, "first"},     {Qt::Key_PageDown, "forward"}};
    for (const auto& step : steps) {
        const int before = list->currentRow();
        QTest::keyClick(list, step.key);
        const int now = list->currentRow();
        const std::string expect = step.expect;
        const int wanted = expect == "first" ? 0 : expect == "last" ? last : now;
        EXPECT_EQ(now, wanted) << step.expect;
        EXPECT_TRUE(expect != "forward" || now > before + 3) << "Page Down from " << before << " to " << now;
        EXPECT_TRUE(expect != "back" || now < before - 3) << "Page Up from " << before << " to " << now;
        EXPECT_TRUE(onScreen(now)) << "row " << now << " is off screen after " << step.key;
        EXPECT_TRUE(list->hasFocus());
    }
}
