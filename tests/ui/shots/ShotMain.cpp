// Renders every registered screenshot state to PNG files, offscreen, from fake homes:
//   sorvel_screenshots [OUTDIR] [--only TEXT] [--verify]
// --verify reads each file back and fails when one is missing or blank (one colour).
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLocale>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "shots/ShotRegistry.h"
#include "ui/kit/Animations.h"
#include "ui/kit/Theme.h"

namespace sorvel::shots {

namespace {
std::vector<Shot>& registry() {
    static std::vector<Shot> shots;
    return shots;
}
} // namespace

bool add(Shot shot) {
    registry().push_back(std::move(shot));
    return true;
}

const std::vector<Shot>& all() { return registry(); }

} // namespace sorvel::shots

namespace {

// Blank: every sampled pixel has the same colour.
bool isBlank(const QImage& image) {
    if (image.isNull() || image.width() < 2 || image.height() < 2) return true;
    std::set<QRgb> colours;
    const int step = std::max(1, std::min(image.width(), image.height()) / 200);
    for (int y = 0; y < image.height(); y += step)
        for (int x = 0; x < image.width(); x += step) {
            colours.insert(image.pixel(x, y));
            if (colours.size() > 8) return false;
        }
    return true;
}

} // namespace

// The widget painted at `scale` device pixels per point.
static QImage scaled(QWidget& widget, double scale) {
    QImage image(widget.size() * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    widget.render(&image);
    return image;
}

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QString out = "screenshots";
    std::string only;
    bool verify = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) only = argv[++i];
        else if (std::strcmp(argv[i], "--verify") == 0) verify = true;
        else out = QString::fromLocal8Bit(argv[i]);
    }
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    sorvel::ui::Animations::setEnabled(false);
    QDir().mkpath(out);

    auto shots = sorvel::shots::all();
    std::sort(shots.begin(), shots.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    int failures = 0;
    for (const auto& shot : shots) {
        if (!only.empty() && shot.name.find(only) == std::string::npos) continue;
        const QString path = QDir(out).filePath(QString::fromStdString(shot.name) + ".png");
        {
            sorvel::ui::Theme::setAppearance(sorvel::ui::Appearance::light);
            sorvel::test::UiContext ctx;
            std::unique_ptr<QWidget> widget(shot.make(ctx));
            if (!widget) {
                std::fprintf(stderr, "%s: nothing to render\n", shot.name.c_str());
                ++failures;
                continue;
            }
            sorvel::test::settle(widget.get(), shot.size);
            const QImage image = shot.scale == 1 ? widget->grab().toImage() : scaled(*widget, shot.scale);
            if (!image.save(path)) {
                std::fprintf(stderr, "%s: could not write %s\n", shot.name.c_str(), qPrintable(path));
                ++failures;
                continue;
            }
        }
        if (verify) {
            const QImage back(path);
            if (isBlank(back)) {
                std::fprintf(stderr, "%s: blank or unreadable\n", shot.name.c_str());
                ++failures;
                continue;
            }
        }
        std::printf("%s\n", qPrintable(path));
    }
    return failures == 0 ? 0 : 1;
}
