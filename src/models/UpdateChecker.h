#pragma once
// The once-a-day look at the update feed: one small JSON document describing the newest
// release, compared with the running version and published as a state for the windows.
// Nothing is ever downloaded or installed; without a configured feed nothing is fetched.
#include <QObject>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/Date.h"
#include "platform/ProcessInfo.h"
#include "platform/UserDefaults.h"

namespace sorvel {

/// One release as the feed describes it.
struct Release {
    std::string version;
    std::optional<int64_t> build;
    std::string url;
    std::optional<std::string> date;
    std::optional<std::string> notes;
    std::optional<std::string> minimumSystemVersion;

    friend bool operator==(const Release&, const Release&) = default;

    /// The release in a feed body; none when the body is not JSON, a required key is
    /// missing or a value has the wrong type. Other keys are ignored.
    static std::optional<Release> decode(const std::string& body);
    nlohmann::json toJSON() const;
};

class UpdateChecker final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool automaticChecks READ automaticChecks WRITE setAutomaticChecks NOTIFY automaticChecksChanged)

public:
    struct State {
        enum class Kind { idle, checking, upToDate, available, failed };
        Kind kind = Kind::idle;
        std::optional<Release> release; // available
        std::string message;            // failed: a whole sentence

        static State idle() { return {}; }
        static State checking() { return {Kind::checking, std::nullopt, {}}; }
        static State upToDate() { return {Kind::upToDate, std::nullopt, {}}; }
        static State available(Release r) { return {Kind::available, std::move(r), {}}; }
        static State failed(std::string m) { return {Kind::failed, std::nullopt, std::move(m)}; }
        friend bool operator==(const State&, const State&) = default;
    };

    struct FetchResult {
        std::optional<Release> release; // success
        std::string message;            // failure
        static FetchResult success(Release r) { return {std::move(r), {}}; }
        static FetchResult failure(std::string m) { return {std::nullopt, std::move(m)}; }
        friend bool operator==(const FetchResult&, const FetchResult&) = default;
    };

    using Completion = std::function<void(FetchResult)>;
    /// Fetches a feed and calls back once, on the calling thread's event loop.
    using Fetcher = std::function<void(const QUrl&, Completion)>;
    /// Opens a web page in the default browser.
    using Opener = std::function<void(const QUrl&)>;

    static inline const char* const kAutomaticChecksKey = "SorvelAutomaticUpdateChecks";
    static inline const char* const kLastCheckKey = "SorvelLastUpdateCheck";
    static inline const char* const kSkippedBuildKey = "SorvelSkippedBuild";
    static constexpr double kCheckInterval = 86'400;
    static constexpr int kTimeoutMilliseconds = 10'000;

    static inline const char* const kNoFeedMessage = "No update feed is configured in this build.";
    static inline const char* const kUnexpectedPlaceMessage =
        "The update feed points somewhere unexpected and was ignored.";
    static inline const char* const kUnreadableMessage = "The update feed could not be read.";
    /// A release description is a few hundred bytes; a body past this is not one, and is
    /// not kept in memory.
    static constexpr int64_t kMaximumFeedBytes = 1 << 20;
    static inline const char* const kTooLargeMessage =
        "The update feed is larger than 1 MB, too large to be a release description.";

    /// Reads the persisted settings; writes nothing back.
    explicit UpdateChecker(QObject* parent = nullptr);
    /// The same with another fetch and page opener (tests; a platform without a browser).
    UpdateChecker(Fetcher fetcher, Opener opener, QObject* parent = nullptr);

    const State& state() const { return state_; }
    std::optional<Date> lastChecked() const { return lastChecked_; }
    bool automaticChecks() const { return automaticChecks_; }
    void setAutomaticChecks(bool on);
    std::optional<int64_t> skippedBuild() const { return skippedBuild_; }
    /// Why the last store of these settings failed (written off the main thread); none
    /// once one succeeds.
    const std::optional<std::string>& saveError() const { return saveError_; }
    static std::string notSavedMessage(const SaveStatus& status);

    /// "SorvelUpdateFeedURL" when it is text that parses as a URL whose scheme is exactly "https".
    static std::optional<QUrl> feedURL();
    bool isConfigured() const { return feedURL().has_value(); }
    static std::string currentVersion();
    static int64_t currentBuild();

    void checkIfDue();
    void check(bool userInitiated);

    /// GET with the user agent "Sorvel", no cache and no cookies, given up as "The request
    /// timed out." once 10 s have passed since it started, however the bytes arrive. Only
    /// https is fetched: any other scheme fails without a request being made.
    static void fetch(const QUrl& url, Completion completion);
    /// `fetch` with another deadline (tests).
    static Fetcher fetchWithin(int deadlineMilliseconds);
    /// The transfer under `fetch`, for any scheme, ended at the deadline.
    static void request(const QUrl& url, int deadlineMilliseconds, Completion completion);
    /// What a finished transfer means: a transfer error (empty when none), the HTTP status
    /// (0 when there was none) and the body (past kMaximumFeedBytes: a failure).
    static FetchResult interpret(const std::string& transferError, int status, const std::string& body);

    static bool meetsMinimum(const std::string& minimum, ProcessInfo::OperatingSystemVersion system);
    static bool isNewer(const Release& release, int64_t thanBuild, const std::string& version);
    /// Orders texts with runs of digits compared by value: -1, 0 or 1.
    static int numericCompare(const std::string& a, const std::string& b);

    void openDownloadPage();
    void skipThisVersion();
    void dismiss();

signals:
    void stateChanged();
    void lastCheckedChanged();
    void automaticChecksChanged();
    void skippedBuildChanged();
    void saveErrorChanged();

private:
    void setState(State state);
    void save(const char* key, nlohmann::json value);
    void finish(uint64_t generation, bool userInitiated, const QUrl& feed, const FetchResult& result);

    Fetcher fetcher_;
    Opener opener_;
    State state_;
    std::optional<Date> lastChecked_;
    bool automaticChecks_ = true;
    std::optional<int64_t> skippedBuild_;
    std::optional<std::string> saveError_;
    uint64_t generation_ = 0;
};

} // namespace sorvel
