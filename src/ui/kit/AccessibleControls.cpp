#include "ui/kit/AccessibleControls.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QHash>
#include <QLabel>
#include <QPointer>

#include <map>
#include <memory>

#include "ui/kit/Chip.h"
#include "ui/kit/ClickArea.h"
#include "ui/kit/Text.h"

namespace sorvel::ui::AccessibleControls {

namespace {

constexpr const char* kRole = "sorvelAccessibleRole";

// What describe() and describeRows() said, per widget, until the widget goes.
struct Described {
    Reading reading;
    std::shared_ptr<const Rows> rows;
    States states;
};
QHash<const QObject*, Described>& described() {
    static QHash<const QObject*, Described> table;
    return table;
}

// A press over the bus returns at once and its action follows on the event loop, as Qt's
// own buttons do: an action that opens a dialog (Export's file dialog) must not keep the
// screen reader's call waiting. The widget may be gone, or disabled, by then.
void later(QWidget* widget, std::function<void()> act) {
    QMetaObject::invokeMethod(
        widget,
        [guard = QPointer<QWidget>(widget), act = std::move(act)] {
            if (guard && guard->isEnabled()) act();
        },
        Qt::QueuedConnection);
}

void remember(QWidget* widget, Described d) {
    install();
    auto& table = described();
    if (!table.contains(widget))
        QObject::connect(widget, &QObject::destroyed, [widget] { described().remove(widget); });
    table.insert(widget, std::move(d));
}

// A painted button of ours (a kit button, a tick box, a switch, a clickable area). Its name is
// its title as drawn: a "&" is a character here, never a mnemonic, so "Caches & Temp" keeps it.
// Pressed or toggled over the bus it is clicked, as the mouse does, so handlers of `clicked`
// act (a bare toggle would change the box and leave what it ticks unchanged).
class ButtonInterface : public QAccessibleWidget {
public:
    explicit ButtonInterface(QAbstractButton* button)
        : QAccessibleWidget(button, button->isCheckable() ? QAccessible::CheckBox : QAccessible::Button) {}

    QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name) return QAccessibleWidget::text(t);
        if (!widget()->accessibleName().isEmpty()) return widget()->accessibleName();
        if (!button()->text().isEmpty()) return button()->text();
        if (qobject_cast<ClickArea*>(widget())) return heldTexts();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = button()->isCheckable();
        s.checked = button()->isChecked();
        s.pressed = button()->isDown();
        return s;
    }

    QStringList actionNames() const override {
        QStringList names = QAccessibleWidget::actionNames();
        if (!widget()->isEnabled()) return names;
        if (button()->isCheckable()) names.prepend(toggleAction());
        names.prepend(pressAction());
        return names;
    }

    void doAction(const QString& name) override {
        if (name == pressAction() || name == toggleAction()) {
            if (widget()->isEnabled()) later(widget(), [b = button()] { b->click(); });
        } else {
            QAccessibleWidget::doAction(name);
        }
    }

private:
    // A clickable area is named after the texts it holds, in reading order.
    QString heldTexts() const {
        QStringList parts;
        for (QWidget* w : widget()->findChildren<QWidget*>()) {
            if (w->isHidden()) continue;
            if (auto* text = qobject_cast<Text*>(w); text && !text->text().isEmpty()) parts << text->text();
            else if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) parts << label->text();
        }
        return parts.join(", ");
    }
};

// Qt's own buttons keep Qt's reading (their "&" is a mnemonic there).
bool isOurButton(const QObject* object) {
    return object->inherits("QAbstractButton") && !object->inherits("QPushButton") && !object->inherits("QCheckBox") &&
           !object->inherits("QRadioButton") && !object->inherits("QToolButton");
}

// A painted text of another shape (a chip) reads as the label it draws.
class ChipInterface : public QAccessibleWidget {
public:
    explicit ChipInterface(Chip* chip) : QAccessibleWidget(chip, QAccessible::StaticText) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) return static_cast<Chip*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
};

class TextInterface : public QAccessibleWidget {
public:
    explicit TextInterface(Text* text) : QAccessibleWidget(text, QAccessible::StaticText) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) return static_cast<Text*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
};

// A widget read as describe() says.
class DescribedInterface : public QAccessibleWidget {
public:
    DescribedInterface(QWidget* w, Reading reading, States states = {})
        : QAccessibleWidget(w, reading.role), reading_(std::move(reading)), states_(std::move(states)) {}
    const Reading& reading() const { return reading_; }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && reading_.name) return reading_.name();
        if (t == QAccessible::Value && reading_.value) return reading_.value();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        if (const std::optional<bool> ticked = tick()) {
            s.checkable = true;
            s.checked = *ticked;
        }
        return s;
    }
    QStringList actionNames() const override {
        QStringList names = QAccessibleWidget::actionNames();
        if (!presses()) return names;
        if (tick()) names.prepend(toggleAction());
        names.prepend(pressAction());
        return names;
    }
    void doAction(const QString& name) override {
        if ((name == pressAction() || (name == toggleAction() && tick())) && presses()) {
            later(widget(), [press = reading_.press, pressable = states_.pressable] {
                if (!pressable || pressable()) press();
            });
        } else {
            QAccessibleWidget::doAction(name);
        }
    }

private:
    std::optional<bool> tick() const { return states_.checked ? states_.checked() : std::nullopt; }
    bool presses() const {
        return reading_.press && widget()->isEnabled() && (!states_.pressable || states_.pressable());
    }
    Reading reading_;
    States states_;
};

// One row of a painted list: made when the bus first asks for it, kept by Qt's registry
// under an id until its list goes.
class RowInterface : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    RowInterface(QWidget* list, std::shared_ptr<const Rows> rows, int index)
        : list_(list), rows_(std::move(rows)), index_(index) {}

    bool isValid() const override { return list_ && index_ < rows_->count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return list_ ? list_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return list_ ? QAccessible::queryAccessibleInterface(list_) : nullptr; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        if (!isValid()) return {};
        if (t == QAccessible::Name) return rows_->name(index_);
        if (t == QAccessible::Value && rows_->value) return rows_->value(index_);
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid()) return {};
        const QRect r = rows_->rect(index_);
        return QRect(list_->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return rows_->role; }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        const bool current = rows_->current && rows_->current() == index_;
        s.focusable = list_->focusPolicy() != Qt::NoFocus;
        s.focused = current && list_->hasFocus();
        s.selectable = rows_->role == QAccessible::PageTab;
        s.selected = current && s.selectable;
        s.invisible = !list_->isVisible();
        s.disabled = !list_->isEnabled();
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }
    QStringList actionNames() const override {
        return rows_->press && isValid() && list_->isEnabled() ? QStringList{pressAction()} : QStringList{};
    }
    void doAction(const QString& name) override {
        if (name == pressAction() && rows_->press && isValid() && list_->isEnabled()) {
            later(list_, [rows = rows_, index = index_] {
                if (index < rows->count()) rows->press(index);
            });
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QWidget> list_;
    std::shared_ptr<const Rows> rows_;
    int index_;
};

class ListInterface : public DescribedInterface {
public:
    ListInterface(QWidget* w, Reading reading, std::shared_ptr<const Rows> rows)
        : DescribedInterface(w, std::move(reading)), rows_(std::move(rows)) {}
    ~ListInterface() override {
        for (const auto& [index, id] : ids_) QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return rows_->count(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= rows_->count()) return nullptr;
        auto it = ids_.find(index);
        if (it == ids_.end()) {
            auto* row = new RowInterface(widget(), rows_, index);
            it = ids_.emplace(index, QAccessible::registerAccessibleInterface(row)).first;
        }
        return QAccessible::accessibleInterface(it->second);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (const auto& [index, id] : ids_)
            if (QAccessible::accessibleInterface(id) == child) return index < rows_->count() ? index : -1;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const QPoint local = widget()->mapFromGlobal(QPoint(x, y));
        for (int i = 0, n = rows_->count(); i < n; ++i)
            if (rows_->rect(i).contains(local)) return child(i);
        return nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        const int current = rows_->current ? rows_->current() : -1;
        return widget()->hasFocus() && current >= 0 ? child(current) : DescribedInterface::focusChild();
    }

private:
    std::shared_ptr<const Rows> rows_;
    mutable std::map<int, QAccessible::Id> ids_;
};

QAccessibleInterface* factory(const QString&, QObject* object) {
    auto* w = qobject_cast<QWidget*>(object);
    if (!w) return nullptr;
    // What a widget is described as wins over what its class reads as.
    if (const auto it = described().constFind(w); it != described().cend()) {
        if (it->rows) return new ListInterface(w, it->reading, it->rows);
        return new DescribedInterface(w, it->reading, it->states);
    }
    if (isOurButton(w)) return new ButtonInterface(static_cast<QAbstractButton*>(w));
    if (auto* text = qobject_cast<Text*>(w)) return new TextInterface(text);
    if (auto* chip = qobject_cast<Chip*>(w)) return new ChipInterface(chip);
    if (w->property(kRole).isValid()) return new QAccessibleWidget(w, QAccessible::Role(w->property(kRole).toInt()));
    return nullptr;
}

} // namespace

void install() {
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)installed;
}


void setRole(QWidget* widget, QAccessible::Role role) {
    install();
    widget->setProperty(kRole, int(role));
}

void describe(QWidget* widget, Reading reading, States states) {
    remember(widget, {std::move(reading), nullptr, std::move(states)});
}

void describeRows(QWidget* list, Reading reading, Rows rows) {
    remember(list, {std::move(reading), std::make_shared<const Rows>(std::move(rows)), {}});
}

void rowFocused(QWidget* list, int row) {
    if (!QAccessible::isActive() || row < 0) return;
    QAccessibleEvent event(list, QAccessible::Focus);
    event.setChild(row);
    QAccessible::updateAccessibility(&event);
}

void changed(QWidget* widget) {
    if (!QAccessible::isActive()) return;
    QAccessibleEvent event(widget, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
    // A screen reader keeps what it read; a tick that turned over is said, else it reads stale.
    const auto it = described().constFind(widget);
    if (it != described().cend() && it->states.checked && it->states.checked().has_value()) {
        QAccessible::State ticked;
        ticked.checked = true;
        QAccessibleStateChangeEvent tick(widget, ticked);
        QAccessible::updateAccessibility(&tick);
    }
}

} // namespace sorvel::ui::AccessibleControls
