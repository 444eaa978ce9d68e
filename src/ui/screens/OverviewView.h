#pragma once
// The overview page: "What's inside" with the categories as a treemap (or the skeleton
// while nothing is measured), the iCloud status row when an account is signed in, the
// safe-to-clean section and the notes. Built once per visit; refreshes in place (a
// progress tick only updates the live capsule).
#include <QWidget>

#include <functional>

#include "ui/services/AppModels.h"

class QVBoxLayout;

namespace sorvel::ui {

class InfoRow;
class SafeToCleanSection;
class ScanSkeleton;
class Spinner;
class Text;
class TreemapView;

class OverviewView : public QWidget {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> openPreview;                 // the cleanup preview sheet
        std::function<QWidget*(QWidget* parent)> cloudRow; // the iCloud status row, or null
    };

    OverviewView(const AppModels& models, Hooks hooks, QWidget* parent = nullptr);

    TreemapView* treemap() const { return treemap_; }
    QWidget* placeholder() const { return placeholder_; }
    Text* placeholderStatus() const { return status_; }
    Text* capsule() const { return capsuleText_; }
    QWidget* stoppedCapsule() const { return stoppedBox_; }
    Text* stoppedText() const { return stoppedText_; }
    SafeToCleanSection* safeToClean() const { return section_; }
    QWidget* footnotes() const { return footnotes_; }

private:
    void refresh();
    void refreshProgress();
    void rebuildFootnotes();

    AppModels models_;
    Hooks hooks_;
    QWidget* capsuleBox_;
    Text* capsuleText_;
    QWidget* stoppedBox_;
    Text* stoppedText_;
    TreemapView* treemap_;
    QWidget* placeholder_;
    ScanSkeleton* skeleton_ = nullptr;
    bool skeletonScanning_ = false;
    Spinner* spinner_;
    Text* status_;
    Text* wholeDiskNote_;
    QWidget* cloudRow_ = nullptr;
    QVBoxLayout* cloudSlot_;
    SafeToCleanSection* section_;
    QWidget* footnotes_;
    QVBoxLayout* footnoteLayout_;
    bool footnotesBuilt_ = false;
    QString footnoteKey_;
};

} // namespace sorvel::ui
