#include "ui/kit/AccessibleControls.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QLabel>

#include "ui/kit/ClickArea.h"
#include "ui/kit/SegmentedPicker.h"
#include "ui/kit/Text.h"

namespace sorvel::ui::AccessibleControls {

namespace {

class AreaInterface : public QAccessibleWidget {
public:
    explicit AreaInterface(ClickArea* area)
        : QAccessibleWidget(area, area->isCheckable() ? QAccessible::CheckBox : QAccessible::Button) {}

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name || !widget()->accessibleName().isEmpty()) return QAccessibleWidget::text(t);
        QStringList parts;
        for (QWidget* w : widget()->findChildren<QWidget*>()) {
            if (w->isHidden()) continue;
            if (auto* text = qobject_cast<Text*>(w); text && !text->text().isEmpty()) parts << text->text();
            else if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) parts << label->text();
        }
        return parts.join(", ");
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        auto* area = static_cast<QAbstractButton*>(widget());
        s.checkable = area->isCheckable();
        s.checked = area->isChecked();
        s.pressed = area->isDown();
        return s;
    }

    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }

    void doAction(const QString& name) override {
        if (name == pressAction()) static_cast<QAbstractButton*>(widget())->click();
        else QAccessibleWidget::doAction(name);
    }
};

class PickerInterface : public QAccessibleWidget {
public:
    explicit PickerInterface(SegmentedPicker* picker) : QAccessibleWidget(picker, QAccessible::PageTabList) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) {
            auto* picker = static_cast<SegmentedPicker*>(widget());
            return picker->optionTitle(picker->currentIndex());
        }
        return QAccessibleWidget::text(t);
    }
};

constexpr const char* kRole = "sorvelAccessibleRole";

QAccessibleInterface* factory(const QString&, QObject* object) {
    if (auto* area = qobject_cast<ClickArea*>(object)) return new AreaInterface(area);
    if (auto* picker = qobject_cast<SegmentedPicker*>(object)) return new PickerInterface(picker);
    if (auto* w = qobject_cast<QWidget*>(object); w && w->property(kRole).isValid())
        return new QAccessibleWidget(w, QAccessible::Role(w->property(kRole).toInt()));
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

} // namespace sorvel::ui::AccessibleControls
