#pragma once
// The end of a category level: what the user can do about its space, one card per piece
// of advice with a confidence badge, an optional condition and a command to copy; above
// them, while an iCloud account is signed in, the collapsible iCloud status row.
#include <QWidget>

#include <optional>
#include <string>
#include <vector>

#include "cleanup/Advice.h"
#include "cleanup/CloudStatus.h"

class QVBoxLayout;

namespace sorvel::ui {

class DesktopServices;
class Surface;

/// The iCloud services at a glance; pressing it shows the evidence.
class CloudStatusRow : public QWidget {
    Q_OBJECT
public:
    CloudStatusRow(const CloudStatus& cloud, QWidget* parent = nullptr);
    void setCloud(const CloudStatus& cloud);
    bool expanded() const { return expanded_; }
    void toggle();

private:
    void redraw();
    CloudStatus cloud_;
    bool expanded_ = false;
    QWidget* body_ = nullptr;
    QVBoxLayout* layout_;
};

class AdviceSection : public QWidget {
    Q_OBJECT
public:
    explicit AdviceSection(DesktopServices& desktop, QWidget* parent = nullptr);
    /// Rebuilds the cards only when the advice itself changed, so hover and the status
    /// row's open state survive refreshes.
    void setInputs(const std::vector<AdviceItem>& items, const std::optional<CloudStatus>& cloud);
    CloudStatusRow* statusRow() const { return status_; }
    int cardCount() const { return static_cast<int>(cards_.size()); }
    /// The copy button of card `index` (shown only while the pointer is over the card).
    QWidget* copyButton(int index) const;
    Surface* card(int index) const { return cards_[static_cast<size_t>(index)]; }

private:
    Surface* adviceRow(const AdviceItem& item);

    DesktopServices& desktop_;
    QVBoxLayout* layout_;
    CloudStatusRow* status_ = nullptr;
    QWidget* list_ = nullptr;
    std::vector<Surface*> cards_;
    std::vector<QWidget*> copyButtons_;
    std::string signature_;
};

} // namespace sorvel::ui
