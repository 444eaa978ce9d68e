#pragma once
// The dry run, confirmation, move and result of an uninstall, in place of the app's
// detail while the apps model's stage is not browsing.
#include <QWidget>

#include "analysis/InstalledApp.h"

namespace sorvel {
class AppsModel;
class ScanCoordinator;
} // namespace sorvel

namespace sorvel::ui {

class AppUninstallReview : public QWidget {
    Q_OBJECT
public:
    AppUninstallReview(AppsModel& apps, ScanCoordinator& coordinator, InstalledApp app, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void act(int action);

    AppsModel& apps_;
    ScanCoordinator& coordinator_;
    InstalledApp app_;
};

} // namespace sorvel::ui
