#pragma once
// The user's light or dark choice: read once from the defaults ("SorvelAppearance":
// "light" or "dark", exact), else the system's appearance; every write stores the choice
// and applies it to the whole application.
#include <QObject>

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

signals:
    void selectionChanged();

private:
    UserDefaults defaults_;
    Appearance selection_;
};

} // namespace sorvel::ui
