// Folder insights and Docker inspection, each run off the main thread. A newer request
// replaces the older one, whose result is dropped when it comes back.
#include "models/ScanCoordinator.h"

#include <QCoreApplication>

#include <thread>

#include "models/Models.h"

namespace sorvel {

void ScanCoordinator::setDocker(std::optional<DockerUsage> value) {
    docker_ = std::move(value);
    emit dockerChanged();
}

void ScanCoordinator::setDockerLoading(bool value) {
    if (dockerLoading_ == value) return;
    dockerLoading_ = value;
    emit dockerLoadingChanged();
}

void ScanCoordinator::loadInsights(const std::optional<std::string>& path) {
    if (!path) {
        cancelToken(insightsTask_);
        setInsights(std::nullopt);
        insightsPath_.reset();
        setInsightsLoading(false);
        return;
    }
    if (insightsPath_ && *insightsPath_ == *path) return;
    cancelToken(insightsTask_);
    insightsPath_ = *path;
    setInsights(std::nullopt);
    setInsightsLoading(true);

    auto task = newToken();
    insightsTask_ = task;
    QPointer<ScanCoordinator> self(this);
    auto analyze = services_.analyzeFolder;
    const std::string folder = *path;
    std::thread([self, task, analyze, folder] {
        FolderInsights insights = analyze(folder, [task] { return task->load(); });
        Models::onMainThread(QCoreApplication::instance(), [self, task, folder, insights = std::move(insights)]() mutable {
            if (!self || task->load()) return;
            if (!self->insightsPath_ || *self->insightsPath_ != folder) return;
            self->setInsights(std::move(insights));
            self->setInsightsLoading(false);
        });
    }).detach();
}

bool ScanCoordinator::dockerAvailable() const { return services_.dockerPath && services_.dockerPath().has_value(); }

void ScanCoordinator::loadDocker(bool force) {
    if (!services_.dockerPath()) return;
    if (!force && (docker_ || dockerLoading_)) return;
    cancelToken(dockerTask_);
    setDockerLoading(true);

    auto task = newToken();
    dockerTask_ = task;
    QPointer<ScanCoordinator> self(this);
    auto inspect = services_.inspectDocker;
    std::thread([self, task, inspect] {
        DockerUsage usage = inspect();
        Models::onMainThread(QCoreApplication::instance(), [self, task, usage = std::move(usage)]() mutable {
            if (!self || task->load()) return;
            self->setDocker(std::move(usage));
            self->setDockerLoading(false);
        });
    }).detach();
}

} // namespace sorvel
