#pragma once
// Finding the current widgets of a tool page: pages rebuild at the next event-loop turn
// and delete their old widgets later, so a lookup first brings the page up to date.
#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <string>
#include <vector>

#include "ui/kit/Text.h"

namespace sorvel::test {

/// Runs posted events (queued rebuilds, model hand-backs) and deletes dropped widgets.
inline void turn() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

template <typename T = QWidget>
std::vector<T*> named(QWidget* root, const char* name) {
    std::vector<T*> found;
    turn();
    for (T* w : root->findChildren<T*>(name)) found.push_back(w);
    return found;
}

template <typename T = QWidget>
T* one(QWidget* root, const char* name) {
    auto found = named<T>(root, name);
    return found.size() == 1 ? found.front() : nullptr;
}

/// Every button on the page with this title (case as stored).
inline QAbstractButton* button(QWidget* root, const QString& title) {
    turn();
    for (auto* b : root->findChildren<QAbstractButton*>())
        if (b->text() == title) return b;
    return nullptr;
}

inline std::string textOf(QWidget* root, const char* name) {
    auto* t = one<ui::Text>(root, name);
    return t ? t->text().toStdString() : std::string("<missing ") + name + ">";
}

} // namespace sorvel::test
