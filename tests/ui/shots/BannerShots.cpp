// The update banner's variants, alone at the detail column's width.
#include <QVBoxLayout>

#include "platform/BundleInfo.h"
#include "shots/ShotRegistry.h"
#include "ui/shell/UpdateBanner.h"
#include "ui/shell/WindowBackground.h"

using namespace sorvel;

namespace {

QWidget* banner(test::UiContext& ctx, Release release) {
    // A checker whose feed answers with the release.
    auto* root = new ui::WindowBackground;
    auto* checker = new UpdateChecker([release](const QUrl&, UpdateChecker::Completion done) {
        done(UpdateChecker::FetchResult::success(release));
    }, [](const QUrl&) {}, root);
    (void)ctx;
    auto* column = new QVBoxLayout(root);
    column->setContentsMargins(26, 26, 26, 26);
    column->addWidget(new ui::UpdateBanner(*checker, root));
    column->addStretch();
    // The build names no feed; this one does, for the check only.
    BundleInfo::replaceDictionary(nlohmann::json{{"SorvelUpdateFeedURL", "https://example.invalid/feed.json"}});
    checker->check(true);
    BundleInfo::replaceDictionary(std::nullopt);
    return root;
}

Release release(std::optional<std::string> date, std::optional<std::string> notes) {
    Release r;
    r.version = "9.1.0";
    r.build = 910;
    r.url = "https://example.invalid/sorvel";
    r.date = std::move(date);
    r.notes = std::move(notes);
    return r;
}

} // namespace

SORVEL_SHOT("update-banner-plain", 1170, 160) { return banner(ctx, release(std::nullopt, std::nullopt)); }
SORVEL_SHOT("update-banner-date-and-notes", 1170, 180) {
    return banner(ctx, release("2026-12-01", "Faster whole-disk scans and a clearer cleanup preview, with a long note "
                                            "that wraps onto a second line so the buttons stay at the top."));
}
