#pragma once
// Puts an AppsModel straight into a state that a real flow would take long to reach.
#include "models/AppsModel.h"

namespace sorvel {

struct AppsModelProbe {
    static void setApps(AppsModel& model, std::vector<InstalledApp> apps) { model.setApps(std::move(apps)); }
    static void setSaveError(AppsModel& model, std::string error) { model.setSaveError(std::move(error)); }
    /// The outcome of a finished move, shown as the done stage.
    static void finish(AppsModel& model, std::vector<CleanupOutcome> outcomes) {
        model.setPreview(std::move(outcomes));
        model.setStage(AppsModel::Stage::done);
    }
};

} // namespace sorvel
