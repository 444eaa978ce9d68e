#pragma once
// What Docker holds, from Docker's own accounting: the reclaimable
// total, a summary, and one collapsible card per group with its prune command and the
// remove command of each unused entry. Commands are shown and copied, never run.
#include <QWidget>

#include <functional>
#include <optional>
#include <set>
#include <string>

#include "analysis/DockerInspector.h"

class QVBoxLayout;

namespace sorvel::ui {

class DesktopServices;
class Text;
class Button;

class DockerSection : public QWidget {
    Q_OBJECT
public:
    DockerSection(DesktopServices& desktop, std::function<void()> reload, QWidget* parent = nullptr);
    void setInputs(const std::optional<DockerUsage>& usage, bool isLoading);
    const std::set<std::string>& expanded() const { return expanded_; }
    void toggle(const std::string& groupID);
    /// What stands under the header ("loading", "", "ready", "unavailable"), for tests.
    QString bodyKind() const { return bodyKind_; }
    QString headerFigure() const;

private:
    void redraw();
    QWidget* loadingPanel();
    QWidget* ready(const DockerUsage& usage);
    QWidget* unavailable(const DockerUsage& usage);
    QWidget* groupRow(const DockerUsage::Group& group, QWidget* parent);
    QWidget* entryRow(const DockerUsage::Entry& entry, QWidget* parent);
    QWidget* commandRow(const std::string& command, const std::string& label, QWidget* parent);

    DesktopServices& desktop_;
    std::function<void()> reload_;
    std::optional<DockerUsage> usage_;
    bool isLoading_ = false;
    std::set<std::string> expanded_{"images"};
    QVBoxLayout* layout_;
    Text* figure_;
    Button* refresh_;
    QWidget* body_ = nullptr;
    QString bodyKind_;
};

} // namespace sorvel::ui
