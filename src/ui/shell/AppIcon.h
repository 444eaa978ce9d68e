#pragma once
// The application's mark, painted (no icon theme): an accent rounded square with the
// product's initial, for the window, the tray and the sidebar.
#include <QIcon>
#include <QPainter>

namespace sorvel::ui::AppIcon {

void paint(QPainter& painter, const QRectF& rect);
QIcon icon();

} // namespace sorvel::ui::AppIcon
