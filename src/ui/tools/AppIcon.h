#pragma once
// An application's icon: the icon file its Info.plist names (CFBundleIconFile, ".icns"
// added when it has no extension) under Contents/Resources, read through Qt's image
// plugins; a drawn placeholder when there is none or it cannot be read. Drawn stretched
// into a square of the given side, whatever the image's resolution.
#include <QImage>
#include <QWidget>

#include <string>

namespace sorvel::ui {

class AppIcon : public QWidget {
    Q_OBJECT
public:
    AppIcon(std::string bundlePath, double side, QWidget* parent = nullptr);

    /// The icon image of a bundle, or a null image. Results are kept per bundle path.
    static QImage load(const std::string& bundlePath);
    /// The file the bundle names as its icon, or "" when it names none.
    static std::string iconFile(const std::string& bundlePath);
    bool hasImage() const { return !image_.isNull(); }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QImage image_;
    double side_;
};

} // namespace sorvel::ui
