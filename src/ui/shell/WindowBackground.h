#pragma once
// The window's backdrop: opaque Theme.window with a diagonal wash from Theme.washTop
// (top-leading) to Theme.washBottom (bottom-trailing). No blur on this platform.
#include <QWidget>

namespace sorvel::ui {

class WindowBackground : public QWidget {
    Q_OBJECT
public:
    explicit WindowBackground(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
};

} // namespace sorvel::ui
