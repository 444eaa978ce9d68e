#include "ui/screens/InsightsPanel.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <QVBoxLayout>

#include "engine/Bytes.h"
#include "ui/kit/Card.h"
#include "ui/kit/Chip.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Spinner.h"
#include "ui/kit/Surface.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Text.h"
#include "ui/kit/TextButton.h"
#include "ui/kit/Texts.h"
#include "ui/kit/Theme.h"
#include "ui/screens/InsightsText.h"
#include "ui/screens/ToneColours.h"
#include "ui/services/DesktopServices.h"

namespace sorvel::ui {

namespace {

using namespace InsightsText;

void roundedFill(QPainter& p, const QRectF& r, double radius, const QColor& c) {
    if (r.width() <= 0 || r.height() <= 0) return;
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    p.fillPath(path, c);
}

/// The stacked bar of the first eight kinds, each piece with its label and bytes as help.
class KindBar : public QWidget {
public:
    struct Piece {
        int64_t bytes;
        Adaptive colour;
        QString help;
    };
    KindBar(std::vector<Piece> pieces, int64_t total, QWidget* parent)
        : QWidget(parent), pieces_(std::move(pieces)), total_(total) {
        setFixedHeight(9);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    std::vector<QRectF> layoutPieces() const {
        std::vector<QRectF> rects;
        double x = 0;
        for (const auto& piece : pieces_) {
            const double w = kindSegmentWidth(piece.bytes, total_, width());
            rects.emplace_back(x, 0, w, height());
            x += w + (w > 0 ? 2 : 0);
        }
        return rects;
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const auto rects = layoutPieces();
        for (size_t i = 0; i < rects.size(); ++i) roundedFill(p, rects[i], 4.5, pieces_[i].colour.resolve());
    }
    bool event(QEvent* e) override {
        if (e->type() == QEvent::ToolTip) {
            auto* help = static_cast<QHelpEvent*>(e);
            const auto rects = layoutPieces();
            for (size_t i = 0; i < rects.size(); ++i)
                if (rects[i].contains(help->pos())) {
                    QToolTip::showText(help->globalPos(), pieces_[i].help, this);
                    return true;
                }
            QToolTip::hideText();
            return true;
        }
        return QWidget::event(e);
    }

private:
    std::vector<Piece> pieces_;
    int64_t total_;
};

/// One age band's bar: an inset track with the band's share over its leading end.
class AgeBar : public QWidget {
public:
    AgeBar(int64_t bytes, int64_t total, Adaptive colour, QWidget* parent)
        : QWidget(parent), bytes_(bytes), total_(total), colour_(std::move(colour)) {
        setFixedHeight(7);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        roundedFill(p, QRectF(rect()), 3.5, Theme::inset().resolve());
        const double w = std::min<double>(ageBarWidth(bytes_, total_, width()), width());
        roundedFill(p, QRectF(0, 0, w, height()), 3.5, colour_.resolve());
    }

private:
    int64_t bytes_, total_;
    Adaptive colour_;
};

class Swatch : public QWidget {
public:
    Swatch(Adaptive colour, QWidget* parent) : QWidget(parent), colour_(std::move(colour)) { setFixedSize(9, 9); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        roundedFill(p, QRectF(rect()), 2.5, colour_.resolve());
    }

private:
    Adaptive colour_;
};

QHBoxLayout* sectionTitle(const QString& title, const QString& detail, QWidget* parent) {
    auto* row = new QHBoxLayout;
    row->addWidget(new Text(title, Fonts::system(12.5, Fonts::Weight::semibold), Theme::primaryText(), parent));
    row->addStretch(1);
    if (!detail.isEmpty()) row->addWidget(new Text(detail, Fonts::system(10.5), Theme::tertiaryText(), parent));
    return row;
}

Text* figure(int64_t bytes, double px, Fonts::Weight weight, const Adaptive& colour, QWidget* parent) {
    auto* t = new Text(q(Bytes::format(bytes)), Fonts::mono(px, weight), colour, parent);
    t->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    t->setFixedWidth(74);
    return t;
}

Adaptive verdictFill(PathNote::Verdict verdict) {
    switch (verdict) {
    case PathNote::Verdict::safe: return Theme::accentWash().opacity(0.45);
    case PathNote::Verdict::review: return Theme::warningWash().opacity(0.45);
    case PathNote::Verdict::keep: return Theme::tint(Tint::blue()).fill.opacity(0.45);
    }
    return Theme::warningWash().opacity(0.45);
}

} // namespace

InsightsPanel::InsightsPanel(DesktopServices& desktop, QWidget* parent) : QWidget(parent), desktop_(desktop) {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
}

void InsightsPanel::setInputs(const std::string& path, const std::optional<PathNote>& note,
                              const std::optional<FolderInsights>& insights, bool isLoading,
                              const std::optional<CloudStatus>& cloud) {
    // Rebuilt whole on each change of its inputs: a handful of cards, never on a progress tick.
    delete body_;
    body_ = new QWidget(this);
    auto* column = new QVBoxLayout(body_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(14);
    layout_->addWidget(body_);
    cards_.clear();

    if (note) {
        column->addWidget(explainer(*note));
        cards_ << "explainer";
    }
    if (cloud) {
        if (auto caveat = cloud->caveat(path)) {
            column->addWidget(cloudCaveat(caveat->text, caveat->isBlocking));
            cards_ << "caveat";
        }
    }
    switch (breakdown(isLoading, insights)) {
    case Breakdown::loading:
        column->addWidget(loading());
        cards_ << "loading";
        break;
    case Breakdown::nothing: break;
    case Breakdown::kindsAndAges:
    case Breakdown::kindsAgesAndLargest: {
        auto* pair = new QHBoxLayout;
        pair->setSpacing(14);
        pair->addWidget(byType(*insights), 1, Qt::AlignTop);
        pair->addWidget(byAge(*insights), 1, Qt::AlignTop);
        column->addLayout(pair);
        cards_ << "kinds" << "ages";
        if (!insights->largest.empty()) {
            column->addWidget(largestFiles(*insights));
            cards_ << "largest";
        }
        break;
    }
    }
    column->addStretch(1);
    setVisible(!cards_.isEmpty());
}

QWidget* InsightsPanel::explainer(const PathNote& note) {
    const ChipStyle chip = verdictChip(note.verdict);
    auto* card = new Card(18, verdictFill(note.verdict), this);
    auto* column = card->content();
    column->setSpacing(8);
    auto* head = new QHBoxLayout;
    head->setSpacing(9);
    head->addWidget(new Text(q(note.title), Fonts::system(13.5, Fonts::Weight::semibold), Theme::primaryText(), card));
    head->addWidget(new Chip(q(chip.text), ToneColours::ink(chip.tone), ToneColours::wash(chip.tone), card));
    head->addStretch(1);
    column->addLayout(head);
    column->addWidget(Texts::wrapping(q(note.what), Fonts::system(12.5), Theme::secondaryText(), card));
    if (note.guidance) {
        auto* row = new QHBoxLayout;
        row->setContentsMargins(0, 1, 0, 0);
        row->setSpacing(8);
        auto* arrow = new QVBoxLayout;
        arrow->setContentsMargins(0, 2, 0, 0);
        arrow->addWidget(new SymbolView("arrow.turn.down.right", ToneColours::ink(chip.tone), 10, card, QSize(12, 12)));
        arrow->addStretch(1);
        row->addLayout(arrow);
        row->addWidget(Texts::wrapping(q(*note.guidance), Fonts::system(12), Theme::primaryText().opacity(0.75), card), 1);
        column->addLayout(row);
    }
    return card;
}

QWidget* InsightsPanel::cloudCaveat(const std::string& text, bool isBlocking) {
    const CaveatLook look = caveatLook(isBlocking);
    const auto blue = Theme::tint(Tint::blue());
    auto* surface = new Surface(10, isBlocking ? Theme::warningWash() : blue.fill.opacity(0.45),
                                (isBlocking ? Theme::warning() : blue.dot).opacity(0.35), 1, this);
    auto* row = new QHBoxLayout(surface);
    row->setContentsMargins(13, 13, 13, 13);
    row->setSpacing(10);
    auto* icon = new QVBoxLayout;
    icon->setContentsMargins(0, 1, 0, 0);
    icon->addWidget(new SymbolView(look.symbol, ToneColours::ink(look.tone), 13, surface, QSize(16, 16)));
    icon->addStretch(1);
    row->addLayout(icon);
    auto* column = new QVBoxLayout;
    column->setSpacing(3);
    column->addWidget(new Text(q(look.heading), Fonts::system(12.5, Fonts::Weight::semibold), Theme::primaryText(), surface));
    column->addWidget(Texts::wrapping(q(text), Fonts::system(12), Theme::secondaryText(), surface));
    row->addLayout(column, 1);
    return surface;
}

QWidget* InsightsPanel::loading() {
    auto* card = new Card(18, std::nullopt, this);
    auto* row = new QHBoxLayout;
    row->setSpacing(9);
    row->addWidget(new Spinner(11, card));
    row->addWidget(new Text(QString::fromUtf8("Reading file types and dates\u2026"), Fonts::system(12), Theme::tertiaryText(), card));
    row->addStretch(1);
    card->content()->addLayout(row);
    return card;
}

QWidget* InsightsPanel::byType(const FolderInsights& insights) {
    auto* card = new Card(18, std::nullopt, this);
    auto* column = card->content();
    column->setSpacing(10);
    column->addLayout(sectionTitle("What's in here", q(fileCountDetail(insights)), card));
    std::vector<KindBar::Piece> pieces;
    for (size_t i = 0; i < insights.kinds.size() && i < maxKindSegments; ++i) {
        const auto& b = insights.kinds[i];
        pieces.push_back({b.bytes, Theme::tint(FileKinds::tint(b.key)).dot,
                          q(kindLabel(b.key) + " \u2014 " + Bytes::format(b.bytes))});
    }
    column->addWidget(new KindBar(std::move(pieces), insights.totalBytes, card));
    auto* legend = new QVBoxLayout;
    legend->setSpacing(5);
    for (size_t i = 0; i < insights.kinds.size() && i < maxLegendRows; ++i) {
        const auto& b = insights.kinds[i];
        auto* row = new QHBoxLayout;
        row->setSpacing(8);
        row->addWidget(new Swatch(Theme::tint(FileKinds::tint(b.key)).dot, card));
        row->addWidget(new Text(q(kindLabel(b.key)), Fonts::system(12), Theme::secondaryText(), card));
        row->addStretch(1);
        row->addSpacing(8);
        row->addWidget(new Text(q(percent(b.bytes, insights.totalBytes)), Fonts::mono(10.5), Theme::tertiaryText(), card));
        row->addWidget(figure(b.bytes, 11.5, Fonts::Weight::medium, Theme::primaryText(), card));
        legend->addLayout(row);
    }
    column->addLayout(legend);
    return card;
}

QWidget* InsightsPanel::byAge(const FolderInsights& insights) {
    auto* card = new Card(18, std::nullopt, this);
    auto* column = card->content();
    column->setSpacing(10);
    column->addLayout(sectionTitle("How old it is", q(ageDetail(insights)), card));
    auto* rows = new QVBoxLayout;
    rows->setSpacing(7);
    for (const auto& b : insights.ages) {
        const bool stale = isStale(b.key);
        auto* row = new QHBoxLayout;
        row->setSpacing(9);
        auto* label = new Text(q(ageLabel(b.key)), Fonts::system(12),
                               stale ? Theme::primaryText() : Theme::secondaryText(), card);
        label->setFixedWidth(106);
        row->addWidget(label);
        row->addWidget(new AgeBar(b.bytes, insights.totalBytes,
                                  stale ? Theme::warning() : Theme::tint(Tint::slate()).dot, card), 1);
        row->addWidget(figure(b.bytes, 11.5, Fonts::Weight::medium, Theme::primaryText(), card));
        rows->addLayout(row);
    }
    column->addLayout(rows);
    return card;
}

QWidget* InsightsPanel::largestFiles(const FolderInsights& insights) {
    auto* card = new Card(18, std::nullopt, this);
    auto* column = card->content();
    column->setSpacing(9);
    column->addLayout(sectionTitle("Largest files", q(largestDetail(insights)), card));
    auto* rows = new QVBoxLayout;
    rows->setSpacing(3);
    for (size_t i = 0; i < insights.largest.size() && i < maxLargestFiles; ++i) {
        const FileEntry& f = insights.largest[i];
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        row->addWidget(new Swatch(Theme::tint(FileKinds::tint(swatchKind(f))).dot, card));
        auto* name = new Text(q(f.name), Fonts::system(12), Theme::primaryText(), card);
        name->setElide(Qt::ElideMiddle);
        row->addWidget(name, 1);
        row->addSpacing(10);
        if (f.modified) row->addWidget(new Text(q(monthYear(*f.modified)), Fonts::mono(10.5), Theme::tertiaryText(), card));
        row->addWidget(figure(f.size, 11.5, Fonts::Weight::medium, Theme::secondaryText(), card));
        auto* reveal = new TextButton("Reveal", Fonts::system(10.5, Fonts::Weight::medium), Theme::accentInk(), card, TextButton::Fit::tight);
        const std::string path = f.path;
        connect(reveal, &QAbstractButton::clicked, this, [this, path] { desktop_.reveal(path); });
        row->addWidget(reveal);
        rows->addLayout(row);
    }
    column->addLayout(rows);
    return card;
}

} // namespace sorvel::ui
