#pragma once
// One outcome of a cleanup run in the preview sheet: name and size, what the path is and
// what removing it costs, how it fared, and the full path. While it can be ticked it
// carries a checkbox; otherwise a symbol of its state stands in that place.
#include <functional>

#include "cleanup/TargetExplainer.h"
#include "removal/CleanupExecutor.h"
#include <QAbstractButton>

#include "ui/kit/Surface.h"

namespace sorvel::ui {

class ReviewRow : public Surface {
    Q_OBJECT
public:
    ReviewRow(const CleanupOutcome& outcome, const TargetExplainer::Explanation& explanation, bool isSelected,
              bool isSelectable, std::function<void()> toggle, QWidget* parent = nullptr);
    const std::string& path() const { return path_; }
    bool showsCheckbox() const { return checkbox_ != nullptr; }
    QAbstractButton* checkbox() const { return checkbox_; }

private:
    std::string path_;
    QAbstractButton* checkbox_ = nullptr;
};

} // namespace sorvel::ui
