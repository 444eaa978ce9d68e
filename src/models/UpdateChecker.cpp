#include "models/UpdateChecker.h"

#include <QPointer>
#include <QProcess>
#include <climits>

#include "models/BackgroundWork.h"
#include "platform/BundleInfo.h"
#include "models/SettingsSaver.h"
#include "platform/UserDefaults.h"

namespace sorvel {
namespace {

// The text before the first ":" must read exactly "https"; URL parsing alone would
// accept other spellings of the scheme.
bool isExactlyHTTPS(const std::string& text, QUrl& parsed) {
    if (text.empty()) return false;
    const size_t colon = text.find(':');
    if (colon == std::string::npos || text.compare(0, colon, "https") != 0) return false;
    parsed = QUrl(QString::fromStdString(text), QUrl::StrictMode);
    return parsed.isValid() && !parsed.isRelative();
}

void openInBrowser(const QUrl& url) {
    QProcess::startDetached(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)});
}

} // namespace

UpdateChecker::UpdateChecker(QObject* parent) : UpdateChecker(&UpdateChecker::fetch, &openInBrowser, parent) {}

UpdateChecker::UpdateChecker(Fetcher fetcher, Opener opener, QObject* parent)
    : QObject(parent), fetcher_(std::move(fetcher)), opener_(std::move(opener)) {
    const UserDefaults defaults = UserDefaults::standard();
    automaticChecks_ = defaults.boolean(kAutomaticChecksKey).value_or(true);
    if (auto seconds = defaults.number(kLastCheckKey)) lastChecked_ = dateFromReferenceSeconds(*seconds);
    if (auto skipped = defaults.value(kSkippedBuildKey)) {
        if (skipped->is_number_unsigned()) {
            if (skipped->get<uint64_t>() <= static_cast<uint64_t>(INT64_MAX))
                skippedBuild_ = static_cast<int64_t>(skipped->get<uint64_t>());
        } else if (skipped->is_number_integer()) {
            skippedBuild_ = skipped->get<int64_t>();
        }
    }
}

void UpdateChecker::setAutomaticChecks(bool on) {
    save(kAutomaticChecksKey, on);
    if (automaticChecks_ == on) return;
    automaticChecks_ = on;
    emit automaticChecksChanged();
}

std::optional<QUrl> UpdateChecker::feedURL() {
    auto text = BundleInfo::string("SorvelUpdateFeedURL");
    QUrl url;
    if (!text || !isExactlyHTTPS(*text, url)) return std::nullopt;
    return url;
}

std::string UpdateChecker::currentVersion() { return BundleInfo::shortVersion(); }
int64_t UpdateChecker::currentBuild() { return BundleInfo::buildNumber(); }

void UpdateChecker::checkIfDue() {
    if (!automaticChecks_ || !feedURL()) return;
    if (lastChecked_) {
        const double elapsed = unixSeconds(now()) - unixSeconds(*lastChecked_);
        if (elapsed < kCheckInterval) return; // a date in the future is never due
    }
    check(false);
}

void UpdateChecker::check(bool userInitiated) {
    auto feed = feedURL();
    if (!feed) {
        if (userInitiated) setState(State::failed(kNoFeedMessage));
        return;
    }
    if (state_.kind == State::Kind::checking) return;
    setState(State::checking());
    const uint64_t generation = ++generation_;
    QPointer<UpdateChecker> self(this);
    const QUrl url = *feed;
    fetcher_(url, [self, generation, userInitiated, url](FetchResult result) {
        if (!self) return;
        // Always a later turn of the event loop, even when the fetch answered at once.
        Models::deliver(self, [generation, userInitiated, url, result = std::move(result)](UpdateChecker& checker) {
            checker.finish(generation, userInitiated, url, result);
        });
    });
}

void UpdateChecker::finish(uint64_t generation, bool userInitiated, const QUrl& feed, const FetchResult& result) {
    // A check started after this one (possible once the user dismissed this one) wins.
    if (generation != generation_) return;
    lastChecked_ = now();
    save(kLastCheckKey, secondsSinceReferenceDate(*lastChecked_));
    emit lastCheckedChanged();

    if (!result.release) {
        setState(userInitiated ? State::failed(result.message) : State::idle());
        return;
    }
    const Release& release = *result.release;
    QUrl page;
    if (!isExactlyHTTPS(release.url, page) || page.host().toLower() != feed.host().toLower()) {
        setState(State::failed(kUnexpectedPlaceMessage));
        return;
    }
    if (release.minimumSystemVersion &&
        !meetsMinimum(*release.minimumSystemVersion, ProcessInfo::operatingSystemVersion())) {
        setState(State::upToDate());
        return;
    }
    if (!isNewer(release, currentBuild(), currentVersion())) {
        setState(State::upToDate());
        return;
    }
    if (!userInitiated && skippedBuild_ && release.build && *skippedBuild_ >= *release.build) {
        setState(State::idle());
        return;
    }
    setState(State::available(release));
}

void UpdateChecker::openDownloadPage() {
    if (state_.kind != State::Kind::available || !state_.release) return;
    QUrl page;
    if (!isExactlyHTTPS(state_.release->url, page)) return;
    opener_(page);
}

void UpdateChecker::skipThisVersion() {
    if (state_.kind != State::Kind::available || !state_.release) return;
    if (auto build = state_.release->build) {
        save(kSkippedBuildKey, *build);
        if (skippedBuild_ != *build) {
            skippedBuild_ = *build;
            emit skippedBuildChanged();
        }
    }
    setState(State::idle());
}

void UpdateChecker::dismiss() { setState(State::idle()); }

std::string UpdateChecker::notSavedMessage(const SaveStatus& status) {
    return status.notSaved("Sorvel could not save its update settings", "so the change will be lost when Sorvel quits");
}

void UpdateChecker::save(const char* key, nlohmann::json value) {
    Models::saveSetting(this, UserDefaults::standard(), key, std::move(value),
                        [](UpdateChecker& checker, const SaveStatus& status) {
                            std::optional<std::string> error;
                            if (!status) error = notSavedMessage(status);
                            if (error == checker.saveError_) return;
                            checker.saveError_ = std::move(error);
                            emit checker.saveErrorChanged();
                        });
}

void UpdateChecker::setState(State state) {
    if (state_ == state) return;
    state_ = std::move(state);
    emit stateChanged();
}

} // namespace sorvel
