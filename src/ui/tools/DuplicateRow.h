#pragma once
// One copy of a duplicate set: its tick box (or the KEEP chip), its path, "Reveal" and what
// moving it frees. The row is the one control the keyboard reaches: Space ticks it, Return
// reveals it, and the list around it moves the focus from row to row.
#include <QWidget>

#include <functional>
#include <string>

namespace sorvel::ui {

class CheckBox;

class DuplicateRow : public QWidget {
    Q_OBJECT
public:
    enum class Kind { kept, leftAlone, tickable };
    struct Content {
        std::string path;
        Kind kind = Kind::tickable;
        QString reason; // leftAlone: why the move would refuse it
        QString amount; // what moving it frees, or why it frees nothing
        bool quiet = false; // frees nothing: drawn faint
    };
    DuplicateRow(const Content& content, std::function<void()> toggle, std::function<void()> reveal,
                 QWidget* parent = nullptr);

    /// The tick box; none on a kept copy.
    CheckBox* box() const { return box_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    Kind kind_;
    CheckBox* box_ = nullptr;
    std::function<void()> toggle_;
    std::function<void()> reveal_;
};

} // namespace sorvel::ui
