// The main window in its whole-window states.
#include "shots/ShotRegistry.h"
#include "ui/shell/MainWindow.h"

using namespace sorvel;

SORVEL_SHOT("window-idle-onboarding", 1440, 980) { return new ui::MainWindow(ctx.models()); }

SORVEL_SHOT("window-done-overview", 1440, 980) {
    ctx.recommendations = test::UiContext::sampleRecommendations();
    ctx.finishScan(test::UiContext::sampleResult());
    return new ui::MainWindow(ctx.models());
}
