#pragma once
// One app's page while browsing: the running warning, the block that says whether and
// how the bundle can go, the bundle row, the leftover rows with their ticks, and the
// selection footer. Ticks refresh in place; nothing else is remembered here.
#include <QWidget>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "analysis/InstalledApp.h"
#include "ui/kit/Fonts.h"

namespace sorvel {
class AppsModel;
}

namespace sorvel::ui {

class CheckBox;
class DesktopServices;
class SelectionFooter;
class Text;

/// A size right-aligned in `width`: the figure, or "not readable" (smaller, with why in
/// its tooltip) where the size is not known; named "sizeFigure" for tests.
Text* appSizeFigure(std::optional<int64_t> bytes, double px, Fonts::Weight weight, int width);

class AppDetailPane : public QWidget {
    Q_OBJECT
public:
    AppDetailPane(AppsModel& apps, const InstalledApp& app, DesktopServices& desktop, QWidget* parent = nullptr);

    /// Reads the ticks again (after `AppsModel::selectedPathsChanged`).
    void refreshTicks();
    /// The tick box of a row, by path (tests).
    CheckBox* checkBox(const std::string& path) const;

private:
    QWidget* targetRow(const std::string& path, std::optional<int64_t> size, const std::string& kind, const std::string& reason,
                       bool certain, bool needsAdmin, bool withNote);
    QWidget* warning(const QString& title, const QString& body);

    AppsModel& apps_;
    DesktopServices& desktop_;
    std::map<std::string, CheckBox*> boxes_;
    SelectionFooter* footer_ = nullptr;
};

} // namespace sorvel::ui
