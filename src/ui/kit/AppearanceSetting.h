#pragma once
// The user's light or dark choice: read once from the defaults ("SorvelAppearance":
// "light" or "dark", exact), else the system's appearance; every write applies the choice
// to the whole application at once and stores it on the settings queue, off the main
// thread. A store that fails is kept as `saveError`, with the system's reason.
#include <QObject>

#include <optional>
#include <string>

#include "platform/UserDefaults.h"
#include "ui/kit/Theme.h"

namespace sorvel::ui {

class AppearanceSetting : public QObject {
    Q_OBJECT
public:
    static constexpr const char* key = "SorvelAppearance";

    explicit AppearanceSetting(UserDefaults defaults, QObject* parent = nullptr);

    Appearance selection() const { return selection_; }
    /// Stores and applies, also when the value is the one already held.
    void setSelection(Appearance appearance);
    void toggle();
    /// Makes the held choice the application's appearance.
    void apply() const;
    /// Why the last store of the choice failed; none once one succeeds.
    const std::optional<std::string>& saveError() const { return saveError_; }
    static std::string notSavedMessage(const SaveStatus& status);

signals:
    void selectionChanged();
    void saveErrorChanged();

private:
    void saved(const SaveStatus& status);

    UserDefaults defaults_;
    Appearance selection_;
    std::optional<std::string> saveError_;
};

} // namespace sorvel::ui
