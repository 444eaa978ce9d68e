#include "ui/screens/CleanupRow.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>
#include <QToolTip>
#include <QVBoxLayout>

#include "engine/Bytes.h"
#include "engine/PathText.h"
#include "ui/kit/AccessibleControls.h"
#include "ui/kit/Chip.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/HeightAnimation.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/Text.h"
#include "ui/kit/TextButton.h"
#include "ui/kit/Theme.h"
#include "ui/services/DesktopServices.h"
#include "engine/SharedLinks.h"

namespace sorvel::ui {

namespace {

constexpr int kMainHeight = 72;

// One path inside an opened recommendation; "Reveal" shows while the pointer is over it or
// while it has focus from the keyboard. A hidden control cannot take Tab, so while "Reveal"
// is hidden the row itself stands in the tab order and hands the focus on to it.
class TargetRow : public QWidget {
public:
    TargetRow(const CleanupTarget& target, DesktopServices& desktop, QWidget* parent) : QWidget(parent), target_(target) {
        setAttribute(Qt::WA_Hover);
        const QString shown = QString::fromStdString(tildeAbbreviated(target.path));
        setAccessibleName(shown);
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(49, 5, 49, 5);
        row->setSpacing(10);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(1);
        auto* path = new Text(shown, Fonts::mono(11), Theme::secondaryText(), this);
        path->setElide(Qt::ElideMiddle);
        texts->addWidget(path);
        if (target.detail) texts->addWidget(new Text(QString::fromStdString(*target.detail), Fonts::system(10), Theme::tertiaryText(), this));
        if (const auto note = sharedStorageNote(target.size, target.shared))
            texts->addWidget(new Text(QString::fromStdString(*note), Fonts::system(10), Theme::tertiaryText(), this));
        // The folder symbol is painted in the first 16 px; a spacer takes no layout spacing,
        // so the 10 between symbol and path is added here.
        row->addSpacing(16 + 10);
        row->addLayout(texts, 1);
        reveal_ = new TextButton("Reveal", Fonts::system(10, Fonts::Weight::medium), Theme::accentInk(), this);
        reveal_->setAccessibleName("Reveal " + shown);
        reveal_->installEventFilter(this);
        row->addWidget(reveal_);
        auto* size = new Text(QString::fromStdString(Bytes::format(target.freed())), Fonts::mono(11), Theme::secondaryText(), this);
        if (target.partlyRead)
            size->setToolTip(QStringLiteral("Part of it is not readable by this user, so this size is a lower bound."));
        size->setFixedWidth(80);
        size->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        row->addWidget(size);
        const std::string p = target.path;
        QObject::connect(reveal_, &QAbstractButton::clicked, this, [&desktop, p] { desktop.reveal(p); });
        refresh();
    }

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::HoverEnter || e->type() == QEvent::HoverLeave) {
            hovering_ = e->type() == QEvent::HoverEnter;
            refresh();
            update();
        }
        return QWidget::event(e);
    }
    void focusInEvent(QFocusEvent* e) override {
        keyFocus_ = true;
        refresh();
        reveal_->setFocus(e->reason());
    }
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == reveal_ && (e->type() == QEvent::FocusIn || e->type() == QEvent::FocusOut)) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(e)->reason();
            if (e->type() == QEvent::FocusIn)
                keyFocus_ = keyFocus_ || reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                            reason == Qt::ShortcutFocusReason;
            // Leaving the window or opening a popup brings the focus back here later.
            else if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                keyFocus_ = false;
            refresh();
        }
        return false;
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        if (hovering_) p.fillRect(rect(), Theme::inset().resolve());
        Symbols::paint(p, QRectF(49, 0, 16, height()), "folder", Theme::tertiaryText().resolve(), 10);
    }

private:
    void refresh() {
        const bool shown = hovering_ || keyFocus_;
        reveal_->setVisible(shown);
        setFocusPolicy(shown ? Qt::NoFocus : Qt::TabFocus);
    }

    CleanupTarget target_;
    TextButton* reveal_;
    bool hovering_ = false;
    // "Reveal" (or this row, on its way to it) took the focus from the keyboard.
    bool keyFocus_ = false;
};

} // namespace

CleanupRow::CleanupRow(DesktopServices& desktop, QWidget* parent)
    : QWidget(parent), desktop_(desktop), targets_(new QWidget(this)), targetLayout_(new QVBoxLayout(targets_)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, kMainHeight, 0, 0);
    column->setSpacing(0);
    targetLayout_->setContentsMargins(0, 5, 0, 4);
    targetLayout_->setSpacing(0);
    column->addWidget(targets_);
    targets_->hide();
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // The ring goes around the row's head, not the open list of paths.
    FocusRing::attach(this, {[](const QWidget& w) { return QRectF(0, 0, w.width(), kMainHeight); }, 11});
    // Reads as it looks ("User app caches, 14 MB"), ticked as drawn; a press ticks it as Space
    // does, or opens its paths where it cannot be ticked.
    AccessibleControls::describe(
        this, {QAccessible::ListItem, [this] { return QString::fromStdString(item_.title) + ", " + sizeText(); },
               [this] { return sizeText(); },
               [this] {
                   if (item_.isActionable()) emit toggleSelection();
                   else if (opens()) emit toggleExpansion();
               }},
        {[this] { return item_.isActionable() ? std::optional<bool>(selected_) : std::nullopt; },
         [this] { return item_.isActionable() || opens(); }});
}

QString CleanupRow::sizeText() const {
    // Nothing offered: no figure, never one of what the policy refuses.
    return item_.withheld || item_.onlyRefused() ? QStringLiteral("\u2014")
                                                 : QString::fromStdString(Bytes::format(item_.size()));
}

bool CleanupRow::opens() const { return !item_.targets.empty() || !item_.refused.empty(); }

void CleanupRow::setItem(const CleanupItem& item, bool selected, bool expanded) {
    const bool itemChanged = item.id != item_.id || item.targets != item_.targets || item.refused != item_.refused;
    const bool wasExpanded = expanded_;
    item_ = item;
    selected_ = selected;
    setAccessibleName(QString::fromStdString(item.title)); // the row's like after a rebuild
    setAccessibleDescription(QString::fromStdString(item.detail)); // whole, where the row cuts it
    AccessibleControls::changed(this);
    if (itemChanged) built_ = false;
    expanded_ = expanded && (!item.targets.empty() || !item.refused.empty());
    if (expanded_ && !built_) rebuildTargets();
    const int target = kMainHeight + (expanded_ ? targetsHeight() : 0);
    if (expanded_) targets_->setVisible(true);
    if (wasExpanded == expanded_ || !isVisible()) {
        HeightAnimation::run(this, target, target, [this](int h) { setFixedHeight(h); });
        targets_->setVisible(expanded_);
    } else {
        // Closing keeps the paths drawn until the height has folded over them.
        HeightAnimation::run(
            this, height(), target, [this](int h) { setFixedHeight(h); },
            [this] { targets_->setVisible(expanded_); });
    }
    update();
}

int CleanupRow::targetsHeight() const {
    targetLayout_->activate();
    return targets_->sizeHint().height();
}

void CleanupRow::rebuildTargets() {
    while (QLayoutItem* it = targetLayout_->takeAt(0)) {
        delete it->widget();
        delete it;
    }
    const size_t n = std::min<size_t>(item_.targets.size(), kListedTargets);
    for (size_t i = 0; i < n; ++i) targetLayout_->addWidget(new TargetRow(item_.targets[i], desktop_, targets_));
    if (item_.targets.size() > size_t(kListedTargets)) {
        auto* more = new Text("+ " + QString::number(item_.targets.size() - kListedTargets) + " more", Fonts::system(11),
                              Theme::tertiaryText(), targets_);
        more->setContentsMargins(49, 8, 49, 8);
        auto* box = new QWidget(targets_);
        auto* l = new QHBoxLayout(box);
        l->setContentsMargins(49, 8, 49, 8);
        l->addWidget(more);
        targetLayout_->addWidget(box);
    }
    // What the policy refuses: listed after the offers, each with why, never counted.
    const size_t r = std::min<size_t>(item_.refused.size(), kListedTargets);
    for (size_t i = 0; i < r; ++i) targetLayout_->addWidget(new TargetRow(item_.refused[i], desktop_, targets_));
    // A child added to a shown parent stays hidden until the event loop turns, and a hidden
    // child measures as nothing: show them now so the row's height counts them.
    for (int i = 0; i < targetLayout_->count(); ++i)
        if (QWidget* w = targetLayout_->itemAt(i)->widget()) w->setVisible(true);
    built_ = true;
}

int CleanupRow::listedTargetRows() const { return built_ ? int(targetLayout_->count()) : 0; }

QStringList CleanupRow::wrapLines(const QString& text, const QFont& font, double width, int maxLines, bool* cut) {
    if (cut) *cut = false;
    if (text.trimmed().isEmpty() || maxLines < 1) return {};
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(1.0, width));
        if (lines.size() + 1 == maxLines) {
            // The last line allowed takes the rest of the text, cut with "…" where it runs on.
            const QString rest = text.mid(line.textStart()).simplified();
            lines << QFontMetricsF(font).elidedText(rest, Qt::ElideRight, width);
            if (cut) *cut = lines.back() != rest;
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

QRect CleanupRow::checkRect() const { return {16, (kMainHeight - 19) / 2, 19, 19}; }
QRect CleanupRow::chevronRect() const { return {width() - 16 - 18, (kMainHeight - 18) / 2, 18, 18}; }

void CleanupRow::enterEvent(QEnterEvent*) {
    hovering_ = true;
    update();
}
void CleanupRow::leaveEvent(QEvent*) {
    hovering_ = false;
    update();
}

void CleanupRow::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    const QPoint p = e->position().toPoint();
    if (checkRect().contains(p) && item_.isActionable()) emit toggleSelection();
    else if (chevronRect().contains(p) && opens()) emit toggleExpansion();
}

void CleanupRow::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Space:
        if (item_.isActionable()) emit toggleSelection();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (opens()) emit toggleExpansion();
        return;
    case Qt::Key_Up:
    case Qt::Key_Down: FocusRing::moveAmongLikes(this, e->key() == Qt::Key_Up ? -1 : 1); return;
    default: QWidget::keyPressEvent(e);
    }
}

bool CleanupRow::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        if (!item_.isActionable() && checkRect().contains(help->pos()))
            QToolTip::showText(help->globalPos(),
                               item_.withheld        ? "Sorvel offers none of this, for the reason given"
                               : item_.onlyRefused() ? "Sorvel may not move these, for the reason given under each"
                                                     : "Sorvel reports this but does not act on it",
                               this);
        // A detail cut short gives its whole text on hover.
        else if (detailCut_ && detailRect_.contains(help->pos()))
            QToolTip::showText(help->globalPos(), QString::fromStdString(item_.detail), this, detailRect_.toAlignedRect());
        else QToolTip::hideText();
        return true;
    }
    return QWidget::event(e);
}

void CleanupRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF card = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(Theme::hairline().resolve(), 1));
    p.setBrush((hovering_ ? Theme::cardHover() : Theme::card()).resolve());
    p.drawRoundedRect(card, 11, 11);
    if (expanded_) p.fillRect(QRectF(1, kMainHeight, width() - 2, 1), Theme::hairline().resolve());

    const bool review = item_.risk == CleanupRisk::review;
    const QRectF check = checkRect();
    if (item_.isActionable()) {
        if (selected_) {
            p.setPen(Qt::NoPen);
            p.setBrush((review ? Theme::warning() : Theme::accent()).resolve());
        } else {
            p.setPen(QPen(Theme::hairline().resolve(), 1.2));
            p.setBrush(Theme::raised().resolve());
        }
        p.drawRoundedRect(check.adjusted(0.6, 0.6, -0.6, -0.6), 5.5, 5.5);
        if (selected_) Symbols::paint(p, check, "checkmark", Qt::white, 10);
    } else {
        Symbols::paint(p, check, "arrow.up.forward.app", Theme::tertiaryText().resolve(), 13);
    }

    // Trailing: chevron, size (86 wide), location (at most 200).
    const QRectF chevron = chevronRect();
    if (opens()) {
        p.save();
        p.translate(chevron.center());
        if (expanded_) p.rotate(90);
        Symbols::paint(p, QRectF(-9, -9, 18, 18), "chevron.right", Theme::tertiaryText().resolve(), 10);
        p.restore();
    }
    double right = chevron.left() - 14;
    const QFont sizeFont = Fonts::mono(13, Fonts::Weight::semibold);
    p.setFont(sizeFont);
    p.setPen((review ? Theme::warning() : Theme::accentInk()).resolve());
    // A withheld item offers nothing: no figure stands for what it left alone.
    if (item_.withheld) p.setPen(Theme::tertiaryText().resolve());
    p.drawText(QRectF(right - 86, 0, 86, kMainHeight), Qt::AlignRight | Qt::AlignVCenter, sizeText());
    right -= 86 + 14;
    const QFont locFont = Fonts::mono(10.5);
    const QFontMetricsF lm(locFont);
    const QString location = QString::fromStdString(item_.locationLabel);
    const double locWidth = std::min(200.0, lm.horizontalAdvance(location));
    p.setFont(locFont);
    p.setPen(Theme::tertiaryText().resolve());
    p.drawText(QRectF(right - locWidth, 0, locWidth + 1, kMainHeight), Qt::AlignRight | Qt::AlignVCenter,
               lm.elidedText(location, Qt::ElideLeft, locWidth));
    right -= locWidth + 12;

    // Text block.
    const double x = check.right() + 14;
    const double room = std::max(0.0, right - x);
    const QFont titleFont = Fonts::system(13.5, Fonts::Weight::semibold);
    const QFontMetricsF tm(titleFont);
    const QFont detailFont = Fonts::system(12);
    const QFontMetricsF dm(detailFont);
    detailLines_ = wrapLines(QString::fromStdString(item_.detail), detailFont, room, 2, &detailCut_);
    const double detailH = dm.height() * double(detailLines_.size());
    double y = (kMainHeight - (tm.height() + 2 + detailH)) / 2;
    const QString title = QString::fromStdString(item_.title);
    const double titleW = std::min(room, tm.horizontalAdvance(title));
    p.setFont(titleFont);
    p.setPen(Theme::primaryText().resolve());
    p.drawText(QRectF(x, y, titleW + 1, tm.height()), Qt::AlignLeft | Qt::AlignVCenter, tm.elidedText(title, Qt::ElideRight, room));
    std::optional<std::pair<QString, std::pair<QColor, QColor>>> badge;
    if (item_.externalAction) {
        const auto blue = Theme::tint(Tint::blue());
        badge = {{QString::fromStdString(*item_.externalAction), {blue.ink.resolve(), blue.fill.resolve()}}};
    } else if (item_.withheld) {
        badge = {{"NONE OFFERED", {Theme::warning().resolve(), Theme::warningWash().resolve()}}};
    } else if (item_.onlyRefused()) {
        badge = {{"REFUSED", {Theme::warning().resolve(), Theme::warningWash().resolve()}}};
    } else if (review) {
        badge = {{"REVIEW FIRST", {Theme::warning().resolve(), Theme::warningWash().resolve()}}};
    }
    if (badge) {
        const QSizeF cs = Chip::size(badge->first);
        Chip::paint(p, QPointF(x + titleW + 8, y + (tm.height() - cs.height()) / 2), badge->first, badge->second.first,
                    badge->second.second);
    }
    y += tm.height() + 2;
    p.setFont(detailFont);
    p.setPen(Theme::secondaryText().resolve());
    detailRect_ = QRectF(x, y, room, detailH);
    for (const QString& line : std::as_const(detailLines_)) {
        p.drawText(QRectF(x, y, room, dm.height()), Qt::AlignLeft | Qt::AlignVCenter, line);
        y += dm.height();
    }
}

} // namespace sorvel::ui
