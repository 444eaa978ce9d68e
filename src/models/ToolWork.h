#pragma once
// Work a tool model hands off: it runs on a thread of its own (a Finder hand-off may sit
// in a password prompt for long, and must hold up nothing else), and the result comes
// back on the main thread, reaching the model only if the model still exists. The
// worker never touches the model; its weak pointer is read on the main thread only.
#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <utility>

#include "models/BackgroundWork.h"

namespace sorvel::ToolWork {

template <class Model, class Work, class Done>
void run(Model* model, Work work, Done done) {
    QPointer<Model> weak(model);
    Models::runInBackground(Models::WorkPriority::userInitiated, [weak, work = std::move(work),
                                                                  done = std::move(done)]() mutable {
        auto result = work();
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return; // the process is ending
        QMetaObject::invokeMethod(
            app,
            [weak, done = std::move(done), result = std::move(result)]() mutable {
                if (Model* alive = weak.data()) done(*alive, std::move(result));
            },
            Qt::QueuedConnection);
    });
}

} // namespace sorvel::ToolWork
