#include "models/Models.h"

#include <QMetaObject>

namespace sorvel::Models {

void onMainThread(QObject* context, std::function<void()> work) {
    QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

} // namespace sorvel::Models
