#include "models/AccessGrant.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProcess>

#include "engine/VolumeProbe.h"
#include "platform/BundleInfo.h"
#include "platform/MainBundle.h"

namespace sorvel {

AccessGrant::Services AccessGrant::Services::standard() {
    Services s;
    s.probe = [] { return VolumeProbe::hasFullDiskAccess(); };
    // The program never runs from an application bundle here: no bundle identifier.
    s.runsFromBundle = [] {
        const auto identifier = BundleInfo::string("CFBundleIdentifier");
        const std::string path = mainBundlePath();
        return identifier.has_value() && path.size() >= 4 && path.compare(path.size() - 4, 4, ".app") == 0;
    };
    s.isAdHocSigned = [] {
        const auto value = BundleInfo::object("SorvelAdHocSigned");
        return value && value->is_boolean() && value->get<bool>();
    };
    s.bundlePath = [] { return mainBundlePath(); };
    s.startNewInstance = [] {
        const QStringList args = QCoreApplication::arguments();
        if (args.isEmpty()) return false;
        return QProcess::startDetached(QCoreApplication::applicationFilePath(), args.mid(1));
    };
    s.quit = [] { QCoreApplication::quit(); };
    return s;
}

AccessGrant::AccessGrant(Services services, QObject* parent) : QObject(parent), services_(std::move(services)) {
    isGranted_ = services_.probe && services_.probe();
    watch_.setInterval(kWatchIntervalMs);
    connect(&watch_, &QTimer::timeout, this, &AccessGrant::probeOnce);
}

AccessGrant::~AccessGrant() = default;

void AccessGrant::setWatching(bool value) {
    if (value == isWatching_) return;
    isWatching_ = value;
    emit isWatchingChanged();
}

void AccessGrant::setRelaunching(bool value) {
    if (value == isRelaunching_) return;
    isRelaunching_ = value;
    emit isRelaunchingChanged();
}

void AccessGrant::openSettingsAndRevealApp() {
    if (services_.openURL) services_.openURL(kSettingsURL);
    QPointer<AccessGrant> self(this);
    QTimer::singleShot(kRevealDelayMs, this, [self] {
        if (self && self->services_.reveal && self->services_.bundlePath) self->services_.reveal(self->services_.bundlePath());
    });
    beginWatching();
}

void AccessGrant::beginWatching() {
    if (isWatching_ || !runsFromBundle()) return;
    setWatching(true);
    watch_.start();
}

void AccessGrant::stopWatching() {
    watch_.stop();
    setWatching(false);
}

void AccessGrant::probeOnce() {
    if (!(services_.probe && services_.probe())) return;
    watch_.stop();
    if (!isGranted_) {
        isGranted_ = true;
        emit isGrantedChanged();
    }
    relaunch();
}

void AccessGrant::relaunch() {
    if (isRelaunching_ || !runsFromBundle()) return;
    setRelaunching(true);
    stopWatching();
    const bool started = services_.startNewInstance && services_.startNewInstance();
    if (!started) {
        // Nothing took over: stay, and stop saying "restarting".
        setRelaunching(false);
        return;
    }
    QPointer<AccessGrant> self(this);
    QTimer::singleShot(kQuitDelayMs, this, [self] {
        if (self && self->services_.quit) self->services_.quit();
    });
}

void AccessGrant::copyPath() {
    if (services_.copy) services_.copy(services_.bundlePath ? services_.bundlePath() : std::string());
}

} // namespace sorvel
