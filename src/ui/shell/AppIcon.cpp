#include "ui/shell/AppIcon.h"

#include <QPixmap>

#include "ui/kit/Fonts.h"
#include "ui/kit/Theme.h"

namespace sorvel::ui::AppIcon {

void paint(QPainter& p, const QRectF& r) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Theme::accent().resolve());
    const double radius = r.width() * 12.0 / 46.0;
    p.drawRoundedRect(r, radius, radius);
    QFont f = Fonts::system(22, Fonts::Weight::bold);
    f.setPixelSize(std::max(1, int(r.height() * 22.0 / 46.0)));
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(r, Qt::AlignCenter, "S");
    p.restore();
}

QIcon icon() {
    QIcon icon;
    for (int side : {16, 22, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        paint(p, QRectF(0, 0, side, side));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace sorvel::ui::AppIcon
