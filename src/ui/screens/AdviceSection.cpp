#include "ui/screens/AdviceSection.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "ui/kit/Chip.h"
#include "ui/kit/ClickArea.h"
#include "ui/kit/Dot.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LabelStyle.h"
#include "ui/kit/Surface.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Text.h"
#include "ui/kit/TextButton.h"
#include "ui/kit/Texts.h"
#include "ui/kit/Theme.h"
#include "ui/screens/AdviceText.h"
#include "ui/screens/ToneColours.h"
#include "ui/services/DesktopServices.h"

namespace sorvel::ui {

CloudStatusRow::CloudStatusRow(const CloudStatus& cloud, QWidget* parent) : QWidget(parent), cloud_(cloud) {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    redraw();
}

void CloudStatusRow::setCloud(const CloudStatus& cloud) {
    if (cloud == cloud_) return;
    cloud_ = cloud;
    redraw();
}

void CloudStatusRow::toggle() {
    expanded_ = !expanded_;
    redraw();
}

void CloudStatusRow::redraw() {
    delete body_;
    auto* surface = new Surface(12, Theme::glassFill(), Theme::glassStroke(), 1, this);
    body_ = surface;
    layout_->addWidget(surface);
    auto* column = new QVBoxLayout(surface);
    column->setContentsMargins(13, 13, 13, 13);
    column->setSpacing(9);

    auto* head = new ClickArea(surface);
    head->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* row = head->row();
    row->setSpacing(10);
    const Adaptive blue = Theme::tint(Tint::blue()).ink;
    row->addWidget(new SymbolView("icloud", blue, 12, head, QSize(16, 16)));
    row->addWidget(new Text("iCloud", LabelStyle::font(10, Fonts::Weight::bold), Theme::primaryText(), head));
    for (const CloudService* s : AdviceText::services(cloud_)) {
        auto* chip = new QHBoxLayout;
        chip->setSpacing(5);
        chip->addWidget(new Dot(ToneColours::ink(AdviceText::stateDot(s->state)), head));
        chip->addWidget(new Text(q(AdviceText::chipText(*s)), LabelStyle::font(9.5, Fonts::Weight::medium),
                                 Theme::secondaryText(), head));
        row->addLayout(chip);
    }
    row->addStretch(1);
    row->addSpacing(8);
    auto* chevron = new SymbolView("chevron.right", Theme::tertiaryText(), 9, head, QSize(12, 12));
    chevron->setRotation(expanded_ ? 90 : 0);
    row->addWidget(chevron);
    connect(head, &QAbstractButton::clicked, this, [this] {
        QMetaObject::invokeMethod(this, [this] { toggle(); }, Qt::QueuedConnection);
    });
    column->addWidget(head);

    if (expanded_) {
        auto* details = new QVBoxLayout;
        details->setSpacing(8);
        for (const CloudService* s : AdviceText::services(cloud_)) {
            auto* block = new QVBoxLayout;
            block->setSpacing(2);
            block->addWidget(Texts::wrapping(q(AdviceText::summaryLine(*s)), Fonts::system(11.5, Fonts::Weight::medium),
                                            Theme::primaryText(), surface));
            for (const auto& line : s->evidence)
                block->addWidget(Texts::wrapping(q("\u00B7 " + line), Fonts::system(11), Theme::secondaryText(), surface));
            details->addLayout(block);
        }
        auto* note = Texts::wrapping(q(AdviceText::cloudNote()), Fonts::system(11), Theme::tertiaryText(), surface);
        note->setContentsMargins(0, 2, 0, 0);
        details->addWidget(note);
        column->addLayout(details);
    }
}

AdviceSection::AdviceSection(DesktopServices& desktop, QWidget* parent) : QWidget(parent), desktop_(desktop) {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(11);
    auto* head = new QHBoxLayout;
    head->addWidget(new Text("What to do about it", Fonts::system(16, Fonts::Weight::semibold), Theme::primaryText(), this));
    head->addStretch(1);
    head->addWidget(new Text(QString::fromUtf8("suggestions only \u2014 this build cannot delete"), Fonts::system(11),
                             Theme::tertiaryText(), this));
    layout_->addLayout(head);
    layout_->addStretch(1);
}

QWidget* AdviceSection::copyButton(int index) const { return copyButtons_[static_cast<size_t>(index)]; }

void AdviceSection::setInputs(const std::vector<AdviceItem>& items, const std::optional<CloudStatus>& cloud) {
    const bool wantsStatus = cloud && AdviceText::showsStatusRow(&*cloud);
    if (wantsStatus && !status_) {
        status_ = new CloudStatusRow(*cloud, this);
        layout_->insertWidget(1, status_);
    } else if (wantsStatus) {
        status_->setCloud(*cloud);
    } else if (status_) {
        delete status_;
        status_ = nullptr;
    }

    std::string signature;
    for (const auto& item : items)
        signature += item.id.uuidString() + item.title + item.rationale + item.condition.value_or("") +
                     item.command.value_or("") + '\n';
    if (list_ && signature == signature_) return;
    signature_ = signature;

    delete list_;
    cards_.clear();
    copyButtons_.clear();
    list_ = new QWidget(this);
    auto* column = new QVBoxLayout(list_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    for (const auto& item : items) column->addWidget(adviceRow(item));
    layout_->insertWidget(layout_->count() - 1, list_);
}

Surface* AdviceSection::adviceRow(const AdviceItem& item) {
    auto* card = new Surface(11, Theme::card(), Theme::hairline(), 1, list_);
    auto* row = new QHBoxLayout(card);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(12);
    const ChipStyle badge = AdviceText::badge(item.confidence);
    auto* badgeBox = new QVBoxLayout;
    auto* badgeRow = new QHBoxLayout;
    badgeRow->addWidget(new Chip(q(badge.text), ToneColours::ink(badge.tone), ToneColours::wash(badge.tone), card));
    badgeRow->addStretch(1);
    auto* badgeFrame = new QWidget(card);
    badgeFrame->setFixedWidth(78);
    badgeFrame->setLayout(badgeRow);
    badgeRow->setContentsMargins(0, 0, 0, 0);
    badgeBox->addWidget(badgeFrame);
    badgeBox->addStretch(1);
    row->addLayout(badgeBox);

    auto* column = new QVBoxLayout;
    column->setSpacing(5);
    column->addWidget(new Text(q(item.title), Fonts::system(13, Fonts::Weight::semibold), Theme::primaryText(), card));
    column->addWidget(Texts::wrapping(q(item.rationale), Fonts::system(12), Theme::secondaryText(), card));
    if (item.condition) {
        const auto blue = Theme::tint(Tint::blue());
        auto* box = new Surface(7, blue.fill.opacity(0.5), std::nullopt, 0, card);
        auto* line = new QHBoxLayout(box);
        line->setContentsMargins(9, 9, 9, 9);
        line->setSpacing(7);
        auto* icon = new QVBoxLayout;
        icon->setContentsMargins(0, 1, 0, 0);
        icon->addWidget(new SymbolView("icloud", blue.ink, 10, box, QSize(13, 13)));
        icon->addStretch(1);
        line->addLayout(icon);
        line->addWidget(Texts::wrapping(q(*item.condition), Fonts::system(11.5), blue.ink, box), 1);
        column->addWidget(box);
    }
    QWidget* copy = nullptr;
    if (item.command) {
        auto* box = new Surface(7, Theme::inset(), std::nullopt, 0, card);
        auto* line = new QHBoxLayout(box);
        line->setContentsMargins(10, 7, 10, 7);
        line->setSpacing(8);
        auto* command = Texts::selectable(q(*item.command), Fonts::mono(11), Theme::primaryText().opacity(0.8), box);
        command->setWordWrap(true);
        line->addWidget(command, 1);
        line->addSpacing(6);
        auto* button = new TextButton("Copy", Fonts::system(10.5, Fonts::Weight::medium), Theme::accentInk(), box, TextButton::Fit::tight);
        const QString text = q(*item.command);
        connect(button, &QAbstractButton::clicked, this, [this, text] { desktop_.copy(text); });
        // Keeps its place while hidden, so the command does not reflow on hover.
        QSizePolicy keep = button->sizePolicy();
        keep.setRetainSizeWhenHidden(true);
        button->setSizePolicy(keep);
        button->hide();
        line->addWidget(button);
        copy = button;
        column->addWidget(box);
    }
    row->addLayout(column, 1);
    card->setHoverFill(Theme::cardHover(), [copy](bool hovering) {
        if (copy) copy->setVisible(hovering);
    });
    cards_.push_back(card);
    copyButtons_.push_back(copy);
    return card;
}

} // namespace sorvel::ui
