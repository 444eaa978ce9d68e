// The window says once which base-folder value was set aside and why (a note under the
// overview), and a category page says which of its roots is a link, where it points, and
// that it is not followed.
#include <gtest/gtest.h>

#include <QLayout>

#include "ui/kit/Text.h"
#include "ui/screens/CategoryDetailView.h"
#include "ui/screens/OverviewText.h"
#include "ui/screens/OverviewView.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::ui;

namespace {

QStringList footnoteTexts(test::UiContext& ctx) {
    OverviewView overview(ctx.models(), {});
    QStringList texts;
    for (auto* t : overview.footnotes()->findChildren<Text*>()) texts << t->text();
    return texts;
}

} // namespace

TEST(EnvironmentNotes, TheOverviewSaysOnceWhichValueWasSetAsideAndWhy) {
    struct Case {
        std::vector<BaseFolders::SetAside> values;
        QString title; // empty: no such note
    };
    const BaseFolders::SetAside cache{"XDG_CACHE_HOME", "/home/ann", "it is the home folder", "/home/ann/.cache"};
    const BaseFolders::SetAside config{"XDG_CONFIG_HOME", "/home/ann/.cache", "it is also the cache folder (~/.cache)",
                                       "/home/ann/.config"};
    const Case cases[] = {
        {{}, ""},
        {{cache}, "A folder setting was set aside"},
        {{cache, config}, "2 folder settings were set aside"},
    };
    for (const auto& c : cases) {
        test::UiContext ctx;
        ScanResult r = test::UiContext::sampleResult();
        r.setAsideFolders = c.values;
        ctx.finishScan(r);
        const QStringList texts = footnoteTexts(ctx);
        EXPECT_EQ(texts.count(c.title), c.title.isEmpty() ? 0 : 1) << c.title.toStdString();
        for (const auto& value : c.values) {
            const QString sentence = QString::fromStdString(BaseFolders::sentence(value));
            int saying = 0;
            for (const auto& t : texts) saying += t.count(sentence);
            EXPECT_EQ(saying, 1) << sentence.toStdString();
        }
        EXPECT_EQ(OverviewText::setAsideTitle(r), c.title);
    }
}

TEST(EnvironmentNotes, ACategoryPageSaysWhichRootIsALinkNotFollowed) {
    for (const bool link : {false, true}) {
        test::UiContext ctx;
        ScanResult r = test::UiContext::sampleResult();
        auto& category = r.categories.front();
        auto root = test::sampleNode(ctx / ".cache", 0, 0);
        if (link) root->linkTarget = "/mnt/disk/cache";
        category.roots = {root};
        ctx.finishScan(r);
        ctx.coordinator().move({category.category.id, {}});
        CategoryDetailView page(ctx.coordinator(), ctx.desktop(), category.category.id);
        test::settle(&page, {1000, 900});
        EXPECT_EQ(page.linkText().toStdString(),
                  link ? "~/.cache is a link to /mnt/disk/cache, not followed: nothing there is measured or offered."
                       : "");
    }
}
