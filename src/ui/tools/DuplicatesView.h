#pragma once
// The duplicates page ("tool:duplicates"): search the home folder or a chosen folder,
// see what removing the extra copies really frees, tick copies (never the kept one, which
// stays), confirm inside the page and move them to the Trash. Everything comes from the
// duplicates model; the page writes only the model's stage for its confirmation step.
#include <QWidget>

#include <map>
#include <string>

#include "models/DuplicatesModel.h"

class QVBoxLayout;

namespace sorvel::ui {

class CheckBox;
class DuplicateRow;
class DesktopServices;
class Text;
class Button;
class Coalescer;

class DuplicatesView : public QWidget {
    Q_OBJECT
public:
    DuplicatesView(DuplicatesModel& model, DesktopServices& desktop, QWidget* parent = nullptr);

    void flush();
    int builds() const { return builds_; }
    /// The tick box of a copy, by path (tests).
    CheckBox* checkBox(const std::string& path) const;
    /// Number of group cards on the page.
    int cards() const { return cards_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void rebuild();
    void refreshTicks();
    QWidget* header();
    QWidget* intro();
    QWidget* scanning();
    QWidget* results();
    QWidget* finished();
    QWidget* groupCard(size_t index);
    QWidget* footer();
    /// The control that stands for the built stage: the footer's button (Cancel while
    /// confirming), the moving card, "Scan again".
    QWidget* stageAction() const;
    /// After a stage change, scrolls so the new stage's control stands at `top` in the
    /// scrolling area's viewport, where the one that acted stood.
    void keepInView(int top);

    DuplicatesModel& model_;
    DesktopServices& desktop_;
    QVBoxLayout* layout_;
    Coalescer* rebuild_;
    std::map<std::string, DuplicateRow*> rows_; // the copies that can be ticked
    Text* selectedCount_ = nullptr;
    Text* selectedBytes_ = nullptr;
    Text* apparent_ = nullptr;
    Button* move_ = nullptr;
    Button* confirm_ = nullptr;
    Button* cancel_ = nullptr;
    QWidget* moving_ = nullptr;
    Button* again_ = nullptr;
    DuplicatesModel::Stage builtStage_;
    bool parked_ = false; // the focus waits on the page for the next stage's control
    int builds_ = 0;
    int cards_ = 0;
    size_t shownSets_ = 0; // sets asked for on this report: the first page, then each "more"
};

} // namespace sorvel::ui
