#pragma once
// Explains the folder the category pane shows: what the place is when it is well known,
// the iCloud caveat inside the Messages data, then the breakdown by kind, by age and by
// its largest files. Draws what it is given; loading belongs to the coordinator.
#include <QWidget>

#include <optional>
#include <string>

#include "analysis/FolderInsights.h"
#include "cleanup/CloudStatus.h"
#include "engine/PathKnowledge.h"

class QVBoxLayout;

namespace sorvel::ui {

class DesktopServices;

class InsightsPanel : public QWidget {
    Q_OBJECT
public:
    explicit InsightsPanel(DesktopServices& desktop, QWidget* parent = nullptr);

    void setInputs(const std::string& path, const std::optional<PathNote>& note,
                   const std::optional<FolderInsights>& insights, bool isLoading,
                   const std::optional<CloudStatus>& cloud);

    /// Names of the cards shown, top to bottom ("explainer", "caveat", "loading", "kinds",
    /// "ages", "largest"), for tests.
    QStringList cards() const { return cards_; }

private:
    QWidget* explainer(const PathNote& note);
    QWidget* cloudCaveat(const std::string& text, bool isBlocking);
    QWidget* loading();
    QWidget* byType(const FolderInsights& insights);
    QWidget* byAge(const FolderInsights& insights);
    QWidget* largestFiles(const FolderInsights& insights);

    DesktopServices& desktop_;
    QVBoxLayout* layout_;
    QWidget* body_ = nullptr;
    QStringList cards_;
};

} // namespace sorvel::ui
