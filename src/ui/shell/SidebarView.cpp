#include "ui/shell/SidebarView.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>

#include "engine/Bytes.h"
#include "models/ScanCoordinator.h"
#include "ui/kit/AccessibleControls.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LabelStyle.h"
#include "ui/kit/Spinner.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/Text.h"
#include "ui/screens/ScreenText.h"
#include "ui/shell/AppIcon.h"

namespace sorvel::ui {

namespace {
constexpr const char* kPartlyLockedTip = "Partly blocked — this user may not read all of it";
constexpr const char* kWhollyLockedTip = "Not readable — this user may not read any of it";
}

SidebarRow::SidebarRow(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
    setFixedHeight(34);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    FocusRing::attach(this, {{}, 8});
    // Read as it looks ("Caches & Temp, 10 MB"), its figure as the value; pressed, it opens its page.
    AccessibleControls::describe(this, {QAccessible::PageTab,
                                        [this] {
                                            const QString figure = figureText();
                                            return figure.isEmpty() ? model_.title : model_.title + ", " + figure;
                                        },
                                        [this] { return figureText(); }, [this] { emit clicked(); }});
}

QString SidebarRow::figureText() const {
    if (!model_.size) return {};
    if (model_.locked) return model_.nothingRead ? QString("not readable") : QString("partly readable");
    if (model_.notMeasured) return QString::fromUtf8(kNotMeasuredText);
    const QString size = QString::fromStdString(Bytes::compact(*model_.size));
    return model_.partial ? size + " (partly read)" : size;
}

void SidebarRow::setModel(const Model& model) {
    if (model == model_) return;
    model_ = model;
    setAccessibleName(model.title);
    setAccessibleDescription(tip());
    AccessibleControls::changed(this);
    update();
}

void SidebarRow::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) emit clicked();
}

void SidebarRow::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter: emit clicked(); return;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End: emit moveAsked(e->key()); return;
    default: QWidget::keyPressEvent(e);
    }
}

void SidebarRow::focusInEvent(QFocusEvent* e) {
    QWidget::focusInEvent(e);
    emit focused();
}

QString SidebarRow::lockTip() const {
    if (!model_.locked) return {};
    return model_.nothingRead ? kWhollyLockedTip : kPartlyLockedTip;
}

QString SidebarRow::tip() const {
    if (model_.locked) return lockTip();
    return model_.partial ? QString::fromStdString(ScreenText::partialSentence()) : QString();
}

bool SidebarRow::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        // Over the whole row: the name is where the pointer rests, not only the lock.
        if (const QString text = tip(); !text.isEmpty()) QToolTip::showText(help->globalPos(), text, this);
        else QToolTip::hideText();
        return true;
    }
    return QWidget::event(e);
}

void SidebarRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect());
    if (model_.selected) {
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::accentWash().opacity(0.75).resolve());
        p.drawRoundedRect(r, 8, 8);
    }
    double x = 12;
    const double cy = r.center().y();
    if (model_.dot) {
        p.setPen(Qt::NoPen);
        p.setBrush(model_.dot->resolve());
        p.drawEllipse(QRectF(x, cy - 3.5, 7, 7));
        x += 7 + 10;
    } else if (!model_.symbol.empty()) {
        Symbols::paint(p, QRectF(x, cy - 7.5, 15, 15), model_.symbol,
                       (model_.selected ? Theme::accentInk() : Theme::tertiaryText()).resolve(), 11);
        x += 15 + 10;
    }
    // Trailing: the size, or the lock.
    double right = r.width() - 12;
    if (model_.size) {
        if (model_.locked) {
            Symbols::paint(p, QRectF(right - 12, cy - 6, 12, 12), "lock.fill", Theme::tertiaryText().resolve(), 9);
            right -= 12 + 8;
        } else {
            // Words where no figure stands, in the row's smaller text face.
            const QFont f = model_.notMeasured ? Fonts::system(11) : Fonts::mono(11);
            const QString s = model_.notMeasured ? QString::fromUtf8(kNotMeasuredText)
                                                 : QString::fromStdString(Bytes::compact(*model_.size));
            const double w = QFontMetricsF(f).horizontalAdvance(s);
            p.setFont(f);
            const Adaptive& ink = model_.partial ? Theme::warning() : model_.selected ? Theme::accentInk() : Theme::tertiaryText();
            p.setPen(ink.resolve());
            p.drawText(QRectF(right - w - 1, 0, w + 2, r.height()), Qt::AlignRight | Qt::AlignVCenter, s);
            right -= w + 8;
            // A figure a stop cut short says so before it: the dashed ring of something unfinished.
            if (model_.partial) {
                Symbols::paint(p, QRectF(right - 11, cy - 5.5, 11, 11), "circle.dashed", ink.resolve(), 9);
                right -= 11 + 6;
            }
        }
    }
    // Title: shrinks to 0.85 before it is cut.
    QFont f = Fonts::system(13, model_.selected ? Fonts::Weight::semibold : Fonts::Weight::regular);
    const double room = std::max(0.0, right - x);
    const double natural = QFontMetricsF(f).horizontalAdvance(model_.title);
    if (natural > room && natural > 0) f.setPointSizeF(f.pointSizeF() * std::max(0.85, room / natural));
    p.setFont(f);
    QColor ink = model_.selected ? Theme::accentInk().resolve()
                                 : Theme::primaryText().opacity(model_.locked ? 0.4 : 0.82).resolve();
    p.setPen(ink);
    p.drawText(QRectF(x, 0, room, r.height()), Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetricsF(f).elidedText(model_.title, Qt::ElideRight, room));
}

int64_t SidebarView::total(const ScanResult& result) {
    int64_t sum = 0;
    for (const auto& c : result.categories)
        for (const auto& root : c.roots) sum += root->size;
    return sum;
}

SidebarView::SidebarView(const AppModels& models, QWidget* parent) : QWidget(parent), models_(models) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Header: mark, name and tagline.
    auto* header = new QWidget(this);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(18, 50, 18, 22);
    headerRow->setSpacing(13);
    auto* mark = new QWidget(header);
    mark->setFixedSize(46, 46);
    mark->setObjectName("appMark");
    headerRow->addWidget(mark);
    auto* names = new QVBoxLayout;
    names->setSpacing(1);
    names->addStretch();
    names->addWidget(new Text("Sorvel", LabelStyle::font(14, Fonts::Weight::bold), Theme::primaryText(), header));
    names->addWidget(new Text("Where the space went", LabelStyle::font(9.5, Fonts::Weight::medium), Theme::tertiaryText(), header));
    names->addStretch();
    headerRow->addLayout(names, 1);
    column->addWidget(header);

    // Navigation: Overview, the progress line, the categories (scrolling).
    auto* nav = new QVBoxLayout;
    nav->setContentsMargins(10, 0, 10, 0);
    nav->setSpacing(1);
    overview_ = new SidebarRow(this);
    connect(overview_, &SidebarRow::clicked, this, [this] { select(std::nullopt); });
    connectRow(overview_);
    nav->addWidget(overview_);
    progress_ = new QWidget(this);
    auto* progressRow = new QHBoxLayout(progress_);
    progressRow->setContentsMargins(12, 8, 12, 8);
    progressRow->setSpacing(8);
    progressRow->addWidget(new Spinner(10, progress_));
    progressRow->addWidget(new Text("measuring…", Fonts::system(12), Theme::tertiaryText(), progress_), 1);
    nav->addWidget(progress_);
    column->addLayout(nav);

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName("sidebarCategories");
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setStyleSheet("QScrollArea#sidebarCategories, QScrollArea#sidebarCategories > QWidget > QWidget { background: transparent; }");
    categoryList_ = new QWidget;
    auto* list = new QVBoxLayout(categoryList_);
    list->setContentsMargins(10, 0, 10, 0);
    list->setSpacing(1);
    list->addStretch();
    scroll_->setWidget(categoryList_);
    column->addWidget(scroll_, 1);

    // Tools.
    tools_ = new QWidget(this);
    auto* tools = new QVBoxLayout(tools_);
    tools->setContentsMargins(10, 18, 10, 0);
    tools->setSpacing(1);
    auto* caption = new Text("Tools", LabelStyle::font(9.5, Fonts::Weight::bold), Theme::tertiaryText(), tools_);
    auto* captionBox = new QHBoxLayout;
    captionBox->setContentsMargins(12, 0, 12, 6);
    captionBox->addWidget(caption);
    tools->addLayout(captionBox);
    for (Tool t : {Tool::apps, Tool::duplicates, Tool::history}) {
        auto* r = new SidebarRow(tools_);
        const std::string id = rawValue(t);
        connect(r, &SidebarRow::clicked, this, [this, id] { select(id); });
        connectRow(r);
        toolRows_.emplace_back(id, r);
        tools->addWidget(r);
    }
    column->addWidget(tools_);
    column->addSpacing(20);

    // Footer.
    footer_ = new QWidget(this);
    auto* footer = new QVBoxLayout(footer_);
    footer->setContentsMargins(20, 0, 20, 20);
    footer->setSpacing(5);
    auto* figures = new QHBoxLayout;
    figures->setSpacing(5);
    footerNumber_ = new Text("", Fonts::mono(21, Fonts::Weight::semibold), Theme::accentInk(), footer_);
    footerUnit_ = new Text("", Fonts::mono(12, Fonts::Weight::medium), Theme::accentInk(), footer_);
    figures->addWidget(footerNumber_, 0, Qt::AlignBottom);
    figures->addWidget(footerUnit_, 0, Qt::AlignBottom);
    figures->addStretch();
    footer->addLayout(figures);
    footerText_ = new Text("safe to reclaim · goes to Trash", Fonts::system(11), Theme::tertiaryText(), footer_);
    footer->addWidget(footerText_);
    column->addWidget(footer_);

    auto& c = models.coordinator;
    for (auto signal : {&ScanCoordinator::resultChanged, &ScanCoordinator::phaseChanged,
                        &ScanCoordinator::selectedCategoryChanged, &ScanCoordinator::drillPathChanged})
        connect(&c, signal, this, &SidebarView::refresh);
    connect(&c, &ScanCoordinator::progressChanged, this, &SidebarView::refreshOverview);
    refresh();
}

void SidebarView::select(std::optional<std::string> pageID) {
    models_.coordinator.move({std::move(pageID), {}}, true);
}

SidebarRow* SidebarView::row(const std::string& pageID) const {
    if (pageID.empty()) return overview_;
    for (const auto& [id, r] : categoryRows_)
        if (id == pageID) return r;
    for (const auto& [id, r] : toolRows_)
        if (id == pageID) return r;
    return nullptr;
}

// While scanning, the figure the header shows at the same moment: the roots finished so far
// hold only part of what has been read.
void SidebarView::refreshOverview() {
    const auto& c = models_.coordinator;
    const bool scanning = c.phase() == ScanCoordinator::Phase::scanning;
    const int64_t size = scanning ? c.scannedBytes() : total(c.result());
    overview_->setModel({"Overview", size, Theme::accent(), {}, false, !c.selectedCategory().has_value(), false,
                         !scanning && c.result().partial(), !scanning && c.result().notMeasured()});
}

void SidebarView::refresh() {
    const auto& c = models_.coordinator;
    const ScanResult& result = c.result();
    const auto& selected = c.selectedCategory();
    refreshOverview();
    progress_->setVisible(c.phase() == ScanCoordinator::Phase::scanning && result.categories.empty());

    // Category rows keyed by id: reuse what exists, so a refresh never rebuilds the list.
    auto* list = static_cast<QVBoxLayout*>(categoryList_->layout());
    std::vector<std::pair<std::string, SidebarRow*>> next;
    for (const auto& cat : result.sortedCategories()) {
        SidebarRow* r = nullptr;
        for (auto it = categoryRows_.begin(); it != categoryRows_.end(); ++it)
            if (it->first == cat.category.id) {
                r = it->second;
                categoryRows_.erase(it);
                break;
            }
        if (!r) {
            r = new SidebarRow(categoryList_);
            const std::string id = cat.category.id;
            connect(r, &SidebarRow::clicked, this, [this, id] { select(id); });
            connectRow(r);
        }
        int64_t size = 0;
        bool denied = false;
        for (const auto& root : cat.roots) {
            size += root->size;
            denied = denied || root->accessDenied;
        }
        r->setModel({QString::fromStdString(cat.category.title), size, Theme::tint(cat.category.tint).dot, {},
                     denied && size == 0, selected == cat.category.id, cat.unreadable() && size == 0, cat.partial(),
                     cat.notMeasured()});
        next.emplace_back(cat.category.id, r);
    }
    for (auto& [id, r] : categoryRows_) r->deleteLater();
    categoryRows_ = std::move(next);
    for (size_t i = 0; i < categoryRows_.size(); ++i) {
        list->removeWidget(categoryRows_[i].second);
        list->insertWidget(int(i), categoryRows_[i].second);
    }

    for (const auto& [id, r] : toolRows_) {
        const Tool t = *toolFromRaw(id);
        const char* symbol = t == Tool::apps ? "square.grid.2x2" : t == Tool::duplicates ? "doc.on.doc" : "clock.arrow.circlepath";
        r->setModel({QString::fromStdString(title(t)), std::nullopt, std::nullopt, symbol, false, selected == id});
    }

    // Tab reaches the rows once: at the focused row, else the selected one.
    const SidebarRow* stop = overview_;
    for (SidebarRow* r : rows())
        if (r->model().selected) stop = r;
    for (SidebarRow* r : rows())
        if (r->hasFocus()) stop = r;
    setTabStop(stop);

    const int64_t reclaimable = result.reclaimable();
    const auto parts = Bytes::parts(reclaimable);
    // A stopped scan worked out no recommendations: no figure, rather than a 0 that reads
    // as nothing to clean.
    const bool stopped = models_.coordinator.phase() == ScanCoordinator::Phase::cancelled;
    footerNumber_->setText(stopped ? QStringLiteral("—") : QString::fromStdString(parts.number));
    footerUnit_->setText(stopped ? QString() : QString::fromStdString(parts.unit));
    footerText_->setText(stopped ? QStringLiteral("scan stopped · not worked out") : QStringLiteral("safe to reclaim · goes to Trash"));
    const double opacity = reclaimable > 0 ? 1.0 : 0.45;
    footerNumber_->setOpacity(opacity);
    footerUnit_->setOpacity(opacity);
    footerText_->setOpacity(opacity);
}

void SidebarView::connectRow(SidebarRow* row) {
    connect(row, &SidebarRow::focused, this, [this, row] { setTabStop(row); });
    connect(row, &SidebarRow::moveAsked, this, [this, row](int key) { moveFocus(row, key); });
}

std::vector<SidebarRow*> SidebarView::rows() const {
    std::vector<SidebarRow*> out{overview_};
    for (const auto& [id, r] : categoryRows_) out.push_back(r);
    for (const auto& [id, r] : toolRows_) out.push_back(r);
    return out;
}

void SidebarView::setTabStop(const SidebarRow* stop) {
    for (SidebarRow* r : rows()) r->setFocusPolicy(r == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

void SidebarView::moveFocus(SidebarRow* from, int key) {
    std::vector<SidebarRow*> shown = rows();
    std::erase_if(shown, [this](const SidebarRow* r) { return !r->isVisibleTo(this); });
    const auto at = std::find(shown.begin(), shown.end(), from);
    if (at == shown.end() || shown.empty()) return;
    const long i = long(at - shown.begin()), last = long(shown.size()) - 1;
    const long to = key == Qt::Key_Home ? 0 : key == Qt::Key_End ? last : std::clamp(i + (key == Qt::Key_Up ? -1 : 1), 0L, last);
    SidebarRow* target = shown[size_t(to)];
    if (target == from) return;
    if (categoryList_->isAncestorOf(target)) scroll_->ensureWidgetVisible(target, 0, 0);
    target->setFocus(key == Qt::Key_Up || key == Qt::Key_Home ? Qt::BacktabFocusReason : Qt::TabFocusReason);
}

void SidebarView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Theme::glassFill().opacity(0.35).resolve());
    // The mark: no application icon on this platform, so the drawn one.
    const QWidget* mark = findChild<QWidget*>("appMark");
    if (!mark) return;
    const QRectF m = QRectF(mark->geometry());
    AppIcon::paint(p, m);
}

} // namespace sorvel::ui
