// The overview's safe-to-clean section with a recommendation opened, and the Trash row that
// only reports.
#include <QVBoxLayout>

#include "shots/ShotRegistry.h"
#include "ui/screens/CleanupRow.h"
#include "ui/screens/SafeToCleanSection.h"
#include "ui/shell/WindowBackground.h"

using namespace sorvel;

SORVEL_SHOT("overview-safe-to-clean-expanded", 1180, 760) {
    auto items = test::UiContext::sampleRecommendations();
    for (int i = 0; i < 43; ++i)
        items[0].targets.push_back({UUID::random(), "cache", "/home/user/.cache/app-" + std::to_string(i), 1'000'000 * (50 - i),
                                    i == 0 ? std::optional<std::string>("Thumbnails, rebuilt on demand") : std::nullopt});
    // pip's cache is hard-linked into a project's environment: moving it frees nothing.
    for (auto& target : items[0].targets)
        if (target.path.ends_with("/.cache/pip")) target.shared = target.size;
    items[2].externalAction = "File manager → Empty Trash";
    items[2].reportedSize = 3'600'000'000;
    items[2].targets.clear();
    ctx.recommendations = items;
    ctx.finishScan(test::UiContext::sampleResult());
    auto* root = new ui::WindowBackground;
    auto* column = new QVBoxLayout(root);
    column->setContentsMargins(26, 26, 26, 26);
    auto* section = new ui::SafeToCleanSection(ctx.models(), [] {}, root);
    column->addWidget(section);
    column->addStretch();
    emit section->row(items[0].id)->toggleExpansion();
    return root;
}
