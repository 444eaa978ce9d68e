#pragma once
// "Some folders are hidden from Sorvel": stands above the page while Full Disk Access is
// missing and a scan has started. Its AccessGrant lives as long as the banner is shown.
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "models/AccessGrant.h"

namespace sorvel::ui {

class Button;
class Text;

class AccessBanner : public QWidget {
    Q_OBJECT
public:
    explicit AccessBanner(AccessGrant::Services services, QWidget* parent = nullptr);
    ~AccessBanner() override;

    AccessGrant& grant() const { return *grant_; }
    Button* fix() const { return fix_; }
    bool showsAdHocText() const { return adHoc_; }
    /// Names the folders the scan could not read, where there is no grant to offer.
    void setUnreadable(const std::vector<std::string>& folders);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void refresh();
    std::unique_ptr<AccessGrant> grant_;
    Button* fix_;
    Text* body_ = nullptr;
    bool adHoc_ = false;
};

} // namespace sorvel::ui
