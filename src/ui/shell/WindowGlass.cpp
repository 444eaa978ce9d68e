#include "ui/shell/WindowGlass.h"

#include <QMainWindow>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sorvel::ui::WindowGlass {

namespace {
QString optional(const QColor* colour) {
    return colour ? QStringLiteral("Optional(%1)").arg(colour->name(QColor::HexArgb)) : QStringLiteral("nil");
}
} // namespace

QString debugLine(const char* debugValue, const QWidget* window) {
    if (!debugValue || std::strcmp(debugValue, "1") != 0) return {};
    if (!window) return QStringLiteral("glass: no window at configure time");
    const QString title = window->windowTitle().isEmpty() ? QStringLiteral("<untitled>") : window->windowTitle();
    const QColor background = window->palette().color(QPalette::Window);
    const auto* main = qobject_cast<const QMainWindow*>(window);
    const QWidget* content = main ? main->centralWidget() : nullptr;
    QString contentType = content ? QString::fromLatin1(content->metaObject()->className()) : QStringLiteral("nil");
    contentType = contentType.mid(contentType.lastIndexOf(':') + 1);
    const bool opaque = !window->testAttribute(Qt::WA_TranslucentBackground);
    // Widgets have no layers: the layer values are absent.
    return QStringLiteral("glass: window=") + title + " opaque=" + (opaque ? "true" : "false") + " bg=" +
           optional(&background) + " contentView=" + contentType + " layerOpaque=" + optional(nullptr) + " bgColor=" +
           optional(nullptr);
}

void report(const QWidget* window) {
    const QString line = debugLine(std::getenv("SORVEL_GLASS_DEBUG"), window);
    if (!line.isEmpty()) std::fprintf(stderr, "%s\n", line.toUtf8().constData());
}

} // namespace sorvel::ui::WindowGlass
