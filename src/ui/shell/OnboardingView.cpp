#include "ui/shell/OnboardingView.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include "models/ScanCoordinator.h"
#include "platform/LinuxPlaces.h"
#include "platform/Path.h"
#include "platform/Text.h"
#include "ui/kit/Button.h"
#include "ui/kit/Card.h"
#include "ui/kit/FilledBox.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Spinner.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Text.h"
#include "ui/services/DesktopServices.h"

namespace sorvel::ui {

namespace {


class StepNumber : public QWidget {
public:
    StepNumber(int n, QWidget* parent) : QWidget(parent), n_(n) { setFixedSize(17, 17); }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::accent().resolve());
        p.drawEllipse(QRectF(rect()));
        p.setFont(Fonts::mono(10, Fonts::Weight::bold));
        p.setPen(Qt::white);
        p.drawText(QRectF(rect()), Qt::AlignCenter, QString::number(n_));
    }

private:
    int n_;
};

Text* wrapped(const QString& text, double px, const Adaptive& colour, QWidget* parent) {
    auto* t = new Text(text, Fonts::system(px), colour, parent);
    t->setWrapping(true);
    return t;
}

// Where System Data lies here: the places its categories measure, as this environment
// names them, and ~/Library only where a home holds one.
std::string systemDataPlaces() {
    std::string home;
    for (const auto& place : {LinuxPlaces::cacheHome(), LinuxPlaces::dataHome(), LinuxPlaces::configHome(),
                              LinuxPlaces::stateHome(), LinuxPlaces::flatpakApps(), LinuxPlaces::snapApps()})
        home += (home.empty() ? "" : ", ") + validUTF8(tildeAbbreviated(place));
    return "System Data lives in " + home + ", in " + validUTF8(tildeAbbreviated(LinuxPlaces::systemCache())) +
           " and " + validUTF8(tildeAbbreviated(LinuxPlaces::systemLogs())) + ", and in ~/Library where your home has one.";
}

} // namespace

AccessGrant::Services grantServices(DesktopServices& desktop) {
    auto s = AccessGrant::Services::standard();
    s.openURL = [&desktop](const std::string& url) { desktop.openURL(QString::fromStdString(url)); };
    s.reveal = [&desktop](const std::string& path) { desktop.reveal(path); };
    s.copy = [&desktop](const std::string& text) { desktop.copy(QString::fromStdString(text)); };
    return s;
}

OnboardingView::Footer OnboardingView::footer(bool relaunching, bool watching, bool runsFromBundle) {
    if (relaunching) return Footer::relaunching;
    if (watching) return Footer::waiting;
    return runsFromBundle ? Footer::bundle : Footer::noBundle;
}

QString OnboardingView::footerMessage(Footer f) {
    switch (f) {
    case Footer::relaunching: return "Access granted — restarting Sorvel…";
    case Footer::waiting:
        return "Waiting for Full Disk Access. Drag Sorvel into the list and this window will restart on its own.";
    case Footer::bundle:
        return "Scanning without access still works — the totals just come back as a lower bound, and you will have to "
               "dismiss a few macOS prompts along the way.";
    case Footer::noBundle:
        return "Running outside an app bundle, so there is no Full Disk Access to grant: Sorvel scans what your "
               "account can read.";
    }
    return {};
}

OnboardingView::OnboardingView(const AppModels& models, AccessGrant::Services grantServices, QWidget* parent)
    : QWidget(parent), models_(models), grant_(std::make_unique<AccessGrant>(std::move(grantServices))) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 30, 0, 30);
    auto* card = new Card(26, std::nullopt, this);
    card->setMaximumWidth(580 + 52);
    // Centred in the page: the card grows to its 632 and the rest is shared either side.
    auto* cardRow = new QHBoxLayout;
    cardRow->addStretch(1);
    cardRow->addWidget(card, 1000);
    cardRow->addStretch(1);
    outer->addStretch();
    outer->addLayout(cardRow);
    auto* content = card->content();
    content->setSpacing(20);

    auto* intro = new QVBoxLayout;
    intro->setSpacing(9);
    auto* drive = new SymbolView("externaldrive.badge.questionmark", Theme::accent(), 25, card, QSize(34, 34));
    intro->addWidget(drive);
    // Outside a bundle (always, on this system) there is no grant to ask for: the page says
    // so in the same places, and offers no button that would open nothing.
    const bool bundle = grant_->runsFromBundle();
    intro->addWidget(new Text(bundle ? "Give Sorvel Full Disk Access" : "Nothing to grant on this system",
                              Fonts::system(20, Fonts::Weight::semibold), Theme::primaryText(), card));
    intro->addWidget(wrapped(bundle ? QString("System Data lives inside ~/Library, and macOS keeps most of it behind a permission wall. "
                                      "Without Full Disk Access, Sorvel reports Mail, Messages and the Trash as empty, and macOS "
                                      "interrupts the scan with a prompt for each app's data it reaches.")
                                    : QString::fromStdString(
                                          systemDataPlaces() +
                                          " There is no Full Disk Access permission here: Sorvel reads whatever your "
                                          "account can read, and a folder it cannot read is marked as not readable, never "
                                          "shown as empty."),
                             13, Theme::secondaryText(), card));
    content->addLayout(intro);

    auto* steps = new FilledBox(Theme::inset(), 10, card);
    auto* stepColumn = new QVBoxLayout(steps);
    stepColumn->setContentsMargins(16, 16, 16, 16);
    stepColumn->setSpacing(11);
    const char* bundleSteps[] = {
        "Press the button below — it opens the Full Disk Access list and a Finder window with Sorvel already selected.",
        "Drag Sorvel from that Finder window into the list. macOS has no way for an app to add itself, so this drag is "
        "the one step nobody can automate.",
        "That's it. Sorvel watches for the permission and restarts itself the moment it appears.",
    };
    const char* plainSteps[] = {
        "There is no Full Disk Access list to open: Sorvel is not running from an app bundle, so there is nothing to "
        "grant.",
        "Folders your account cannot read stay out of the totals, which are then a lower bound; Sorvel marks them as "
        "blocked.",
        "Press “Scan now” — or start Sorvel with --scan — to scan what your account can read.",
    };
    const char* const* texts = bundle ? bundleSteps : plainSteps;
    for (int i = 0; i < 3; ++i) {
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        row->addWidget(new StepNumber(i + 1, steps), 0, Qt::AlignTop);
        row->addWidget(wrapped(texts[i], 12, Theme::secondaryText(), steps), 1);
        stepColumn->addLayout(row);
    }
    if (grant_->runsFromBundle() && grant_->isAdHocSigned()) {
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        row->addWidget(new SymbolView("exclamationmark.triangle.fill", Theme::warning(), 11, steps, QSize(17, 17)), 0, Qt::AlignTop);
        row->addWidget(wrapped("This build is ad-hoc signed, so a grant only applies to this exact binary. If Sorvel is "
                               "already in the list, rebuilding invalidated it — select the old entry, remove it with −, "
                               "then add this one again. Running scripts/create-signing-cert.sh once stops this recurring.",
                               11.5, Theme::secondaryText(), steps), 1);
        stepColumn->addLayout(row);
    }
    content->addWidget(steps);

    auto* actions = new QHBoxLayout;
    actions->setSpacing(10);
    open_ = new Button("Open Settings & reveal Sorvel", Button::Style::accent, card);
    copy_ = new Button("Copy app path", Button::Style::subtle, card);
    // "without it" would name the grant, and outside a bundle there is none.
    scan_ = new Button(bundle ? "Scan without it" : "Scan now", Button::Style::subtle, card);
    actions->addWidget(open_);
    actions->addWidget(copy_);
    if (!bundle) {
        open_->hide();
        copy_->hide();
    }
    actions->addStretch();
    actions->addWidget(scan_);
    content->addLayout(actions);

    auto* footer = new QHBoxLayout;
    footer->setSpacing(7);
    footerIcon_ = new SymbolView("info.circle", Theme::tertiaryText(), 11, card, QSize(15, 15));
    footerSpinner_ = new Spinner(11, card);
    footerText_ = wrapped("", 11.5, Theme::tertiaryText(), card);
    footer->addWidget(footerIcon_, 0, Qt::AlignTop);
    footer->addWidget(footerSpinner_, 0, Qt::AlignTop);
    footer->addWidget(footerText_, 1);
    content->addLayout(footer);
    outer->addStretch();

    connect(open_, &QAbstractButton::clicked, grant_.get(), &AccessGrant::openSettingsAndRevealApp);
    connect(copy_, &QAbstractButton::clicked, grant_.get(), &AccessGrant::copyPath);
    connect(scan_, &QAbstractButton::clicked, this, [this] {
        grant_->stopWatching();
        models_.coordinator.start();
    });
    connect(grant_.get(), &AccessGrant::isWatchingChanged, this, &OnboardingView::refreshFooter);
    connect(grant_.get(), &AccessGrant::isRelaunchingChanged, this, &OnboardingView::refreshFooter);
    refreshFooter();
}

OnboardingView::~OnboardingView() { grant_->stopWatching(); }

void OnboardingView::hideEvent(QHideEvent*) { grant_->stopWatching(); }

void OnboardingView::refreshFooter() {
    const Footer f = footer(grant_->isRelaunching(), grant_->isWatching(), grant_->runsFromBundle());
    footerText_->setText(footerMessage(f));
    footerText_->setFont(Fonts::system(11.5));
    footerText_->setColour(f == Footer::relaunching ? Theme::accentInk()
                           : f == Footer::waiting   ? Theme::secondaryText()
                                                    : Theme::tertiaryText());
    footerSpinner_->setVisible(f == Footer::waiting);
    footerIcon_->setVisible(f != Footer::waiting);
    auto* icon = footerIcon_;
    switch (f) {
    case Footer::relaunching: icon->setSymbol("arrow.clockwise", Theme::accentInk()); break;
    case Footer::bundle: icon->setSymbol("info.circle", Theme::tertiaryText()); break;
    case Footer::noBundle: icon->setSymbol("terminal", Theme::tertiaryText()); break;
    case Footer::waiting: break;
    }
}

} // namespace sorvel::ui
