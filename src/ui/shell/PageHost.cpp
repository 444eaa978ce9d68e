#include "ui/shell/PageHost.h"

#include <QScrollBar>
#include <QVBoxLayout>

#include "models/ScanCoordinator.h"
#include "ui/kit/FocusRing.h"
#include "ui/shell/AccessBanner.h"
#include "ui/shell/HiddenFolders.h"
#include "ui/shell/OnboardingView.h"
#include "ui/shell/PageFactory.h"
#include "ui/shell/UpdateBanner.h"

namespace sorvel::ui {

PageHost::PageHost(const AppModels& models, QWidget* parent)
    : QScrollArea(parent), models_(models), column_(new QWidget), layout_(new QVBoxLayout(column_)),
      grantable_(grantServices(models.desktop).runsFromBundle()) {
    setObjectName("pageHost");
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The window paints its own background; the scroll view's is hidden.
    viewport()->setAutoFillBackground(false);
    column_->setAutoFillBackground(false);
    setStyleSheet("QScrollArea#pageHost { background: transparent; }"
                  "QScrollArea#pageHost > QWidget#qt_scrollarea_viewport { background: transparent; }");
    column_->setObjectName("pageColumn");
    column_->setStyleSheet("QWidget#pageColumn { background: transparent; }");
    layout_->setContentsMargins(26, 26, 26, 26);
    layout_->setSpacing(26);
    layout_->setAlignment(Qt::AlignTop);
    setWidget(column_);

    addBanner(new UpdateBanner(models_.updates, column_));

    auto& c = models_.coordinator;
    connect(&c, &ScanCoordinator::selectedCategoryChanged, this, &PageHost::refresh);
    connect(&c, &ScanCoordinator::phaseChanged, this, &PageHost::refresh);
    connect(&c, &ScanCoordinator::fullDiskAccessChanged, this, &PageHost::refresh);
    connect(&c, &ScanCoordinator::resultChanged, this, &PageHost::refreshAccessBanner);
    refresh();
}

void PageHost::addBanner(QWidget* banner) {
    layout_->insertWidget(bannerCount_++, banner);
}

void PageHost::refreshAccessBanner() {
    const auto& c = models_.coordinator;
    const bool shows = showsAccessBanner(c.fullDiskAccess(), c.phase(), grantable_, c.result().unreadableFolders);
    if (shows && !accessBanner_) {
        accessBanner_ = new AccessBanner(grantServices(models_.desktop), column_);
        layout_->insertWidget(bannerCount_, accessBanner_);
    } else if (!shows && accessBanner_) {
        layout_->removeWidget(accessBanner_);
        accessBanner_->hide();
        accessBanner_->deleteLater();
        accessBanner_ = nullptr;
    }
    if (auto* banner = qobject_cast<AccessBanner*>(accessBanner_)) banner->setUnreadable(HiddenFolders::of(c.result()));
}

void PageHost::refresh() {
    refreshAccessBanner();
    const auto& c = models_.coordinator;
    const Page next = pageFor(c.selectedCategory(), c.phase());
    if (built_ && next == page_) return;
    page_ = next;
    built_ = true;
    // A focus inside the old page goes to the new page's first control, not down Qt's chain.
    const bool held = FocusRing::hold(pageWidget_);
    if (pageWidget_) {
        layout_->removeWidget(pageWidget_);
        pageWidget_->hide();
        pageWidget_->deleteLater();
    }
    pageWidget_ = PageFactory::make(page_, models_, column_);
    if (pageWidget_) layout_->addWidget(pageWidget_);
    // The new page opens at its top, banners in view, wherever its first control lies.
    if (held && pageWidget_) FocusRing::settle(pageWidget_, {}, /*scroll=*/false);
    ++builds_;
    verticalScrollBar()->setValue(0);
    emit pageChanged();
}

} // namespace sorvel::ui
