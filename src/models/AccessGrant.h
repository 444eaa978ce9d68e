#pragma once
// The Full Disk Access grant watch: opens the settings page for the grant, watches for it
// every 1.5 s while the process runs from an application bundle, and when it arrives
// starts a new instance of the program and quits. The new instance must really have
// started before this one quits; a failed start leaves this process running and clears
// the relaunching state, so the window never vanishes while saying "restarting".
#include <QObject>
#include <QTimer>

#include <functional>
#include <string>

namespace sorvel {

class AccessGrant final : public QObject {
    Q_OBJECT
public:
    struct Services {
        std::function<bool()> probe;                    // the access probe
        std::function<bool()> runsFromBundle;           // bundle identifier and a ".app" path
        std::function<bool()> isAdHocSigned;            // "SorvelAdHocSigned" is the Boolean true
        std::function<std::string()> bundlePath;
        std::function<void(const std::string&)> openURL;
        std::function<void(const std::string&)> reveal;
        std::function<void(const std::string&)> copy;
        std::function<bool()> startNewInstance;         // the same program and arguments, detached
        std::function<void()> quit;
        static Services standard();
    };

    static constexpr int kWatchIntervalMs = 1500;
    static constexpr int kRevealDelayMs = 900;
    static constexpr int kQuitDelayMs = 600;
    static constexpr const char* kSettingsURL =
        "x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles";

    explicit AccessGrant(Services services, QObject* parent = nullptr);
    ~AccessGrant() override;

    bool isGranted() const { return isGranted_; }
    bool isWatching() const { return isWatching_; }
    bool isRelaunching() const { return isRelaunching_; }
    bool runsFromBundle() const { return services_.runsFromBundle && services_.runsFromBundle(); }
    bool isAdHocSigned() const { return services_.isAdHocSigned && services_.isAdHocSigned(); }

    void openSettingsAndRevealApp();
    void beginWatching();
    void stopWatching();
    void relaunch();
    void copyPath();

signals:
    void isGrantedChanged();
    void isWatchingChanged();
    void isRelaunchingChanged();

private:
    void probeOnce();
    void setWatching(bool value);
    void setRelaunching(bool value);

    Services services_;
    bool isGranted_ = false;
    bool isWatching_ = false;
    bool isRelaunching_ = false;
    QTimer watch_;
};

} // namespace sorvel
