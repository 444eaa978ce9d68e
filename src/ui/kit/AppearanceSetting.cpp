#include "ui/kit/AppearanceSetting.h"

namespace sorvel::ui {

AppearanceSetting::AppearanceSetting(UserDefaults defaults, QObject* parent)
    : QObject(parent), defaults_(std::move(defaults)) {
    const auto stored = appearanceFromRaw(defaults_.string(key).value_or(""));
    selection_ = stored ? *stored : Theme::systemDefault();
}

void AppearanceSetting::setSelection(Appearance appearance) {
    const bool changed = appearance != selection_;
    selection_ = appearance;
    defaults_.set(key, rawValue(appearance));
    apply();
    if (changed) emit selectionChanged();
}

void AppearanceSetting::toggle() {
    setSelection(selection_ == Appearance::light ? Appearance::dark : Appearance::light);
}

void AppearanceSetting::apply() const { Theme::setAppearance(selection_); }

} // namespace sorvel::ui
