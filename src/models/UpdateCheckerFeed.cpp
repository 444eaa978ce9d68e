// The feed side of the update checker: decoding a release, fetching the feed and the
// comparisons that decide whether a release is newer.
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <memory>
#include <system_error>
#include <thread>

#include "models/UpdateChecker.h"
#include "platform/BundleInfo.h"

namespace sorvel {
namespace {

using nlohmann::json;

const char* const kSecureConnectionRequired =
    "The resource could not be loaded because a secure connection is required.";
const char* const kTimedOutMessage = "The request timed out.";
const char* const kNoThreadMessage =
    "The request could not be made because no thread could be started (the process limit, or memory).";

// The transfer runs on a thread of its own that the network layer starts for each check;
// one that never starts would only end at the deadline, as if the server were slow.
bool threadsAvailable() {
    try {
        std::thread([] {}).join();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

// Reads an optional text field: absent or null gives none; another type fails the decode.
bool optionalText(const json& object, const char* key, std::optional<std::string>& out) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return true;
    if (!it->is_string()) return false;
    out = it->get<std::string>();
    return true;
}

// Transfer errors as whole sentences, in the words a browser-like system would use.
std::string describe(QNetworkReply::NetworkError error, const QString& fallback) {
    switch (error) {
    case QNetworkReply::TimeoutError:
        return kTimedOutMessage;
    case QNetworkReply::ConnectionRefusedError:
        return "Could not connect to the server.";
    case QNetworkReply::RemoteHostClosedError:
        return "The network connection was lost.";
    case QNetworkReply::HostNotFoundError:
        return "A server with the specified hostname could not be found.";
    case QNetworkReply::SslHandshakeFailedError:
        return "An SSL error has occurred and a secure connection to the server cannot be made.";
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return "The Internet connection appears to be offline.";
    case QNetworkReply::TooManyRedirectsError:
        return "There were too many redirects.";
    case QNetworkReply::InsecureRedirectError:
        return kSecureConnectionRequired;
    default:
        break;
    }
    std::string text = fallback.trimmed().toStdString();
    if (text.empty()) return "The update feed could not be reached.";
    if (text.front() >= 'a' && text.front() <= 'z') text.front() = static_cast<char>(text.front() - 'a' + 'A');
    if (text.back() != '.') text += '.';
    return text;
}

// A run of digits without its leading zeros.
std::string_view significant(std::string_view digits) {
    size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view{} : digits.substr(first);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

std::optional<Release> Release::decode(const std::string& body) {
    try {
        json object = json::parse(body, nullptr, false);
        if (object.is_discarded() || !object.is_object()) return std::nullopt;
        Release release;
        auto version = object.find("version");
        auto url = object.find("url");
        if (version == object.end() || !version->is_string()) return std::nullopt;
        if (url == object.end() || !url->is_string()) return std::nullopt;
        release.version = version->get<std::string>();
        release.url = url->get<std::string>();
        if (auto build = object.find("build"); build != object.end() && !build->is_null()) {
            if (build->is_number_unsigned()) {
                if (build->get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
                release.build = static_cast<int64_t>(build->get<uint64_t>());
            } else if (build->is_number_integer()) {
                release.build = build->get<int64_t>();
            } else {
                return std::nullopt;
            }
        }
        if (!optionalText(object, "date", release.date) || !optionalText(object, "notes", release.notes) ||
            !optionalText(object, "minimumSystemVersion", release.minimumSystemVersion))
            return std::nullopt;
        return release;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

json Release::toJSON() const {
    json out{{"version", version}, {"url", url}};
    if (build) out["build"] = *build;
    if (date) out["date"] = *date;
    if (notes) out["notes"] = *notes;
    if (minimumSystemVersion) out["minimumSystemVersion"] = *minimumSystemVersion;
    return out;
}

void UpdateChecker::fetch(const QUrl& url, Completion completion) {
    fetchWithin(kTimeoutMilliseconds)(url, std::move(completion));
}

UpdateChecker::Fetcher UpdateChecker::fetchWithin(int deadlineMilliseconds) {
    return [deadlineMilliseconds](const QUrl& url, Completion completion) {
        // Plain http is never fetched, not even by mistake: the answer could be anyone's.
        if (url.scheme() != QStringLiteral("https")) {
            QTimer::singleShot(0, [completion = std::move(completion)] {
                completion(FetchResult::failure(kSecureConnectionRequired));
            });
            return;
        }
        if (!threadsAvailable()) {
            QTimer::singleShot(0, [completion = std::move(completion)] {
                completion(FetchResult::failure(kNoThreadMessage));
            });
            return;
        }
        request(url, deadlineMilliseconds, std::move(completion));
    };
}

void UpdateChecker::request(const QUrl& url, int deadlineMilliseconds, Completion completion) {
    auto* manager = new QNetworkAccessManager();
    manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Sorvel"));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    QNetworkReply* reply = manager->get(request);
    // The body is taken as it arrives and the transfer given up once it passes the cap,
    // announced or not: an endless answer must not fill the memory.
    struct Received {
        QByteArray body;
        bool tooLarge = false;
        bool pastDeadline = false;
    };
    auto received = std::make_shared<Received>();
    // One deadline for the whole check: a transfer time-out would start again with every
    // byte, and a server trickling bytes could keep the check waiting for ever.
    auto* deadline = new QTimer(manager);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, manager, [reply, received] {
        received->pastDeadline = true;
        reply->abort();
    });
    deadline->start(deadlineMilliseconds);
    auto take = [reply, received] {
        if (received->tooLarge) return;
        received->body += reply->read(kMaximumFeedBytes + 1 - received->body.size());
        const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (received->body.size() > kMaximumFeedBytes || announced > kMaximumFeedBytes) {
            received->tooLarge = true;
            received->body.clear();
            // Not from inside the reply's own signal: the transfer ends on the next turn.
            QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
        }
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, manager, take);
    QObject::connect(reply, &QNetworkReply::readyRead, manager, take);
    QObject::connect(reply, &QNetworkReply::finished, manager,
                     [manager, reply, received, take, deadline, completion = std::move(completion)] {
                         deadline->stop();
                         if (received->pastDeadline) {
                             reply->deleteLater();
                             manager->deleteLater();
                             completion(FetchResult::failure(kTimedOutMessage));
                             return;
                         }
                         if (!received->tooLarge && reply->isOpen()) take();
                         if (received->tooLarge) {
                             reply->deleteLater();
                             manager->deleteLater();
                             completion(FetchResult::failure(kTooLargeMessage));
                             return;
                         }
                         const auto error = reply->error();
                         const QVariant code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
                         const int status = code.isValid() ? code.toInt() : 0;
                         std::string transferError;
                         // Network-layer and proxy errors, or any error without an HTTP answer.
                         if ((error > QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied) ||
                             (error != QNetworkReply::NoError && status == 0))
                             transferError = describe(error, reply->errorString());
                         reply->deleteLater();
                         manager->deleteLater();
                         completion(interpret(transferError, status, received->body.toStdString()));
                     });
}

UpdateChecker::FetchResult UpdateChecker::interpret(const std::string& transferError, int status,
                                                    const std::string& body) {
    if (!transferError.empty()) return FetchResult::failure(transferError);
    if (status != 0 && status != 200)
        return FetchResult::failure("The update feed returned " + std::to_string(status) + ".");
    if (static_cast<int64_t>(body.size()) > kMaximumFeedBytes) return FetchResult::failure(kTooLargeMessage);
    auto release = Release::decode(body);
    if (!release) return FetchResult::failure(kUnreadableMessage);
    return FetchResult::success(std::move(*release));
}

int UpdateChecker::numericCompare(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            size_t iEnd = i, jEnd = j;
            while (iEnd < a.size() && isDigit(a[iEnd])) ++iEnd;
            while (jEnd < b.size() && isDigit(b[jEnd])) ++jEnd;
            auto x = significant(std::string_view(a).substr(i, iEnd - i));
            auto y = significant(std::string_view(b).substr(j, jEnd - j));
            if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
            if (int c = x.compare(y); c != 0) return c < 0 ? -1 : 1;
            i = iEnd;
            j = jEnd;
            continue;
        }
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[j]);
        if (x != y) return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    const bool aLeft = i < a.size(), bLeft = j < b.size();
    if (aLeft == bLeft) return 0;
    return aLeft ? 1 : -1;
}

bool UpdateChecker::isNewer(const Release& release, int64_t thanBuild, const std::string& version) {
    if (release.build && thanBuild >= 1) return *release.build > thanBuild;
    return numericCompare(release.version, version) > 0;
}

bool UpdateChecker::meetsMinimum(const std::string& minimum, ProcessInfo::OperatingSystemVersion system) {
    std::vector<int64_t> required;
    size_t start = 0;
    while (start <= minimum.size()) {
        size_t dot = minimum.find('.', start);
        if (dot == std::string::npos) dot = minimum.size();
        if (dot > start) required.push_back(BundleInfo::decimalInteger(minimum.substr(start, dot - start)).value_or(0));
        start = dot + 1;
    }
    if (required.empty()) return true;
    const int64_t running[] = {system.major, system.minor, system.patch};
    const size_t places = std::max<size_t>(required.size(), 3);
    for (size_t place = 0; place < places; ++place) {
        const int64_t need = place < required.size() ? required[place] : 0;
        const int64_t have = place < 3 ? running[place] : 0;
        if (need != have) return need < have;
    }
    return true;
}

} // namespace sorvel
