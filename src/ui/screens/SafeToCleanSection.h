#pragma once
// The overview's list of recommendations: header with the selected count, "Export" and the
// review button; then one CleanupRow per recommendation (rows are kept by rule id, so an
// open row stays open across refreshes), or an empty-state card. Ticks edit the
// coordinator's selection; the review button calls `openPreview`.
#include <QWidget>

#include <functional>
#include <map>
#include <set>
#include <string>

#include "models/ScanCoordinator.h"
#include "ui/services/AppModels.h"

class QVBoxLayout;

namespace sorvel::ui {

class Button;
class Card;
class CleanupRow;
class Text;

class SafeToCleanSection : public QWidget {
    Q_OBJECT
public:
    SafeToCleanSection(const AppModels& models, std::function<void()> openPreview, QWidget* parent = nullptr);

    Button* exportButton() const { return export_; }
    Button* reviewButton() const { return review_; }
    Text* countText() const { return count_; }
    Text* emptyText() const { return emptyText_; }
    CleanupRow* row(const std::string& id) const;
    const std::set<std::string>& expanded() const { return expanded_; }

    static QString emptyMessage(ScanCoordinator::Phase phase);

private:
    void refresh();
    void toggleSelection(const std::string& id);
    void toggleExpansion(const std::string& id);

    AppModels models_;
    std::function<void()> openPreview_;
    std::set<std::string> expanded_;
    Text* count_;
    Button* export_;
    Button* review_;
    Card* empty_;
    Text* emptyText_;
    QWidget* list_;
    QVBoxLayout* listLayout_;
    std::map<std::string, CleanupRow*> rows_;
};

} // namespace sorvel::ui
