#include "ui/tools/AppIcon.h"

#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>

#include "platform/Path.h"
#include "platform/PropertyList.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/Theme.h"

namespace sorvel::ui {

std::string AppIcon::iconFile(const std::string& bundlePath) {
    const auto plist = PropertyList::readFile(appendingPathComponent(bundlePath, "Contents/Info.plist"));
    if (!plist) return {};
    auto name = plist->stringFor("CFBundleIconFile");
    if (!name || name->empty() || name->find('/') != std::string::npos) return {};
    if (name->find('.') == std::string::npos) *name += ".icns";
    return appendingPathComponent(bundlePath, "Contents/Resources/" + *name);
}

QImage AppIcon::load(const std::string& bundlePath) {
    static QHash<QString, QImage> cache;
    const QString key = QString::fromStdString(bundlePath);
    if (auto found = cache.constFind(key); found != cache.constEnd()) return *found;
    QImage image;
    const std::string file = iconFile(bundlePath);
    // Only a regular file, and not a huge one: a bundle is foreign input.
    if (!file.empty() && PropertyList::readRegularFile(file, 16u * 1024 * 1024)) {
        QImageReader reader(QString::fromStdString(file));
        reader.setAutoTransform(true);
        image = reader.read();
    }
    cache.insert(key, image);
    return image;
}

AppIcon::AppIcon(std::string bundlePath, double side, QWidget* parent)
    : QWidget(parent), image_(load(bundlePath)), side_(side) {
    setFixedSize(int(side), int(side));
}

QSize AppIcon::sizeHint() const { return {int(side_), int(side_)}; }

void AppIcon::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF r(0, 0, side_, side_);
    if (!image_.isNull()) {
        p.drawImage(r, image_);
        return;
    }
    QPainterPath tile;
    tile.addRoundedRect(r.adjusted(1, 1, -1, -1), side_ * 0.22, side_ * 0.22);
    p.fillPath(tile, Theme::inset().resolve());
    p.setPen(QPen(Theme::hairline().resolve(), 1));
    p.drawPath(tile);
    Symbols::paint(p, r.adjusted(side_ * 0.22, side_ * 0.22, -side_ * 0.22, -side_ * 0.22), "app",
                   Theme::tertiaryText().resolve());
}

} // namespace sorvel::ui
