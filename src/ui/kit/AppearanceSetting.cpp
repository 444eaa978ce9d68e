#include "ui/kit/AppearanceSetting.h"

#include "models/SettingsSaver.h"

namespace sorvel::ui {

AppearanceSetting::AppearanceSetting(UserDefaults defaults, QObject* parent)
    : QObject(parent), defaults_(std::move(defaults)) {
    const auto stored = appearanceFromRaw(defaults_.string(key).value_or(""));
    selection_ = stored ? *stored : Theme::systemDefault();
}

void AppearanceSetting::setSelection(Appearance appearance) {
    const bool changed = appearance != selection_;
    selection_ = appearance;
    Models::saveSetting(this, defaults_, key, rawValue(appearance),
                        [](AppearanceSetting& setting, const SaveStatus& status) { setting.saved(status); });
    apply();
    if (changed) emit selectionChanged();
}

void AppearanceSetting::toggle() {
    setSelection(selection_ == Appearance::light ? Appearance::dark : Appearance::light);
}

void AppearanceSetting::apply() const { Theme::setAppearance(selection_); }

std::string AppearanceSetting::notSavedMessage(const SaveStatus& status) {
    return status.notSaved("Sorvel could not save the appearance", "so it will be lost when Sorvel quits");
}

void AppearanceSetting::saved(const SaveStatus& status) {
    std::optional<std::string> error;
    if (!status) error = notSavedMessage(status);
    if (error == saveError_) return;
    saveError_ = std::move(error);
    emit saveErrorChanged();
}

} // namespace sorvel::ui
