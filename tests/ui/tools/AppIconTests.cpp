// App icons: the icon file a bundle's Info.plist names, ".icns" read through Qt's image
// plugins, and the drawn placeholder for a bundle without a readable icon.
#include <gtest/gtest.h>

#include <QImage>
#include <QImageWriter>
#include <QPainter>

#include <filesystem>

#include "support/TestSupport.h"
#include "ui/tools/AppIcon.h"

using namespace sorvel;

namespace {

std::string bundleNaming(const test::TempDir& dir, const std::string& name, const std::string& iconEntry) {
    const std::string bundle = dir / (name + ".app");
    test::writeFile(bundle + "/Contents/Info.plist",
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + iconEntry +
                        "</dict></plist>\n");
    return bundle;
}

} // namespace

TEST(AppIcon, AnIcnsFileNamedWithoutItsExtensionIsRead) {
    if (!QImageWriter::supportedImageFormats().contains("icns")) GTEST_SKIP() << "no icns image plugin";
    test::TempDir dir;
    const std::string bundle = bundleNaming(dir, "Orchard", "<key>CFBundleIconFile</key><string>Orchard</string>");
    QImage image(128, 128, QImage::Format_ARGB32);
    image.fill(QColor(40, 160, 90));
    std::filesystem::create_directories(bundle + "/Contents/Resources");
    ASSERT_TRUE(image.save(QString::fromStdString(bundle + "/Contents/Resources/Orchard.icns"), "icns"));
    EXPECT_EQ(ui::AppIcon::iconFile(bundle), bundle + "/Contents/Resources/Orchard.icns");
    const QImage loaded = ui::AppIcon::load(bundle);
    ASSERT_FALSE(loaded.isNull());
    EXPECT_EQ(loaded.pixelColor(64, 64).rgb(), QColor(40, 160, 90).rgb());
    // Drawn into the requested square whatever the image's own size.
    ui::AppIcon icon(bundle, 30);
    EXPECT_TRUE(icon.hasImage());
    EXPECT_EQ(icon.size(), QSize(30, 30));
}

TEST(AppIcon, WithoutAReadableIconThePlaceholderIsDrawn) {
    test::TempDir dir;
    const std::string none = bundleNaming(dir, "Plain", "");
    const std::string missing = bundleNaming(dir, "Missing", "<key>CFBundleIconFile</key><string>Gone.icns</string>");
    const std::string escaping = bundleNaming(dir, "Escaping", "<key>CFBundleIconFile</key><string>../../x.png</string>");
    const std::string garbage = bundleNaming(dir, "Garbage", "<key>CFBundleIconFile</key><string>G.icns</string>");
    test::writeFile(garbage + "/Contents/Resources/G.icns", "not an image");
    EXPECT_EQ(ui::AppIcon::iconFile(none), "");
    EXPECT_EQ(ui::AppIcon::iconFile(escaping), ""); // names outside the bundle's resources are ignored
    for (const auto& bundle : {none, missing, escaping, garbage, dir / "NoPlist.app"}) {
        ui::AppIcon icon(bundle, 30);
        EXPECT_FALSE(icon.hasImage()) << bundle;
        EXPECT_FALSE(icon.grab().isNull());
    }
}
