#pragma once
// The detail page of one category: breadcrumb, headline, the insights of the current
// folder, a treemap of the category's own level, the painted row list, and where they
// apply the Docker breakdown and the category's advice. The current level is the
// coordinator's drill path; the page keeps only view state and refreshes in place.
#include <QWidget>

#include <string>

#include "ui/screens/CategoryPaneState.h"

class QLabel;
class QHBoxLayout;
class QVBoxLayout;

namespace sorvel {
class ScanCoordinator;
}

namespace sorvel::ui {

class AdviceSection;
class Button;
class Card;
class CategoryRowList;
class DesktopServices;
class DockerSection;
class InsightsPanel;
class Text;
class Text;
class TreemapView;

class CategoryDetailView : public QWidget {
    Q_OBJECT
public:
    CategoryDetailView(ScanCoordinator& coordinator, DesktopServices& desktop, std::string categoryID,
                       QWidget* parent = nullptr);

    const std::string& categoryID() const { return categoryID_; }
    CategoryPaneState state() const;

    // The parts, for tests and screenshots.
    CategoryRowList* rowList() const { return rows_; }
    InsightsPanel* insightsPanel() const { return insights_; }
    DockerSection* dockerSection() const { return docker_; }
    AdviceSection* adviceSection() const { return advice_; }
    TreemapView* treemap() const { return treemap_; }
    Button* revealButton() const { return reveal_; }
    QString moreRowsText() const;
    QStringList crumbs() const;
    /// Clicks crumb `index` (0 is the category itself).
    void clickCrumb(int index);
    QString headline() const;
    QString emptyText() const;
    bool showsEmptyState() const;
    /// The "Files" figure as shown, and whether the page says its figures are partial.
    QString filesText() const;
    bool showsPartial() const;
    /// The words under the blurb for roots that are links; empty when hidden.
    QString linkText() const;

    /// Opens a row or tile: enters a folder with something to list, reveals anything else.
    void open(const BrowseRow& row);

private:
    enum class Part { insights = 1, docker = 2, all = 4 };
    void schedule(Part part);
    void flush();
    void refresh();
    void refreshBreadcrumb(const CategoryPaneState& s);
    void refreshSummary(const CategoryPaneState& s);
    void refreshInsights(const CategoryPaneState& s);
    void refreshRows(const CategoryPaneState& s);
    void refreshDocker(const CategoryPaneState& s);
    void refreshAdvice(const CategoryPaneState& s);
    void onArrival();

    ScanCoordinator& coordinator_;
    DesktopServices& desktop_;
    std::string categoryID_;
    int pending_ = 0;

    QWidget* crumbBar_;
    QHBoxLayout* crumbRow_;
    QStringList crumbTitles_;
    std::vector<std::string> crumbKey_;
    Button* reveal_;
    Text* number_;
    Text* unit_;
    Text* unread_; // in place of the figure where nothing of the category could be read
    QLabel* pathText_;
    Text* blurb_;
    Text* links_; // roots that are links, not followed
    QWidget* metrics_;
    Text* items_;
    Text* files_;
    Text* blocked_;
    Text* partial_;
    InsightsPanel* insights_;
    Card* empty_;
    Text* emptyTitle_;
    Text* emptyAccess_;
    TreemapView* treemap_;
    void refreshTiles(const CategoryPaneState& s);
    CategoryRowList* rows_;
    Text* more_;
    DockerSection* docker_;
    AdviceSection* advice_;
};

} // namespace sorvel::ui
