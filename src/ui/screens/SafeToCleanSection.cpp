#include "ui/screens/SafeToCleanSection.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "engine/Bytes.h"
#include "models/ScanCoordinator.h"
#include "ui/kit/Button.h"
#include "ui/kit/Card.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LabelStyle.h"
#include "ui/kit/Text.h"
#include "ui/screens/CleanupRow.h"
#include "ui/screens/ExportFlow.h"

namespace sorvel::ui {

QString SafeToCleanSection::emptyMessage(ScanCoordinator::Phase phase) {
    switch (phase) {
    case ScanCoordinator::Phase::scanning:
    case ScanCoordinator::Phase::idle: return QStringLiteral("Recommendations are worked out once the scan finishes.");
    case ScanCoordinator::Phase::cancelled:
        // Nothing was looked for, so nothing can be said to be missing.
        return QStringLiteral("The scan was stopped before it finished, so no recommendations were worked out. "
                              "Rescan to see what is worth cleaning.");
    case ScanCoordinator::Phase::done: break;
    }
    return QStringLiteral("Nothing worth cleaning was found.");
}

SafeToCleanSection::SafeToCleanSection(const AppModels& models, std::function<void()> openPreview, QWidget* parent)
    : QWidget(parent), models_(models), openPreview_(std::move(openPreview)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(11);
    auto* header = new QHBoxLayout;
    header->setSpacing(12);
    header->addWidget(new Text("Safe to clean", LabelStyle::font(11.5, Fonts::Weight::bold), Theme::secondaryText(), this));
    header->addStretch();
    count_ = new Text("", LabelStyle::font(9.5, Fonts::Weight::medium), Theme::tertiaryText(), this);
    export_ = new Button("Export", Button::Style::subtle, this);
    export_->setSymbol("square.and.arrow.up");
    review_ = new Button("Review", Button::Style::accent, this);
    header->addWidget(count_);
    header->addWidget(export_);
    header->addWidget(review_);
    column->addLayout(header);

    empty_ = new Card(18, std::nullopt, this);
    emptyText_ = new Text("", Fonts::system(12), Theme::tertiaryText(), empty_);
    emptyText_->setWrapping(true);
    empty_->content()->addWidget(emptyText_);
    column->addWidget(empty_);

    list_ = new QWidget(this);
    listLayout_ = new QVBoxLayout(list_);
    listLayout_->setContentsMargins(0, 0, 0, 0);
    listLayout_->setSpacing(8);
    column->addWidget(list_);

    connect(export_, &QAbstractButton::clicked, this,
            [this] { ExportFlow::run(window(), models_.coordinator.result(), models_.desktop); });
    connect(review_, &QAbstractButton::clicked, this, [this] {
        if (openPreview_) openPreview_();
    });
    auto& c = models.coordinator;
    for (auto signal : {&ScanCoordinator::resultChanged, &ScanCoordinator::phaseChanged,
                        &ScanCoordinator::selectedCleanupIDsChanged})
        connect(&c, signal, this, &SafeToCleanSection::refresh);
    refresh();
}

CleanupRow* SafeToCleanSection::row(const std::string& id) const {
    auto it = rows_.find(id);
    return it == rows_.end() ? nullptr : it->second;
}

void SafeToCleanSection::toggleSelection(const std::string& id) {
    auto& c = models_.coordinator;
    const auto* item = [&]() -> const CleanupItem* {
        for (const auto& i : c.result().cleanupItems)
            if (i.id == id) return &i;
        return nullptr;
    }();
    if (!item || !item->isActionable()) return;
    auto ids = c.selectedCleanupIDs();
    if (!ids.erase(id)) ids.insert(id);
    c.setSelectedCleanupIDs(std::move(ids));
}

void SafeToCleanSection::toggleExpansion(const std::string& id) {
    if (!expanded_.erase(id)) expanded_.insert(id);
    refresh();
}

void SafeToCleanSection::refresh() {
    const auto& c = models_.coordinator;
    const auto& items = c.result().cleanupItems;
    const bool any = !items.empty();
    count_->setVisible(any);
    export_->setVisible(any);
    review_->setVisible(any);
    empty_->setVisible(!any);
    list_->setVisible(any);
    emptyText_->setText(emptyMessage(c.phase()));
    const auto& ids = c.selectedCleanupIDs();
    count_->setText("/ " + QString::number(ids.size()) + " selected");
    review_->setText("Review " + QString::fromStdString(Bytes::compact(c.selectedCleanupSize())));
    review_->setEnabled(!ids.empty());

    std::map<std::string, CleanupRow*> next;
    int index = 0;
    for (const auto& item : items) {
        CleanupRow* r = row(item.id);
        if (r) {
            rows_.erase(item.id);
        } else {
            r = new CleanupRow(models_.desktop, list_);
            const std::string id = item.id;
            connect(r, &CleanupRow::toggleSelection, this, [this, id] { toggleSelection(id); });
            connect(r, &CleanupRow::toggleExpansion, this, [this, id] { toggleExpansion(id); });
        }
        r->setItem(item, ids.count(item.id) > 0, expanded_.count(item.id) > 0);
        listLayout_->removeWidget(r);
        listLayout_->insertWidget(index++, r);
        next[item.id] = r;
    }
    for (auto& [id, r] : rows_) r->deleteLater();
    rows_ = std::move(next);
}

} // namespace sorvel::ui
