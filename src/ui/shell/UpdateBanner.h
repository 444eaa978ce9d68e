#pragma once
// The strip announcing a newer release: shown only while the update checker's state is
// "available" (and taking no space otherwise), with "Skip this one", "Later" and
// "Open download page".
#include <QAbstractButton>
#include <QWidget>

#include <string>

#include "models/UpdateChecker.h"

namespace sorvel::ui {

class Button;
class Text;

class UpdateBanner : public QWidget {
    Q_OBJECT
public:
    explicit UpdateBanner(UpdateChecker& updates, QWidget* parent = nullptr);

    /// "You have 1.2.0 · released 2026-12-01. Notes…" (see the rules in the source).
    static QString subtitle(const std::string& currentVersion, const Release& release);

    Text* title() const { return title_; }
    Text* subtitleText() const { return subtitle_; }
    Button* later() const { return later_; }
    Button* download() const { return download_; }
    QAbstractButton* skip() const { return skip_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void refresh();

    UpdateChecker& updates_;
    Text* title_;
    Text* subtitle_;
    QAbstractButton* skip_;
    Button* later_;
    Button* download_;
};

} // namespace sorvel::ui
