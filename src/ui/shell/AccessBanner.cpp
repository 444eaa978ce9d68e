#include "ui/shell/AccessBanner.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include "ui/kit/Button.h"
#include "ui/kit/Card.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Text.h"
#include "ui/shell/HiddenFolders.h"

namespace sorvel::ui {

AccessBanner::AccessBanner(AccessGrant::Services services, QWidget* parent)
    : QWidget(parent), grant_(std::make_unique<AccessGrant>(std::move(services))) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(18, 18, 18, 18);
    row->setSpacing(12);
    auto* lock = new SymbolView("lock.fill", Theme::warning(), 13, this);
    row->addWidget(lock, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addWidget(new Text("Some folders are hidden from Sorvel", Fonts::system(13, Fonts::Weight::semibold),
                              Theme::primaryText(), this));
    // Outside a bundle there is no grant: the banner says what is true and offers no fix.
    const bool bundle = grant_->runsFromBundle();
    auto* body = body_ = new Text(bundle ? "macOS blocks unprivileged apps from parts of ~/Library. Totals below are a lower bound until you "
                                   "grant Full Disk Access — this opens the list with Sorvel ready to drag in, then restarts the app "
                                   "once it lands."
                                 : QString::fromStdString(HiddenFolders::ungrantableText({})),
                          Fonts::system(12), Theme::secondaryText(), this);
    body->setObjectName("hiddenFoldersText");
    body->setWrapping(true);
    texts->addWidget(body);
    adHoc_ = grant_->runsFromBundle() && grant_->isAdHocSigned();
    if (adHoc_) {
        auto* adHoc = new Text("This build is ad-hoc signed, so a grant only applies to this exact binary. If Sorvel is "
                               "already in the list, rebuilding invalidated it — select the old entry, remove it with −, "
                               "then add this one again. Running scripts/create-signing-cert.sh once stops this recurring.",
                               Fonts::system(11.5), Theme::secondaryText(), this);
        adHoc->setWrapping(true);
        texts->addSpacing(3);
        texts->addWidget(adHoc);
    }
    row->addLayout(texts, 1);
    fix_ = new Button("Fix this", Button::Style::subtle, this);
    row->addWidget(fix_, 0, Qt::AlignTop);
    if (!bundle) fix_->hide();
    connect(fix_, &QAbstractButton::clicked, grant_.get(), &AccessGrant::openSettingsAndRevealApp);
    connect(grant_.get(), &AccessGrant::isWatchingChanged, this, &AccessBanner::refresh);
    refresh();
}

AccessBanner::~AccessBanner() { grant_->stopWatching(); }

void AccessBanner::setUnreadable(const std::vector<std::string>& folders) {
    // With a grant to give, the banner speaks of what the grant opens; without, of what was not read.
    if (grant_->runsFromBundle()) return;
    const QString text = QString::fromStdString(HiddenFolders::ungrantableText(folders));
    if (body_->text() != text) body_->setText(text);
}

void AccessBanner::refresh() {
    const bool watching = grant_->isWatching();
    fix_->setText(watching ? "Waiting…" : "Fix this");
    fix_->setEnabled(!watching);
}

void AccessBanner::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Card::paint(p, QRectF(rect()), Theme::warningWash());
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Theme::warning().opacity(0.28).resolve(), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 11.5, 11.5);
}

} // namespace sorvel::ui
