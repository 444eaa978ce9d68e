#include "ui/kit/HeightAnimation.h"

#include <QEasingCurve>
#include <QVariantAnimation>

#include "ui/kit/Animations.h"

namespace sorvel::ui::HeightAnimation {

namespace {
const char* const kName = "sorvelHeightAnimation";

QVariantAnimation* current(const QObject* owner) {
    return owner->findChild<QVariantAnimation*>(kName, Qt::FindDirectChildrenOnly);
}
} // namespace

void run(QObject* owner, int from, int to, std::function<void(int)> apply, std::function<void()> done) {
    if (QVariantAnimation* old = current(owner)) {
        old->disconnect();
        old->stop();
        delete old;
    }
    if (!Animations::enabled() || from == to) {
        apply(to);
        if (done) done();
        return;
    }
    auto* animation = new QVariantAnimation(owner);
    animation->setObjectName(kName);
    animation->setDuration(kDurationMs);
    animation->setEasingCurve(QEasingCurve::OutCubic);
    animation->setStartValue(from);
    animation->setEndValue(to);
    QObject::connect(animation, &QVariantAnimation::valueChanged, owner, [apply](const QVariant& v) { apply(v.toInt()); });
    QObject::connect(animation, &QVariantAnimation::finished, owner, [animation, apply, to, done] {
        apply(to);
        animation->deleteLater();
        animation->setObjectName(QString());
        if (done) done();
    });
    apply(from);
    animation->start();
}

bool running(const QObject* owner) {
    const QVariantAnimation* a = current(owner);
    return a && a->state() == QAbstractAnimation::Running;
}

} // namespace sorvel::ui::HeightAnimation
