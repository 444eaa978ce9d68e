#include "ui/kit/FocusRing.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QFocusEvent>
#include <QHash>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScrollArea>

#include <algorithm>

#include "ui/kit/Theme.h"

namespace sorvel::ui {

namespace {

bool fromKeyboard(Qt::FocusReason reason) {
    return reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason;
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

    bool eventFilter(QObject* object, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::FocusIn:
        case QEvent::FocusOut:
        case QEvent::Hide:
        case QEvent::MouseButtonPress:
        case QEvent::Move:
        case QEvent::Resize: break;
        default: return false;
        }
        auto* w = qobject_cast<QWidget*>(object);
        if (!w) return false;
        if (event->type() == QEvent::KeyPress && tab(w, static_cast<QKeyEvent*>(event))) return true;
        if (!shapes_.contains(w)) return false;
        switch (event->type()) {
        case QEvent::FocusIn:
            if (fromKeyboard(static_cast<QFocusEvent*>(event)->reason())) show(w);
            break;
        case QEvent::FocusOut:
        case QEvent::Hide:
        case QEvent::MouseButtonPress: hide(w); break;
        case QEvent::Move:
        case QEvent::Resize:
            if (FocusRing* r = rings_.value(w)) r->follow();
            break;
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (w->hasFocus()) show(w);
            auto* button = qobject_cast<QAbstractButton*>(w);
            if (button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !key->isAutoRepeat()) {
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
        if (!r || r->parentWidget() != w->parentWidget()) {
            delete r;
            r = new FocusRing(w, shapes_.value(w));
            rings_.insert(w, r);
        }
        r->follow();
        r->raise();
        r->show();
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
        for (QWidget* p = to->parentWidget(); p; p = p->parentWidget())
            if (auto* scroll = qobject_cast<QScrollArea*>(p)) scroll->ensureWidgetVisible(to);
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
    for (QWidget* p = likes[to]->parentWidget(); p; p = p->parentWidget())
        if (auto* scroll = qobject_cast<QScrollArea*>(p)) scroll->ensureWidgetVisible(likes[to]);
    likes[to]->setFocus(step < 0 ? Qt::BacktabFocusReason : Qt::TabFocusReason);
    return true;
}

void FocusRing::reshape(const QWidget* control) {
    if (FocusRing* r = around(control)) r->update();
}

QRectF FocusRing::outline() const {
    const QRectF shape = shape_.rect ? shape_.rect(*control_) : QRectF(control_->rect());
    const double out = gap + width / 2;
    return shape.adjusted(-out, -out, out, out);
}

void FocusRing::follow() {
    // Wide enough for the stroke around the shape, wherever the shape lies in the control.
    const QRect around = outline().adjusted(-width, -width, width, width).toAlignedRect();
    setGeometry(around.translated(control_->pos()));
    update();
}

void FocusRing::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = outline().translated(QPointF(control_->pos() - pos()));
    const double out = gap + width / 2;
    const QRectF shape = r.adjusted(out, out, -out, -out);
    const double radius = (shape_.radius < 0 ? shape.height() / 2 : shape_.radius) + out;
    p.setPen(QPen(Theme::accent().resolve(), width));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r, radius, radius);
}

} // namespace sorvel::ui
