#pragma once
// Work a tool model hands to the thread pool: the result comes back on the main thread
// and reaches the model only if the model still exists. The worker never touches the
// model; it holds a weak pointer that only the main thread reads.
#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThreadPool>

#include <utility>

namespace sorvel::ToolWork {

template <class Model, class Work, class Done>
void run(Model* model, Work work, Done done) {
    QPointer<Model> weak(model);
    QThreadPool::globalInstance()->start([weak, work = std::move(work), done = std::move(done)]() mutable {
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
