#include "ui/tools/StorageTrendsCard.h"

#include <QVBoxLayout>

#include "models/ScanCoordinator.h"
#include "ui/kit/Card.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/SegmentedPicker.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Texts.h"
#include "ui/kit/Theme.h"
#include "ui/tools/Layouts.h"
#include "ui/tools/TrendRules.h"

namespace sorvel::ui {

using namespace Texts;
using namespace Layouts;
using W = Fonts::Weight;

namespace {

Adaptive colourOf(TrendRules::Tone tone) {
    switch (tone) {
    case TrendRules::Tone::neutral: return Theme::secondaryText();
    case TrendRules::Tone::good: return Theme::accentInk();
    case TrendRules::Tone::bad: return Theme::warning();
    }
    return Theme::secondaryText();
}

QWidget* deltaFigure(const TrendChange& value, const QString& label, bool inverted) {
    const int64_t change = TrendRules::change(value);
    const Adaptive colour = colourOf(TrendRules::figureTone(change, inverted));
    auto* card = new Card(13);
    card->setObjectName("deltaFigure");
    card->content()->setSpacing(2);
    auto* line = row(5);
    line->addWidget(new SymbolView(TrendRules::symbol(change), colour, 11));
    line->addWidget(mono(q(TrendRules::figureAmount(change)), 17, W::semibold, colour));
    line->addStretch(1);
    card->content()->addLayout(line);
    card->content()->addWidget(text(label, 10.5, W::regular, Theme::tertiaryText()));
    return card;
}

// A figure either side could not measure: words, never a change of 0.
QWidget* unmeasuredFigure(const QString& label) {
    auto* card = new Card(13);
    card->setObjectName("deltaFigure");
    card->content()->setSpacing(2);
    card->content()->addWidget(text("not measured", 17, W::semibold, Theme::tertiaryText()));
    card->content()->addWidget(text(label, 10.5, W::regular, Theme::tertiaryText()));
    return card;
}

QWidget* changeRow(const TrendChange& value) {
    const int64_t change = TrendRules::change(value);
    const Adaptive colour = colourOf(TrendRules::rowTone(change));
    auto* card = new Card(0);
    card->setObjectName("changeRow");
    auto* line = row(10);
    line->setContentsMargins(13, 8, 13, 8);
    line->addWidget(new SymbolView(TrendRules::symbol(change), colour, 9, nullptr, QSize(14, 0)));
    auto* title = text(q(value.title), 12, W::regular, Theme::primaryText());
    title->setElide(Qt::ElideRight);
    line->addWidget(title, 1);
    line->addSpacing(8);
    if (const auto percent = TrendRules::percent(value.was, value.now))
        line->addWidget(mono(q(*percent), 10.5, W::regular, Theme::tertiaryText()));
    line->addWidget(figure(q(TrendRules::rowAmount(change)), 12, W::medium, colour, 88));
    card->content()->addLayout(line);
    return card;
}

} // namespace

StorageTrendsCard::StorageTrendsCard(ScanCoordinator& coordinator, int days, QWidget* parent)
    : QWidget(parent), coordinator_(coordinator), days_(days) {
    setObjectName("trendsCard");
    auto* stack = column(10, this);
    auto* head = row(10);
    head->addWidget(caption("What is growing", 10.5, W::bold, Theme::secondaryText()));
    head->addStretch(1);
    picker_ = new SegmentedPicker({{"7 days", {}}, {"30 days", {}}, {"90 days", {}}}, SegmentedPicker::Look::capsule);
    picker_->setFixedWidth(210);
    connect(picker_, &SegmentedPicker::picked, this, [this](int index) {
        if (index >= 0 && index < 3) setDays(TrendRules::kPeriods[index]);
    });
    head->addWidget(picker_);
    stack->addLayout(head);
    body_ = column(10);
    stack->addLayout(body_);
    connect(&coordinator_, &ScanCoordinator::trendsChanged, this, &StorageTrendsCard::refresh);
    connect(&coordinator_, &ScanCoordinator::trendsSaveErrorChanged, this, &StorageTrendsCard::refresh);
    connect(&coordinator_, &ScanCoordinator::resultChanged, this, &StorageTrendsCard::refresh);
    refresh();
}

void StorageTrendsCard::setDays(int days) {
    if (days == days_) return;
    days_ = days;
    refresh();
}

void StorageTrendsCard::refresh() {
    for (int i = 0; i < 3; ++i)
        if (TrendRules::kPeriods[i] == days_) picker_->setCurrentIndex(i);
    clear(body_);
    if (const auto& error = coordinator_.trendsSaveError()) body_->addWidget(Texts::saveError(*error));
    const auto card = TrendRules::card(coordinator_.result(), coordinator_.trends(), days_, now());
    if (!card.body) {
        // Trends that could not be read are not a first measurement.
        const auto& unread = coordinator_.trendsUnread();
        auto* panel = new Card(18, unread ? std::optional<Adaptive>(Theme::warningWash()) : std::nullopt);
        panel->setObjectName(unread ? "trendsUnread" : "firstMeasurement");
        panel->content()->addWidget(unread ? wrapping(q(*unread), 12, Theme::primaryText())
                                           : wrapping(TrendRules::kFirstMeasurement, 12, Theme::tertiaryText()));
        body_->addWidget(panel);
        return;
    }
    const auto& b = *card.body;
    auto* figures = row(14);
    figures->addWidget(deltaFigure(b.measured, "measured", false), 1);
    figures->addWidget(b.free ? deltaFigure(*b.free, "free space", true) : unmeasuredFigure("free space"), 1);
    body_->addLayout(figures);
    auto* comparison = text(q(b.comparison), 10.5, W::regular, Theme::tertiaryText());
    comparison->setObjectName("comparison");
    body_->addWidget(comparison);
    if (b.changes.empty()) {
        body_->addWidget(text("Nothing moved measurably.", 11.5, W::regular, Theme::tertiaryText()));
        return;
    }
    auto* rows = column(5);
    for (const auto& change : b.changes) rows->addWidget(changeRow(change));
    body_->addLayout(rows);
}

} // namespace sorvel::ui
