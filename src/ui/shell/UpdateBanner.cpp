#include "ui/shell/UpdateBanner.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include "ui/kit/Button.h"
#include "ui/kit/Card.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Text.h"
#include "ui/kit/TextButton.h"

namespace sorvel::ui {

QString UpdateBanner::subtitle(const std::string& currentVersion, const Release& release) {
    QStringList pieces{"You have " + QString::fromStdString(currentVersion)};
    if (release.date) pieces << "released " + QString::fromStdString(*release.date);
    QString text = pieces.join(QStringLiteral(" · "));
    if (release.notes && !release.notes->empty()) return text + ". " + QString::fromStdString(*release.notes);
    return text + ". Opens in your browser — Sorvel does not download or install updates itself.";
}

UpdateBanner::UpdateBanner(UpdateChecker& updates, QWidget* parent) : QWidget(parent), updates_(updates) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(18, 18, 18, 18);
    row->setSpacing(12);
    row->addWidget(new SymbolView("arrow.down.circle.fill", Theme::accentInk(), 14, this), 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    title_ = new Text("", Fonts::system(13, Fonts::Weight::semibold), Theme::primaryText(), this);
    subtitle_ = new Text("", Fonts::system(12), Theme::secondaryText(), this);
    subtitle_->setWrapping(true);
    texts->addWidget(title_);
    texts->addWidget(subtitle_);
    row->addLayout(texts, 1);
    row->addSpacing(12);
    skip_ = new TextButton("Skip this one", Fonts::system(11), Theme::tertiaryText(), this);
    later_ = new Button("Later", Button::Style::subtle, this);
    download_ = new Button("Open download page", Button::Style::softAccent, this);
    // The actions keep to the top of the banner, the link centred on the buttons beside it.
    auto* actions = new QHBoxLayout;
    actions->setSpacing(12);
    actions->addWidget(skip_, 0, Qt::AlignVCenter);
    actions->addWidget(later_);
    actions->addWidget(download_);
    row->addLayout(actions);
    row->setAlignment(actions, Qt::AlignTop);

    connect(skip_, &QAbstractButton::clicked, &updates_, &UpdateChecker::skipThisVersion);
    connect(later_, &QAbstractButton::clicked, &updates_, &UpdateChecker::dismiss);
    connect(download_, &QAbstractButton::clicked, &updates_, &UpdateChecker::openDownloadPage);
    connect(&updates_, &UpdateChecker::stateChanged, this, &UpdateBanner::refresh);
    refresh();
}

void UpdateBanner::refresh() {
    const auto& state = updates_.state();
    const bool available = state.kind == UpdateChecker::State::Kind::available && state.release;
    setVisible(available);
    if (!available) return;
    title_->setText("Sorvel " + QString::fromStdString(state.release->version) + " is available");
    subtitle_->setText(subtitle(UpdateChecker::currentVersion(), *state.release));
}

void UpdateBanner::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Card::paint(p, QRectF(rect()), Theme::accentWash().opacity(0.45));
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Theme::accent().opacity(0.25).resolve(), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12.5, 12.5);
}

} // namespace sorvel::ui
