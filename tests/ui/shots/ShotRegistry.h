#pragma once
// Screenshot states. Each area registers its own states in its own file under shots/:
//
//   SORVEL_SHOT("overview-done", 1440, 980) {
//       ctx.finishScan(test::UiContext::sampleResult());
//       return new ui::MainWindow(ctx.models());
//   }
//
// The body gets a fresh `ctx` (test::UiContext: fake home, models, recording desktop),
// returns the widget to render (the runner owns and deletes it), and may switch the
// appearance first (ctx.appearance().setSelection(ui::Appearance::dark)). The runner
// (sorvel_screenshots, run by scripts/screenshots) writes build/screenshots/<name>.png.
// SORVEL_SHOT_SCALED(name, w, h, scale) renders at `scale` device pixels per point, as
// QT_SCALE_FACTOR does (w by h are points).
#include <QSize>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "uisupport/UiContext.h"

namespace sorvel::shots {

struct Shot {
    std::string name;
    QSize size;
    std::function<QWidget*(test::UiContext&)> make;
    double scale = 1;
};

bool add(Shot shot);
const std::vector<Shot>& all();

} // namespace sorvel::shots

#define SORVEL_SHOT_CAT2(a, b) a##b
#define SORVEL_SHOT_CAT(a, b) SORVEL_SHOT_CAT2(a, b)
#define SORVEL_SHOT_IMPL(fn, name, w, h, scale)                                                              \
    static QWidget* fn(::sorvel::test::UiContext& ctx);                                                     \
    [[maybe_unused]] static const bool SORVEL_SHOT_CAT(fn, _added) =                                         \
        ::sorvel::shots::add({name, QSize(w, h), &fn, scale});                                               \
    static QWidget* fn([[maybe_unused]] ::sorvel::test::UiContext& ctx)
#define SORVEL_SHOT(name, w, h) SORVEL_SHOT_IMPL(SORVEL_SHOT_CAT(sorvelShot_, __COUNTER__), name, w, h, 1)
#define SORVEL_SHOT_SCALED(name, w, h, scale)                                                                \
    SORVEL_SHOT_IMPL(SORVEL_SHOT_CAT(sorvelShot_, __COUNTER__), name, w, h, scale)
