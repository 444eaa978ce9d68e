#include "ui/screens/CategoryRowList.h"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QToolTip>

#include "engine/Bytes.h"
#include "engine/Reading.h"
#include "ui/kit/AccessibleControls.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/Theme.h"
#include "ui/screens/CategoryPaneState.h"
#include "ui/screens/ScreenText.h"

namespace sorvel::ui {

namespace {
constexpr double kPadX = 14;
constexpr double kGap = 12;
constexpr double kSymbolW = 14;
constexpr double kNameW = 300;
constexpr double kShareW = 50;
constexpr double kSizeW = 84;
constexpr double kChevronW = 10;

void capsule(QPainter& p, const QRectF& r, const QColor& colour) {
    if (r.width() <= 0) return;
    QPainterPath path;
    const double radius = std::min(r.height(), r.width()) / 2;
    path.addRoundedRect(r, radius, radius);
    p.fillPath(path, colour);
}
} // namespace

CategoryRowList::CategoryRowList(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    // The ring goes around the current row, in the gap between rows.
    FocusRing::attach(this, {[this](const QWidget&) { return QRectF(rowRect(std::max(current_, 0))); }, 8});
    // Each row reads as it looks ("Caches, 10 MB"), its figure as the value; pressed, it opens.
    AccessibleControls::describeRows(
        this, {QAccessible::List, {}, {}, {}},
        {QAccessible::ListItem, [this] { return int(rows_.size()); },
         [this](int i) { return rows_[size_t(i)].name + ", " + rows_[size_t(i)].size; },
         [this](int i) { return rows_[size_t(i)].size; }, [this](int i) { return rowRect(i); },
         [this](int i) {
             if (!onOpen) return;
             const BrowseRow row = rows_[size_t(i)].row; // opening may rebuild this list
             onOpen(row);
         },
         [this] { return current_; }});
}

void CategoryRowList::setRows(const std::vector<BrowseRow>& rows, size_t count, int64_t total, const Tint& tint) {
    count = std::min(count, rows.size());
    rows_.clear();
    rows_.reserve(count);
    total_ = std::max<int64_t>(total, 1);
    tint_ = tint;
    const std::vector<std::string> names = CategoryPane::rowNames(rows, count);
    for (size_t i = 0; i < count; ++i) {
        const BrowseRow& r = rows[i];
        // Nothing of it read (refused, or holding only refused folders): no figure, the words
        // the command line uses instead.
        const Reading reading = r.isDirectory() ? readingOf(*r.node()) : Reading::whole;
        const bool blocked = reading == Reading::none;
        // A folder a stop cut short before it counted a byte has no figure either.
        const bool unmeasured = reading == Reading::unmeasured;
        const bool noFigure = blocked || unmeasured;
        Row row{r, QString::fromStdString(names[i]),
                noFigure ? QString() : QString::fromStdString(CategoryPane::shareText(r.size(), total_)),
                blocked      ? QString::fromUtf8(kNotReadableText)
                : unmeasured ? QString::fromUtf8(kNotMeasuredText)
                             : QString::fromStdString(Bytes::format(r.size())),
                r.size(), CategoryPane::rowPath(r), blocked, r.isDirectory() && r.node()->partial && !blocked,
                r.isDirectory() && refusedInPart(*r.node()), noFigure};
        rows_.push_back(std::move(row));
    }
    if (hovered_ >= static_cast<int>(rows_.size())) hovered_ = -1;
    if (current_ >= static_cast<int>(rows_.size())) current_ = static_cast<int>(rows_.size()) - 1;
    setFixedHeight(sizeHint().height());
    updateGeometry();
    update();
}

QSize CategoryRowList::sizeHint() const {
    const int n = static_cast<int>(rows_.size());
    return {640, n == 0 ? 0 : n * rowHeight + (n - 1) * spacing};
}

QSize CategoryRowList::minimumSizeHint() const { return {0, sizeHint().height()}; }

QRect CategoryRowList::rowRect(int index) const { return {0, index * (rowHeight + spacing), width(), rowHeight}; }

int CategoryRowList::rowAt(QPoint point) const {
    if (point.x() < 0 || point.x() >= width() || point.y() < 0) return -1;
    const int index = point.y() / (rowHeight + spacing);
    if (index >= static_cast<int>(rows_.size())) return -1;
    return point.y() - index * (rowHeight + spacing) < rowHeight ? index : -1;
}

QRectF CategoryRowList::barTrack(int index) const {
    const QRectF r = rowRect(index);
    const double left = r.left() + kPadX + kSymbolW + kGap + kNameW + kGap;
    const double right = r.right() + 1 - kPadX - kChevronW - kGap - kSizeW - kGap - kShareW - kGap;
    return QRectF(left, r.center().y() - 3, std::max(0.0, right - left), 6);
}

void CategoryRowList::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFont nameFont = Fonts::system(12.5);
    const QFont shareFont = Fonts::mono(10.5);
    const QFont sizeFont = Fonts::mono(12, Fonts::Weight::medium);
    const QFontMetricsF nameMetrics(nameFont);
    const QColor card = Theme::card().resolve(), hover = Theme::cardHover().resolve();
    const QColor primary = Theme::primaryText().resolve(), secondary = Theme::secondaryText().resolve(),
                 tertiary = Theme::tertiaryText().resolve(), inset = Theme::inset().resolve();
    const QColor dot = Theme::tint(tint_).dot.resolve();
    const QColor warning = Theme::warning().resolve();

    const int first = std::max(0, event->rect().top() / (rowHeight + spacing));
    for (int i = first; i < static_cast<int>(rows_.size()); ++i) {
        const QRectF r = rowRect(i);
        if (r.top() > event->rect().bottom()) break;
        const Row& row = rows_[static_cast<size_t>(i)];
        const bool hovering = i == hovered_;
        QPainterPath shape;
        shape.addRoundedRect(r, 8, 8);
        p.fillPath(shape, hovering ? hover : card);

        double x = r.left() + kPadX;
        Symbols::paint(p, QRectF(x, r.top(), kSymbolW, r.height()),
                       row.blocked   ? "lock.fill"
                       : row.partial ? "circle.dashed"
                       : row.row.isDirectory() ? "folder.fill"
                                               : "doc.fill",
                       row.partial ? warning : tertiary, 11);
        x += kSymbolW + kGap;
        p.setFont(nameFont);
        p.setPen(primary);
        p.drawText(QRectF(x, r.top(), kNameW, r.height()), Qt::AlignLeft | Qt::AlignVCenter,
                   nameMetrics.elidedText(row.name, Qt::ElideRight, kNameW));

        const QRectF track = barTrack(i);
        if (row.noFigure) {
            // The words take the bar's, the share's and the size's room: there is no figure.
            const double end = r.right() + 1 - kPadX - kChevronW - kGap;
            p.setFont(shareFont);
            p.setPen(warning);
            p.drawText(QRectF(track.left(), r.top(), end - track.left(), r.height()), Qt::AlignRight | Qt::AlignVCenter,
                       row.size);
            if (hovering)
                Symbols::paint(p, QRectF(end + kGap, r.top(), kChevronW, r.height()), "chevron.right", secondary, 9);
            continue;
        }
        capsule(p, track, inset);
        capsule(p, QRectF(track.left(), track.top(), CategoryPane::shareBarWidth(track.width(), row.bytes, total_),
                          track.height()),
                dot);

        double right = r.right() + 1 - kPadX;
        if (hovering)
            Symbols::paint(p, QRectF(right - kChevronW, r.top(), kChevronW, r.height()), "chevron.right", secondary, 9);
        right -= kChevronW + kGap;
        p.setFont(sizeFont);
        p.setPen(row.partial ? warning : secondary);
        p.drawText(QRectF(right - kSizeW, r.top(), kSizeW, r.height()), Qt::AlignRight | Qt::AlignVCenter, row.size);
        right -= kSizeW + kGap;
        p.setFont(shareFont);
        p.setPen(tertiary);
        p.drawText(QRectF(right - kShareW, r.top(), kShareW, r.height()), Qt::AlignRight | Qt::AlignVCenter, row.share);
    }
}

void CategoryRowList::setHovered(int index) {
    if (index == hovered_) return;
    const int old = hovered_;
    hovered_ = index;
    if (old >= 0) update(rowRect(old));
    if (index >= 0) update(rowRect(index));
}

void CategoryRowList::mouseMoveEvent(QMouseEvent* event) { setHovered(rowAt(event->position().toPoint())); }

void CategoryRowList::leaveEvent(QEvent*) { setHovered(-1); }

void CategoryRowList::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton ? rowAt(event->position().toPoint()) : -1;
}

void CategoryRowList::mouseReleaseEvent(QMouseEvent* event) {
    const int index = rowAt(event->position().toPoint());
    const bool click = event->button() == Qt::LeftButton && index >= 0 && index == pressed_;
    pressed_ = -1;
    // Opening may rebuild this list: hand over a copy of the row.
    if (click && onOpen) {
        const BrowseRow row = rows_[static_cast<size_t>(index)].row;
        onOpen(row);
    }
}

QString CategoryRowList::toolTip(size_t index) const {
    if (index >= rows_.size()) return {};
    if (rows_[index].partial) return QString::fromStdString(ScreenText::partialSentence());
    if (rows_[index].blocked) return QStringLiteral("This user may not read this folder, so its size is not counted.");
    if (rows_[index].partlyRead)
        return QStringLiteral("Some folders inside are not readable by this user, so this size is a lower bound.");
    return {};
}

bool CategoryRowList::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const int index = rowAt(help->pos());
    const QString tip = index < 0 ? QString() : toolTip(static_cast<size_t>(index));
    if (tip.isEmpty()) QToolTip::hideText();
    else QToolTip::showText(help->globalPos(), tip, this, rowRect(index));
    return true;
}

void CategoryRowList::focusInEvent(QFocusEvent* event) {
    if (current_ < 0 && !rows_.empty()) current_ = 0;
    QWidget::focusInEvent(event);
}

int CategoryRowList::pageRows() const {
    int height = visibleRegion().boundingRect().height();
    for (QWidget* p = parentWidget(); p; p = p->parentWidget())
        if (auto* scroll = qobject_cast<QScrollArea*>(p)) {
            height = scroll->viewport()->height();
            break;
        }
    return std::max(1, height / (rowHeight + spacing) - 1);
}

void CategoryRowList::keyPressEvent(QKeyEvent* event) {
    const int last = static_cast<int>(rows_.size()) - 1;
    int to = current_;
    switch (event->key()) {
    case Qt::Key_Up: to = std::max(0, current_ - 1); break;
    case Qt::Key_Down: to = std::min(last, current_ + 1); break;
    case Qt::Key_Home: to = 0; break;
    case Qt::Key_End: to = last; break;
    // A page moves the current row with the view, as a list's own Page keys do.
    case Qt::Key_PageUp: to = std::max(0, current_ - pageRows()); break;
    case Qt::Key_PageDown: to = std::min(last, current_ + pageRows()); break;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (current_ >= 0 && current_ <= last && onOpen) {
            const BrowseRow row = rows_[static_cast<size_t>(current_)].row;
            onOpen(row);
        }
        return;
    default: QWidget::keyPressEvent(event); return;
    }
    if (last < 0 || to == current_) return;
    current_ = to;
    AccessibleControls::rowFocused(this, current_);
    const QRect r = rowRect(current_);
    for (QWidget* p = parentWidget(); p; p = p->parentWidget())
        if (auto* scroll = qobject_cast<QScrollArea*>(p); scroll && scroll->widget()) {
            const QPoint centre = mapTo(scroll->widget(), r.center());
            scroll->ensureVisible(centre.x(), centre.y(), 0, r.height() / 2 + spacing);
        }
    FocusRing::reshape(this);
}

QMenu* CategoryRowList::menuFor(int index, QWidget* parent) {
    if (index < 0 || index >= static_cast<int>(rows_.size())) return nullptr;
    const std::string path = rows_[static_cast<size_t>(index)].path;
    auto* menu = new QMenu(parent);
    menu->addAction("Reveal in File Manager", this, [this, path] {
        if (onReveal) onReveal(path);
    });
    menu->addAction("Copy path", this, [this, path] {
        if (onCopy) onCopy(path);
    });
    return menu;
}

void CategoryRowList::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = menuFor(rowAt(event->pos()), this);
    if (!menu) return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

} // namespace sorvel::ui
