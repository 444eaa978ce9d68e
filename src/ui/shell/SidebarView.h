#pragma once
// The left column: mark and name, "Overview" and one row per measured category (largest
// first; these rows scroll when they do not fit), the "Tools" list and the footer with
// what is safe to reclaim. Header, tools and footer always stay in view. Rows are painted;
// a click moves the coordinator to the row's page, recording history. The rows are one
// stop of Tab, as a list is: the focused row, else the selected one; arrows move inside.
#include <QWidget>

#include <optional>
#include <string>
#include <vector>

#include "engine/ScanResult.h"
#include "ui/kit/Theme.h"
#include "ui/services/AppModels.h"

class QScrollArea;

namespace sorvel::ui {

class Text;
class Spinner;

/// One row of the sidebar's lists.
class SidebarRow : public QWidget {
    Q_OBJECT
public:
    struct Model {
        QString title;
        std::optional<int64_t> size;  // none for tool rows
        std::optional<Adaptive> dot;  // category rows
        std::string symbol;           // tool rows
        bool locked = false;
        bool selected = false;
        bool nothingRead = false; // locked, and not one of its roots could be read
        bool partial = false;     // a stop cut the walk of one of its roots short
        bool notMeasured = false; // a stop came before any of it counted a byte: no figure

        friend bool operator==(const Model&, const Model&) = default;
    };
    explicit SidebarRow(QWidget* parent = nullptr);
    void setModel(const Model& model);
    const Model& model() const { return model_; }
    /// The lock's tooltip; empty when the row is not locked.
    QString lockTip() const;
    /// The row's tooltip and accessible description: the lock's, else why its figure is
    /// partial; empty for a whole one.
    QString tip() const;
    /// What the row shows at its end, as words: its size, or what its lock means; empty for a tool.
    QString figureText() const;
    QSize sizeHint() const override { return {224, 34}; }

signals:
    void clicked();
    void focused();
    /// Up, Down, Home or End was pressed on the row.
    void moveAsked(int key);

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    /// Space and Return open the row; Up, Down, Home and End ask to move.
    void keyPressEvent(QKeyEvent*) override;
    void focusInEvent(QFocusEvent*) override;
    bool event(QEvent*) override;

private:
    Model model_;
};

class SidebarView : public QWidget {
    Q_OBJECT
public:
    explicit SidebarView(const AppModels& models, QWidget* parent = nullptr);

    /// Rows by page identifier ("" for Overview), for tests.
    SidebarRow* row(const std::string& pageID) const;
    QScrollArea* categoryScroll() const { return scroll_; }
    QWidget* tools() const { return tools_; }
    QWidget* measuringLine() const { return progress_; }
    QWidget* footer() const { return footer_; }

    /// The Overview row's total and a category's: the sum of its roots' sizes.
    static int64_t total(const ScanResult& result);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void refresh();
    void refreshOverview();
    void select(std::optional<std::string> pageID);
    void connectRow(SidebarRow* row);
    /// Every row in the order shown: Overview, the categories, the tools.
    std::vector<SidebarRow*> rows() const;
    /// Makes `stop` the one row that Tab reaches.
    void setTabStop(const SidebarRow* stop);
    void moveFocus(SidebarRow* from, int key);

    AppModels models_;
    SidebarRow* overview_;
    QWidget* progress_;
    QScrollArea* scroll_;
    QWidget* categoryList_;
    std::vector<std::pair<std::string, SidebarRow*>> categoryRows_;
    QWidget* tools_;
    std::vector<std::pair<std::string, SidebarRow*>> toolRows_;
    QWidget* footer_;
    Text* footerNumber_;
    Text* footerUnit_;
    Text* footerText_;
};

} // namespace sorvel::ui
