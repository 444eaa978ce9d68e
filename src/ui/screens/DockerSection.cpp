#include "ui/screens/DockerSection.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "engine/Bytes.h"
#include "ui/kit/Button.h"
#include "ui/kit/Card.h"
#include "ui/kit/ClickArea.h"
#include "ui/kit/Dot.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Hairline.h"
#include "ui/kit/Spinner.h"
#include "ui/kit/Surface.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Text.h"
#include "ui/kit/TextButton.h"
#include "ui/kit/Texts.h"
#include "ui/kit/Theme.h"
#include "ui/screens/DockerText.h"
#include "ui/services/DesktopServices.h"

namespace sorvel::ui {

namespace {

QString bytes(int64_t count) { return q(Bytes::format(count)); }

} // namespace

DockerSection::DockerSection(DesktopServices& desktop, std::function<void()> reload, QWidget* parent)
    : QWidget(parent), desktop_(desktop), reload_(std::move(reload)) {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(11);
    auto* head = new QHBoxLayout;
    head->setSpacing(12);
    head->addWidget(new Text("Inside Docker", Fonts::system(16, Fonts::Weight::semibold), Theme::primaryText(), this));
    head->addStretch(1);
    figure_ = new Text("", Fonts::system(11.5, Fonts::Weight::semibold), Theme::accentInk(), this);
    head->addWidget(figure_);
    refresh_ = new Button("Refresh", Button::Style::subtle, this);
    connect(refresh_, &QAbstractButton::clicked, this, [this] {
        if (reload_) reload_();
    });
    head->addWidget(refresh_);
    layout_->addLayout(head);
    layout_->addStretch(1);
    redraw();
}

QString DockerSection::headerFigure() const { return !figure_->isHidden() ? figure_->text() : QString(); }

void DockerSection::setInputs(const std::optional<DockerUsage>& usage, bool isLoading) {
    usage_ = usage;
    isLoading_ = isLoading;
    redraw();
}

void DockerSection::toggle(const std::string& groupID) {
    if (!expanded_.erase(groupID)) expanded_.insert(groupID);
    redraw();
}

void DockerSection::redraw() {
    const auto figure = DockerText::headerFigure(usage_);
    figure_->setVisible(figure.has_value());
    figure_->setText(figure ? q(*figure) : QString());

    delete body_;
    body_ = nullptr;
    switch (DockerText::body(usage_, isLoading_)) {
    case DockerText::Body::loading:
        body_ = loadingPanel();
        bodyKind_ = "loading";
        break;
    case DockerText::Body::headerOnly: bodyKind_ = ""; break;
    case DockerText::Body::ready:
        body_ = ready(*usage_);
        bodyKind_ = "ready";
        break;
    case DockerText::Body::unavailable:
        body_ = unavailable(*usage_);
        bodyKind_ = "unavailable";
        break;
    }
    if (body_) layout_->insertWidget(layout_->count() - 1, body_);
}

QWidget* DockerSection::loadingPanel() {
    auto* card = new Card(18, std::nullopt, this);
    auto* row = new QHBoxLayout;
    row->setSpacing(9);
    row->addWidget(new Spinner(11, card));
    row->addWidget(new Text(q(DockerText::loadingText), Fonts::system(12), Theme::tertiaryText(), card));
    row->addStretch(1);
    card->content()->addLayout(row);
    return card;
}

QWidget* DockerSection::ready(const DockerUsage& usage) {
    auto* block = new QWidget(this);
    auto* column = new QVBoxLayout(block);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(11);
    column->addWidget(Texts::wrapping(q(DockerText::summary(usage)), Fonts::system(12), Theme::secondaryText(), block));
    auto* groups = new QVBoxLayout;
    groups->setSpacing(8);
    for (const auto& g : usage.groups) groups->addWidget(groupRow(g, block));
    column->addLayout(groups);
    return block;
}

QWidget* DockerSection::groupRow(const DockerUsage::Group& group, QWidget* parent) {
    const bool open = expanded_.count(group.id) > 0;
    auto* card = new Surface(11, Theme::card(), Theme::hairline(), 1, parent);
    auto* column = new QVBoxLayout(card);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* head = new ClickArea(card);
    head->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* row = head->row();
    row->setContentsMargins(16, 13, 16, 13);
    row->setSpacing(12);
    auto* chevron = new SymbolView("chevron.right", Theme::tertiaryText(), 10, head, QSize(12, 12));
    chevron->setRotation(open ? 90 : 0);
    row->addWidget(chevron);
    row->addWidget(new Text(q(group.title), Fonts::system(13.5, Fonts::Weight::semibold), Theme::primaryText(), head));
    if (auto count = DockerText::entryCount(group))
        row->addWidget(new Text(q(*count), Fonts::mono(10.5), Theme::tertiaryText(), head));
    row->addStretch(1);
    if (auto unused = DockerText::unusedFigure(group))
        row->addWidget(new Text(q(*unused), Fonts::mono(11.5, Fonts::Weight::medium), Theme::accentInk(), head));
    auto* total = new Text(bytes(group.total), Fonts::mono(13, Fonts::Weight::semibold), Theme::primaryText(), head);
    total->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    total->setFixedWidth(90);
    row->addWidget(total);
    const std::string id = group.id;
    connect(head, &QAbstractButton::clicked, this, [this, id] {
        // The card is rebuilt by the toggle: let the click finish first.
        QMetaObject::invokeMethod(this, [this, id] { toggle(id); }, Qt::QueuedConnection);
    });
    column->addWidget(head);

    if (open) {
        column->addWidget(new Hairline(Qt::Horizontal, card));
        if (group.pruneCommand) {
            auto* prune = commandRow(*group.pruneCommand, DockerText::pruneLabel(group), card);
            prune->setContentsMargins(40, 10, 40, 10);
            column->addWidget(prune);
        }
        for (size_t i = 0; i < DockerText::shownEntries(group); ++i) column->addWidget(entryRow(group.entries[i], card));
        if (auto more = DockerText::moreEntries(group)) {
            auto* line = Texts::wrapping(q(*more), Fonts::system(11), Theme::tertiaryText(), card);
            line->setContentsMargins(40, 7, 40, 7);
            column->addWidget(line);
        }
        if (group.entries.empty()) {
            auto* line = Texts::wrapping(q(DockerText::notItemised), Fonts::system(11.5), Theme::tertiaryText(), card);
            line->setContentsMargins(40, 9, 40, 9);
            column->addWidget(line);
        }
    }
    return card;
}

QWidget* DockerSection::entryRow(const DockerUsage::Entry& entry, QWidget* parent) {
    auto* w = new QWidget(parent);
    auto* row = new QHBoxLayout(w);
    row->setContentsMargins(40, 6, 40, 6);
    row->setSpacing(10);
    auto* dot = new Dot(entry.isReclaimable ? Theme::accent() : Theme::tertiaryText().opacity(0.45), w);
    dot->setToolTip(q(DockerText::dotTooltip(entry)));
    row->addWidget(dot);
    auto* names = new QVBoxLayout;
    names->setSpacing(1);
    auto* name = new Text(q(entry.name), Fonts::mono(11), Theme::primaryText(), w);
    name->setElide(Qt::ElideLeft);
    names->addWidget(name);
    if (DockerText::showsDetail(entry)) {
        auto* detail = new Text(q(*entry.detail), Fonts::system(10.5), Theme::tertiaryText(), w);
        detail->setElide(Qt::ElideRight);
        names->addWidget(detail);
    }
    row->addLayout(names, 1);
    row->addSpacing(10);
    if (DockerText::showsCopyRemove(entry)) {
        auto* copy = new TextButton("Copy remove", Fonts::system(10.5, Fonts::Weight::medium), Theme::accentInk(), w, TextButton::Fit::tight);
        const QString command = q(*entry.removeCommand);
        copy->setToolTip(command);
        connect(copy, &QAbstractButton::clicked, this, [this, command] { desktop_.copy(command); });
        row->addWidget(copy);
    }
    // A size Docker wrote that cannot be one is said, not shown as 0.
    auto* size = new Text(entry.sizeKnown ? bytes(entry.size) : QStringLiteral("not known"), Fonts::mono(11),
                          Theme::secondaryText(), w);
    size->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    size->setFixedWidth(74);
    row->addWidget(size);
    return w;
}

QWidget* DockerSection::commandRow(const std::string& command, const std::string& label, QWidget* parent) {
    auto* w = new QWidget(parent);
    auto* column = new QVBoxLayout(w);
    column->setSpacing(5);
    column->addWidget(new Text(q(label), Fonts::system(11, Fonts::Weight::medium), Theme::secondaryText(), w));
    auto* box = new Surface(7, Theme::inset(), std::nullopt, 0, w);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(10, 7, 10, 7);
    row->setSpacing(8);
    auto* text = Texts::selectable(q(command), Fonts::mono(11), Theme::primaryText().opacity(0.8), box);
    text->setWordWrap(true);
    row->addWidget(text, 1);
    row->addSpacing(6);
    auto* copy = new TextButton("Copy", Fonts::system(10.5, Fonts::Weight::medium), Theme::accentInk(), box, TextButton::Fit::tight);
    const QString full = q(command);
    connect(copy, &QAbstractButton::clicked, this, [this, full] { desktop_.copy(full); });
    row->addWidget(copy);
    column->addWidget(box);
    return w;
}

} // namespace sorvel::ui

namespace sorvel::ui {

QWidget* DockerSection::unavailable(const DockerUsage& usage) {
    auto* card = new Card(18, Theme::warningWash(), this);
    auto* row = new QHBoxLayout;
    row->setSpacing(11);
    auto* icon = new QVBoxLayout;
    icon->setContentsMargins(0, 1, 0, 0);
    icon->addWidget(new SymbolView("exclamationmark.triangle", Theme::warning(), 12, card, QSize(15, 15)));
    icon->addStretch(1);
    row->addLayout(icon);
    auto* column = new QVBoxLayout;
    column->setSpacing(4);
    column->addWidget(new Text(q(DockerText::unavailableTitle(usage.state)), Fonts::system(12.5, Fonts::Weight::semibold),
                               Theme::primaryText(), card));
    if (usage.note) column->addWidget(Texts::wrapping(q(*usage.note), Fonts::system(12), Theme::secondaryText(), card));
    row->addLayout(column, 1);
    card->content()->addLayout(row);
    return card;
}

} // namespace sorvel::ui
