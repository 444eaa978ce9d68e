#include "ui/shell/PageFactory.h"

#include "models/ScanCoordinator.h"
#include "ui/screens/AdviceSection.h"
#include "ui/screens/CategoryDetailView.h"
#include "ui/screens/CleanupPreviewSheet.h"
#include "ui/screens/OverviewView.h"
#include "ui/services/AppModels.h"
#include "ui/shell/OnboardingView.h"
#include "ui/tools/AppUninstallerView.h"
#include "ui/tools/DuplicatesView.h"
#include "ui/tools/HistoryView.h"
#include "ui/tools/SweepSettingsView.h"

namespace sorvel::ui::PageFactory {

QWidget* onboarding(const AppModels& models, QWidget* parent) {
    return new OnboardingView(models, grantServices(models.desktop), parent);
}

QWidget* overview(const AppModels& models, QWidget* parent) {
    OverviewView::Hooks hooks;
    hooks.openPreview = [models, parent] { openCleanupPreview(models, parent->window()); };
    hooks.cloudRow = [models](QWidget* host) { return cloudStatusRow(models, host); };
    return new OverviewView(models, std::move(hooks), parent);
}

// ---- category screens ----------------------------------------------------------------

QWidget* categoryDetail(const AppModels& models, const std::string& categoryID, QWidget* parent) {
    return new CategoryDetailView(models.coordinator, models.desktop, categoryID, parent);
}

void openCleanupPreview(const AppModels& models, QWidget* parent) {
    auto* sheet = new CleanupPreviewSheet(models.coordinator, models.desktop, parent ? parent->window() : nullptr);
    sheet->open();
}

QWidget* cloudStatusRow(const AppModels& models, QWidget* parent) {
    ScanCoordinator& coordinator = models.coordinator;
    if (!coordinator.cloud().accountID) return nullptr;
    auto* row = new CloudStatusRow(coordinator.cloud(), parent);
    QObject::connect(&coordinator, &ScanCoordinator::cloudChanged, row,
                     [row, &coordinator] { row->setCloud(coordinator.cloud()); });
    return row;
}

// ---- tool screens --------------------------------------------------------------------

QWidget* apps(const AppModels& models, QWidget* parent) {
    return new AppUninstallerView(models.apps, models.coordinator, models.desktop, parent);
}

QWidget* duplicates(const AppModels& models, QWidget* parent) {
    return new DuplicatesView(models.duplicates, models.desktop, parent);
}

QWidget* history(const AppModels& models, QWidget* parent) {
    return new HistoryView(models.history, models.coordinator, parent);
}

QWidget* settingsWindow(const AppModels& models, QWidget* parent) {
    return new SweepSettingsView(models.coordinator, models.sweeper, models.updates, parent);
}

// ---- dispatch ------------------------------------------------------------------------

QWidget* make(const Page& page, const AppModels& models, QWidget* parent) {
    switch (page.kind) {
    case PageKind::onboarding: return onboarding(models, parent);
    case PageKind::overview: return overview(models, parent);
    case PageKind::category: return categoryDetail(models, page.categoryID, parent);
    case PageKind::apps: return apps(models, parent);
    case PageKind::duplicates: return duplicates(models, parent);
    case PageKind::history: return history(models, parent);
    }
    return nullptr;
}

} // namespace sorvel::ui::PageFactory
