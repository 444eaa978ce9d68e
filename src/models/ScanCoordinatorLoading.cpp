// Folder insights and Docker inspection, each run off the main thread. A newer request
// replaces the older one, whose result is dropped when it comes back.
#include "models/ScanCoordinator.h"

#include "models/BackgroundWork.h"
#include "models/Models.h"

namespace sorvel {

void ScanCoordinator::setDocker(std::optional<DockerUsage> value) {
    if (Models::assignIfChanged(docker_, std::move(value))) emit dockerChanged();
}

void ScanCoordinator::setDockerLoading(bool value) {
    if (dockerLoading_ == value) return;
    dockerLoading_ = value;
    emit dockerLoadingChanged();
}

void ScanCoordinator::loadInsights(const std::optional<std::string>& path, const std::set<std::string>& excluded) {
    if (!path) {
        insightsRequest_.cancel();
        setInsights(std::nullopt);
        insightsPath_.reset();
        insightsExcluded_.clear();
        setInsightsLoading(false);
        return;
    }
    if (insightsPath_ && *insightsPath_ == *path && insightsExcluded_ == excluded) return;
    insightsRequest_.cancel();
    insightsPath_ = *path;
    insightsExcluded_ = excluded;
    setInsights(std::nullopt);
    setInsightsLoading(true);

    auto task = insightsRequest_.begin();
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [task, analyze = services_.analyzeFolder, folder = *path, excluded] {
            return analyze(folder, excluded, [task] { return task->load(); });
        },
        [task, folder = *path](ScanCoordinator& self, FolderInsights insights) {
            if (task->load()) return;
            if (!self.insightsPath_ || *self.insightsPath_ != folder) return;
            self.setInsights(std::move(insights));
            self.setInsightsLoading(false);
        },
        [task, folder = *path](ScanCoordinator& self, const std::string& reason) {
            if (task->load()) return;
            if (!self.insightsPath_ || *self.insightsPath_ != folder) return;
            self.insightsRequest_.cancel();
            self.insightsPath_.reset(); // asking again reads it again
            self.setFailure(Models::failureSentence("reading this folder's details", reason));
            self.setInsightsLoading(false);
        });
}

bool ScanCoordinator::dockerAvailable() const { return services_.dockerPath && services_.dockerPath().has_value(); }

void ScanCoordinator::loadDocker(bool force) {
    if (!services_.dockerPath()) return;
    if (!force && (docker_ || dockerLoading_)) return;
    dockerRequest_.cancel();
    setDockerLoading(true);

    auto task = dockerRequest_.begin();
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated, [inspect = services_.inspectDocker] { return inspect(); },
        [task](ScanCoordinator& self, DockerUsage usage) {
            if (task->load()) return;
            self.setDocker(std::move(usage));
            self.setDockerLoading(false);
        },
        [task](ScanCoordinator& self, const std::string& reason) {
            if (task->load()) return;
            self.dockerRequest_.cancel();
            self.setFailure(Models::failureSentence("reading what Docker holds", reason));
            self.setDockerLoading(false);
        });
}

} // namespace sorvel
