#include "ui/kit/FocusRing.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QFocusEvent>
#include <QHash>
#include <QKeyEvent>
#include <QLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScrollArea>
#include <QTimer>

#include <algorithm>

#include "ui/kit/AccessibleControls.h"
#include "ui/kit/LazyColumn.h"
#include "ui/kit/RowColumn.h"
#include "ui/kit/Theme.h"

namespace sorvel::ui {

namespace {

constexpr const char* kReturnPassesOn = "sorvelReturnPassesOn";

// A focus given by Tab, a shortcut or the program (after a key press) may show the ring; one
// given by a click, a window's activation or a closing popup does not.
bool fromKeyboard(Qt::FocusReason reason) {
    return reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason ||
           reason == Qt::OtherFocusReason;
}

bool isViewport(const QWidget* w) {
    auto* area = w->parentWidget() ? qobject_cast<const QAbstractScrollArea*>(w->parentWidget()) : nullptr;
    return area && area->viewport() == w;
}

void scrollTo(QWidget* w) {
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (auto* scroll = qobject_cast<QScrollArea*>(p)) scroll->ensureWidgetVisible(w);
}

bool matches(const QWidget* w, const FocusLike& like) {
    auto* button = qobject_cast<const QAbstractButton*>(w);
    return like.className == w->metaObject()->className() && like.objectName == w->objectName() &&
           like.accessibleName == w->accessibleName() && like.text == (button ? button->text() : QString());
}

bool takesTab(const QWidget* w) {
    return (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && w->isEnabled() && !w->isWindow() &&
           !qobject_cast<const QAbstractScrollArea*>(w);
}

// Children in rows: sorted by top, a child whose top lies above the bottom of a row's first
// child joins that row; each row left to right.
QWidgetList inRows(QWidgetList children) {
    std::stable_sort(children.begin(), children.end(),
                     [](QWidget* a, QWidget* b) { return a->geometry().top() < b->geometry().top(); });
    QWidgetList out;
    for (qsizetype i = 0; i < children.size();) {
        const int bottom = children[i]->geometry().bottom();
        qsizetype end = i + 1;
        while (end < children.size() && children[end]->geometry().top() < bottom) ++end;
        QWidgetList row(children.begin() + i, children.begin() + end);
        std::stable_sort(row.begin(), row.end(),
                         [](QWidget* a, QWidget* b) { return a->geometry().left() < b->geometry().left(); });
        out += row;
        i = end;
    }
    return out;
}

void collect(QWidget* w, QWidgetList& out) {
    QWidgetList children;
    for (QObject* o : w->children())
        if (auto* c = qobject_cast<QWidget*>(o); c && !c->isWindow() && !c->isHidden() && !qobject_cast<FocusRing*>(c))
            children.push_back(c);
    for (QWidget* c : inRows(children)) {
        // A long list is one stop, however many of its rows are made.
        if (auto* list = qobject_cast<LazyColumn*>(c)) {
            out += list->tabStops();
            continue;
        }
        if (auto* column = qobject_cast<RowColumn*>(c)) {
            out += column->tabStops();
            continue;
        }
        if (takesTab(c)) out.push_back(c);
        collect(c, out);
    }
}

} // namespace

// Keeps the shapes and rings of attached controls and watches their events.
class FocusKeeper : public QObject {
public:
    static FocusKeeper& get() {
        static QPointer<FocusKeeper> keeper;
        if (!keeper) {
            keeper = new FocusKeeper(qApp);
            qApp->installEventFilter(keeper);
        }
        return *keeper;
    }

    void attach(QWidget* control, FocusRing::Shape shape) {
        if (shapes_.contains(control)) {
            shapes_.insert(control, std::move(shape));
            if (FocusRing* r = rings_.value(control)) r->shape_ = shapes_.value(control), r->update();
            return;
        }
        shapes_.insert(control, std::move(shape));
        connect(control, &QObject::destroyed, this, [this, control] {
            shapes_.remove(control);
            if (QPointer<FocusRing> r = rings_.take(control)) r->deleteLater();
        });
    }

    FocusRing* ring(const QWidget* control) const {
        FocusRing* r = rings_.value(control);
        return r && r->isVisible() ? r : nullptr;
    }

    bool keyboardLast = false; // no ring before the first key press
    // The control settle() last gave the focus to, and the one it stood in for: while the
    // focus stays there, a further rebuild looks for the control that acted first.
    QPointer<QWidget> settled;
    FocusLike settledFor;

    bool eventFilter(QObject* object, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress: keyboardLast = true; break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: keyboardLast = false; break;
        case QEvent::FocusIn:
        case QEvent::FocusOut:
        case QEvent::Hide:
        case QEvent::Move:
        case QEvent::Resize: break;
        default: return false;
        }
        auto* w = qobject_cast<QWidget*>(object);
        if (!w) return false;
        if (event->type() == QEvent::KeyPress && tab(w, static_cast<QKeyEvent*>(event))) return true;
        if (event->type() == QEvent::Hide) handOff(w, event);
        if (event->type() == QEvent::Move || event->type() == QEvent::Resize) followMoves(w);
        if (!shapes_.contains(w)) return false;
        switch (event->type()) {
        case QEvent::FocusIn:
            if (keyboardLast && fromKeyboard(static_cast<QFocusEvent*>(event)->reason())) show(w);
            break;
        case QEvent::FocusOut:
        case QEvent::Hide:
        case QEvent::MouseButtonPress: hide(w); break;
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (w->hasFocus()) show(w);
            auto* button = qobject_cast<QAbstractButton*>(w);
            if (button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !key->isAutoRepeat() &&
                !button->property(kReturnPassesOn).toBool()) {
                if (button->isEnabled()) button->click();
                return true;
            }
            break;
        }
        default: break;
        }
        return false;
    }

private:
    using QObject::QObject;

    void show(QWidget* w) {
        if (!w->parentWidget()) return;
        FocusRing* r = rings_.value(w);
        if (!r) {
            r = new FocusRing(w, shapes_.value(w));
            rings_.insert(w, r);
        }
        r->follow();
        r->raise();
        r->show();
        // Showing the ring lays out its host if a layout is pending, which may move the
        // control before the ring counts as visible: followMoves passes it over then.
        r->follow();
    }

    // A shown ring sits in an ancestor of its control: it moves when any widget between them does.
    void followMoves(QWidget* w) {
        for (const QPointer<FocusRing>& r : std::as_const(rings_))
            if (r && r->isVisible() && (w == r->control_ || w->isAncestorOf(r->control_))) r->follow();
    }

    // Qt passes the focus of a hidden widget down its own chain (often into the sidebar): the
    // container it leaves keeps it instead.
    static void handOff(QWidget* w, QEvent* event) {
        if (event->spontaneous() || w->isWindow() || !w->isHidden() || !w->parentWidget() || !w->window()->isVisible())
            return;
        FocusLike like;
        if (FocusRing::hold(w, &like)) FocusRing::settle(w->parentWidget(), like);
    }

    void hide(QWidget* w) {
        if (FocusRing* r = rings_.value(w)) r->hide();
    }

    // Tab and Backtab in a window with attached controls walk the reading order.
    bool tab(QWidget* target, QKeyEvent* key) {
        const bool plainTab = key->key() == Qt::Key_Tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        const bool back = key->key() == Qt::Key_Backtab || (plainTab && (key->modifiers() & Qt::ShiftModifier));
        if (!plainTab && !back) return false;
        QWidget* window = target->window();
        if (!window || !window->isVisible()) return false;
        const bool ours = std::any_of(shapes_.keyBegin(), shapes_.keyEnd(),
                                      [window](const QWidget* c) { return c->window() == window; });
        if (!ours) return false;
        QWidgetList order = FocusRing::readingOrder(window);
        order.erase(std::remove_if(order.begin(), order.end(), [window](QWidget* w) { return !w->isVisibleTo(window); }),
                    order.end());
        if (order.isEmpty()) return false;
        const qsizetype at = order.indexOf(QApplication::focusWidget());
        const qsizetype n = order.size();
        const qsizetype next = at < 0 ? (back ? n - 1 : 0) : (at + (back ? n - 1 : 1)) % n;
        QWidget* to = order[next];
        scrollTo(to);
        to->setFocus(back ? Qt::BacktabFocusReason : Qt::TabFocusReason);
        return true;
    }

    QHash<const QWidget*, FocusRing::Shape> shapes_;
    QHash<const QWidget*, QPointer<FocusRing>> rings_;
};

FocusRing::FocusRing(QWidget* control, Shape shape)
    : QWidget(control->parentWidget()), control_(control), shape_(std::move(shape)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setObjectName("focusRing");
}

void FocusRing::attach(QWidget* control, Shape shape) {
    // Every control the keyboard reaches is read on the bus by our readers, which must be
    // registered before the bus first asks for it.
    AccessibleControls::install();
    control->setFocusPolicy(Qt::StrongFocus);
    FocusKeeper::get().attach(control, std::move(shape));
}

FocusRing* FocusRing::around(const QWidget* control) { return FocusKeeper::get().ring(control); }

QWidgetList FocusRing::readingOrder(QWidget* root) {
    QWidgetList out;
    collect(root, out);
    return out;
}

bool FocusRing::moveAmongLikes(QWidget* from, int step) {
    QWidgetList likes = readingOrder(from->window());
    likes.erase(std::remove_if(likes.begin(), likes.end(),
                               [from](QWidget* w) {
                                   return w->metaObject() != from->metaObject() || !w->isVisibleTo(from->window());
                               }),
                likes.end());
    const qsizetype to = likes.indexOf(from) + step;
    if (likes.indexOf(from) < 0 || to < 0 || to >= likes.size()) return false;
    scrollTo(likes[to]);
    likes[to]->setFocus(step < 0 ? Qt::BacktabFocusReason : Qt::TabFocusReason);
    return true;
}

bool FocusRing::activateOrMove(QWidget* control, const QKeyEvent* event, const std::function<void()>& activate) {
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter: activate(); return true;
    case Qt::Key_Up:
    case Qt::Key_Down: moveAmongLikes(control, event->key() == Qt::Key_Up ? -1 : 1); return true;
    default: return false;
    }
}

void FocusRing::setReturnPresses(QWidget* button, bool presses) { button->setProperty(kReturnPassesOn, !presses); }

void FocusRing::reshape(const QWidget* control) {
    if (FocusRing* r = around(control)) r->follow();
}

bool FocusRing::hold(QWidget* leaving, FocusLike* like) {
    QWidget* focused = QApplication::focusWidget();
    if (!leaving || !focused || (focused != leaving && !leaving->isAncestorOf(focused))) return false;
    auto& keeper = FocusKeeper::get();
    if (like && focused == keeper.settled) {
        *like = keeper.settledFor;
    } else if (like) {
        auto* button = qobject_cast<QAbstractButton*>(focused);
        *like = {focused->metaObject()->className(), focused->objectName(), focused->accessibleName(),
                 button ? button->text() : QString()};
    }
    for (QWidget* a = leaving->parentWidget(); a && !a->isWindow(); a = a->parentWidget()) {
        if (a->focusPolicy() == Qt::NoFocus || !a->isVisible() || !a->isEnabled()) continue;
        a->setFocus(Qt::OtherFocusReason);
        break;
    }
    focused = QApplication::focusWidget();
    if (focused && (focused == leaving || leaving->isAncestorOf(focused))) focused->clearFocus();
    return true;
}

void FocusRing::settle(QWidget* scope, FocusLike like, bool scroll) { settleIn(scope, std::move(like), 5, scroll); }

void FocusRing::settleIn(QWidget* scope, FocusLike like, int tries, bool scroll) {
    QTimer::singleShot(0, scope, [scope, like = std::move(like), tries, scroll] {
        QWidget* held = QApplication::focusWidget();
        if (!scope->isVisible() || (held && held != scope && !held->isAncestorOf(scope))) return;
        // The rebuilt widgets are shown and laid out by posted events; run them first.
        QCoreApplication::sendPostedEvents();
        QWidget* window = scope->window();
        for (QWidget* w : QWidgetList{window} + window->findChildren<QWidget*>())
            if (w->layout() && w->isVisibleTo(window)) w->layout()->activate();
        QWidgetList order = readingOrder(scope);
        order.erase(std::remove_if(order.begin(), order.end(), [window](QWidget* w) { return !w->isVisibleTo(window); }),
                    order.end());
        // A page that is still being rebuilt shows its controls a turn later.
        if (order.isEmpty() && tries > 1) settleIn(scope, like, tries - 1, scroll);
        if (order.isEmpty()) return;
        auto same = std::find_if(order.begin(), order.end(), [&like](QWidget* w) { return matches(w, like); });
        // A button whose text turned over ("All", "None") is found again by its name.
        if (same == order.end() && !like.objectName.isEmpty())
            same = std::find_if(order.begin(), order.end(), [&like](QWidget* w) {
                return like.className == w->metaObject()->className() && like.objectName == w->objectName();
            });
        QWidget* to = same != order.end() ? *same : order.front();
        if (scroll) scrollTo(to);
        to->setFocus(Qt::OtherFocusReason);
        auto& keeper = FocusKeeper::get();
        keeper.settled = to;
        keeper.settledFor = like;
    });
}

void FocusRing::follow() {
    // Moving to another host shows the ring there, which may lay that host out and move the
    // control: the place is then worked out again (a few times at most, should hosts alternate).
    for (int hops = 0; hops < 3 && !place(); ++hops) {
    }
}

bool FocusRing::place() {
    QWidget* host = control_->parentWidget();
    if (!host) return true;
    const QRectF shape = shape_.rect ? shape_.rect(*control_) : QRectF(control_->rect());
    const double out = gap + width / 2;
    const double reach = width / 2 + 1; // the stroke's half and a pixel of its soft edge
    const QRectF outside = shape.adjusted(-out, -out, out, out);
    // The nearest ancestor, up to a scroll area's viewport, with room for the ring outside.
    const auto inHost = [this](QWidget* h, const QRectF& r) { return r.translated(control_->mapTo(h, QPoint(0, 0))); };
    while (!QRectF(host->rect()).contains(inHost(host, outside).adjusted(-reach, -reach, reach, reach)) &&
           !isViewport(host) && host->parentWidget() && !host->isWindow())
        host = host->parentWidget();
    // What of the host shows: clipped by each ancestor up to the window.
    QRectF clip = host->rect();
    for (QWidget* a = host; !a->isWindow() && a->parentWidget(); a = a->parentWidget())
        clip &= QRectF(host->mapFrom(a->parentWidget(), QPoint(0, 0)), QSizeF(a->parentWidget()->size()));
    // Each side outside where it shows, else inside the shape where that shows.
    const QRectF o = inHost(host, outside), in = inHost(host, shape.adjusted(out, out, -out, -out));
    const auto side = [reach](double outer, double inner, double edge, bool low) {
        const bool outerShows = low ? outer - reach >= edge : outer + reach <= edge;
        const bool innerShows = low ? inner - reach >= edge : inner + reach <= edge;
        return outerShows || !innerShows ? outer : inner;
    };
    QRectF r;
    r.setLeft(side(o.left(), in.left(), clip.left(), true));
    r.setTop(side(o.top(), in.top(), clip.top(), true));
    r.setRight(side(o.right(), in.right(), clip.right(), false));
    r.setBottom(side(o.bottom(), in.bottom(), clip.bottom(), false));
    const bool whollyOutside = r == o;
    const double shapeRadius = shape_.radius < 0 ? shape.height() / 2 : shape_.radius;
    radius_ = whollyOutside ? shapeRadius + out : std::max(shapeRadius - out, 1.0);
    if (parentWidget() != host) {
        const bool shown = isVisible();
        setParent(host);
        if (shown) raise(), QWidget::show();
        return false;
    }
    const QRect geometry = r.adjusted(-reach, -reach, reach, reach).toAlignedRect();
    outline_ = r.translated(-QPointF(geometry.topLeft()));
    setGeometry(geometry);
    update();
    return true;
}

void FocusRing::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double radius = std::min({radius_, outline_.width() / 2, outline_.height() / 2});
    p.setPen(QPen(Theme::accent().resolve(), width));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(outline_, radius, radius);
}

} // namespace sorvel::ui
