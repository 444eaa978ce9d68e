#pragma once
// The page shown before any scan in this process: why Full Disk Access matters, three
// steps to grant it, the actions (open the settings and reveal Sorvel, copy its path,
// scan without it) and a footer that says what is going on. Owns its own AccessGrant,
// which stops watching when the page goes away.
#include <QWidget>

#include <memory>

#include "models/AccessGrant.h"
#include "ui/services/AppModels.h"

namespace sorvel::ui {

class Button;
class Text;
class Spinner;
class SymbolView;

class OnboardingView : public QWidget {
    Q_OBJECT
public:
    OnboardingView(const AppModels& models, AccessGrant::Services grantServices, QWidget* parent = nullptr);
    ~OnboardingView() override;

    AccessGrant& grant() const { return *grant_; }
    Button* openSettings() const { return open_; }
    Button* copyPath() const { return copy_; }
    Button* scanWithout() const { return scan_; }
    Text* footerText() const { return footerText_; }

    enum class Footer { relaunching, waiting, bundle, noBundle };
    static Footer footer(bool relaunching, bool watching, bool runsFromBundle);
    static QString footerMessage(Footer footer);

protected:
    void hideEvent(QHideEvent*) override;

private:
    void refreshFooter();

    AppModels models_;
    std::unique_ptr<AccessGrant> grant_;
    Button* open_;
    Button* copy_;
    Button* scan_;
    SymbolView* footerIcon_;
    Spinner* footerSpinner_;
    Text* footerText_;
};

/// The grant's services: the desktop for opening, revealing and copying; the standard
/// probe, bundle facts, detached start and quit.
AccessGrant::Services grantServices(DesktopServices& desktop);

} // namespace sorvel::ui
