#include "ui/kit/Fonts.h"

#include <QGuiApplication>
#include <QScreen>

namespace sorvel::ui::Fonts {

namespace {

QFont make(const QStringList& families, double px, Weight weight) {
    QFont f;
    f.setFamilies(families);
    f.setPointSizeF(pointSize(px));
    f.setWeight(qtWeight(weight));
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

} // namespace

double pointSize(double px) {
    double dpi = 96.0;
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        if (QScreen* screen = app->primaryScreen()) dpi = screen->logicalDotsPerInchY();
    if (dpi <= 0) dpi = 96.0;
    return px * 72.0 / dpi;
}

QFont::Weight qtWeight(Weight weight) {
    switch (weight) {
    case Weight::regular: return QFont::Normal;
    case Weight::medium: return QFont::Medium;
    case Weight::semibold: return QFont::DemiBold;
    case Weight::bold: return QFont::Bold;
    }
    return QFont::Normal;
}

// WenQuanYi Micro Hei draws CJK names, so they never fall to whatever face a machine has.
QFont system(double px, Weight weight) { return make({"Inter", "DejaVu Sans", "WenQuanYi Micro Hei"}, px, weight); }
QFont mono(double px, Weight weight) {
    return make({"JetBrains Mono", "DejaVu Sans Mono", "WenQuanYi Micro Hei Mono"}, px, weight);
}

} // namespace sorvel::ui::Fonts
