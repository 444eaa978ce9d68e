#pragma once
// The window-modal sheet in which the ticked recommendations are dry-run, trimmed and
// confirmed, then moved to the Trash by the coordinator, which records the run. The sheet
// moves nothing itself; a sheet closed while a run goes on is never written to again.
#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "ui/screens/CleanupSheetState.h"

class QLabel;
class QStackedWidget;
class QVBoxLayout;

namespace sorvel {
class ScanCoordinator;
}

namespace sorvel::ui {

class Button;
class DesktopServices;
class LazyColumn;
class ReviewRow;
class SymbolView;
class Text;

class CleanupPreviewSheet : public QDialog {
    Q_OBJECT
public:
    CleanupPreviewSheet(ScanCoordinator& coordinator, DesktopServices& desktop, QWidget* parent = nullptr);

    const CleanupSheetState& state() const { return state_; }
    // The controls, for tests and screenshots.
    Button* firstButton() const { return first_; }
    Button* secondButton() const { return second_; }
    Button* headerButton() const { return selectAll_; }
    Button* copyButton() const { return copy_; }
    Button* openTrashButton() const { return openTrash_; }
    /// The rows made now: those in view and about a screen around them.
    std::vector<ReviewRow*> rows() const;
    /// Every row the list holds, made or not.
    int listedRows() const;
    LazyColumn* list() const { return list_; }
    QString titleText() const;
    QString subtitleText() const;
    /// Why the moved items' run could not be written to the history; empty when it was.
    QString saveErrorText() const;
    QString amountText() const;
    QString countText() const;
    /// The group titles as listed.
    QStringList groupTitles() const;

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void closeEvent(QCloseEvent*) override;

private:
    template <typename Arg>
    std::function<void(const Arg&)> whileOpen(void (CleanupSheetState::*step)(Arg));
    void startDryRun();
    void confirmMove();
    void redraw();
    void renderList();
    void renderProgress();
    struct ListEntry;
    QWidget* makeHead(const CleanupSheetState::Group& group);
    QWidget* makeRow(const CleanupSheetState::Group& group, size_t index);

    ScanCoordinator& coordinator_;
    DesktopServices& desktop_;
    CleanupSheetState state_;
    /// The recommendations as they were when the dry run started: the rows stay grouped
    /// and ordered as dry-run, whatever a live update does to the coordinator's list.
    std::vector<CleanupItem> items_;
    bool started_ = false;
    bool progressDue_ = false;
    /// Above this many outcomes a new list is placed in the turn after its header.
    static constexpr size_t kRowsPlacedAtOnce = 500;
    uint64_t listedGeneration_ = 0;
    bool listDue_ = false;
    /// The stage whose main button last took the focus.
    std::optional<CleanupSheetState::Stage> shownStage_;

    SymbolView* symbol_;
    Text* title_;
    Text* subtitle_;
    Text* saveError_;
    Button* selectAll_;
    QStackedWidget* content_;
    QLabel* progress_;
    LazyColumn* list_;
    std::shared_ptr<const std::vector<CleanupSheetState::Group>> groups_;
    QStringList groupTitles_;
    Button* copy_;
    Button* openTrash_;
    Text* amount_;
    Text* count_;
    Button* first_;
    Button* second_;
};

} // namespace sorvel::ui
