#pragma once
// The scrolling detail area: the update banner, the access banner while its rule holds,
// and the page the page rule picks. A new screen is built only when the page's identity
// changes (kind or category id); everything else is the screen's own in-place refresh.
#include <QPointer>
#include <QScrollArea>

#include "ui/services/AppModels.h"
#include "ui/shell/Page.h"

class QVBoxLayout;

namespace sorvel::ui {

class PageHost : public QScrollArea {
    Q_OBJECT
public:
    explicit PageHost(const AppModels& models, QWidget* parent = nullptr);

    const Page& page() const { return page_; }
    QWidget* pageWidget() const { return pageWidget_; }
    /// Number of screens built so far (tests: no rebuild on a progress tick).
    int builds() const { return builds_; }
    /// Places a banner above the page (the update banner, the access banner).
    void addBanner(QWidget* banner);
    QWidget* accessBanner() const { return accessBanner_; }

signals:
    void pageChanged();

private:
    void refresh();
    void refreshAccessBanner();

    AppModels models_;
    QWidget* column_;
    QVBoxLayout* layout_;
    int bannerCount_ = 0;
    Page page_;
    bool built_ = false;
    QPointer<QWidget> pageWidget_;
    QWidget* accessBanner_ = nullptr;
    const bool grantable_; // running from a bundle: there is an access to grant
    int builds_ = 0;
};

} // namespace sorvel::ui
