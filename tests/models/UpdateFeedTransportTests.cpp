// The feed transfer against a local plain-http server: the checker never fetches a feed
// that is not https, and the transfer itself sends what it should and reads statuses,
// bodies and silence correctly.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <optional>

#include "models/UpdateChecker.h"
#include "platform/BundleInfo.h"
#include "support/TestSupport.h"

using namespace sorvel;
using Result = UpdateChecker::FetchResult;

namespace {

// Accepts connections, records what arrives, and answers with `response` once a whole
// request head has arrived (or never, when the response is empty).
class LocalServer {
public:
    explicit LocalServer(QByteArray response) : response_(std::move(response)) {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                ++connections;
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    received += socket->readAll();
                    if (!response_.isEmpty() && received.contains("\r\n\r\n")) {
                        socket->write(response_);
                        socket->disconnectFromHost();
                    }
                });
            }
        });
    }
    QUrl url(const QString& scheme = "http") const {
        return QUrl(scheme + "://127.0.0.1:" + QString::number(server_.serverPort()) + "/feed.json");
    }
    int connections = 0;
    QByteArray received;

private:
    QTcpServer server_;
    QByteArray response_;
};

std::optional<Result> wait(std::optional<Result>& result, int milliseconds = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!result && timer.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return result;
}

QByteArray http(const QByteArray& status, const QByteArray& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: application/json\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

TEST(UpdateFeedTransport, APlainHTTPFeedIsNeverRequested) {
    LocalServer server(http("200 OK", R"({"version":"9.9","build":999,"url":"http://127.0.0.1/x"})"));
    std::optional<Result> result;
    UpdateChecker::fetch(server.url(), [&](Result r) { result = r; });
    ASSERT_TRUE(wait(result));
    EXPECT_FALSE(result->release.has_value());
    EXPECT_EQ(result->message, "The resource could not be loaded because a secure connection is required.");
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    EXPECT_EQ(server.connections, 0);
}

TEST(UpdateFeedTransport, ACheckerWithAPlainHTTPFeedAsksNobody) {
    test::FakeHome home;
    test::ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    LocalServer server(http("200 OK", R"({"version":"9.9","build":999,"url":"http://127.0.0.1/x"})"));
    BundleInfo::replaceDictionary(nlohmann::json{{"SorvelUpdateFeedURL", server.url().toString().toStdString()}});
    UpdateChecker checker; // the real fetch
    checker.checkIfDue();
    checker.check(true);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    BundleInfo::replaceDictionary(std::nullopt);
    EXPECT_EQ(checker.state(), UpdateChecker::State::failed("No update feed is configured in this build."));
    EXPECT_FALSE(checker.lastChecked().has_value());
    EXPECT_EQ(server.connections, 0);
}

TEST(UpdateFeedTransport, SendsAPlainGETWithTheUserAgentAndReadsTheRelease) {
    LocalServer server(http("200 OK", R"({"version":"1.10","build":120,"url":"https://e.com/r"})"));
    std::optional<Result> result;
    UpdateChecker::request(server.url(), 5000, [&](Result r) { result = r; });
    ASSERT_TRUE(wait(result));
    ASSERT_TRUE(result->release.has_value()) << result->message;
    EXPECT_EQ(result->release->build, 120);
    EXPECT_TRUE(server.received.startsWith("GET /feed.json HTTP/1.1\r\n")) << server.received.toStdString();
    EXPECT_TRUE(server.received.contains("\r\nUser-Agent: Sorvel\r\n"));
    EXPECT_FALSE(server.received.contains("Cookie"));
}

TEST(UpdateFeedTransport, AStatusOtherThan200IsASentence) {
    LocalServer server(http("404 Not Found", "{}"));
    std::optional<Result> result;
    UpdateChecker::request(server.url(), 5000, [&](Result r) { result = r; });
    ASSERT_TRUE(wait(result));
    EXPECT_EQ(*result, Result::failure("The update feed returned 404."));
}

TEST(UpdateFeedTransport, ABodyThatIsNotAReleaseCannotBeRead) {
    LocalServer server(http("200 OK", "<html>portal login</html>"));
    std::optional<Result> result;
    UpdateChecker::request(server.url(), 5000, [&](Result r) { result = r; });
    ASSERT_TRUE(wait(result));
    EXPECT_EQ(*result, Result::failure("The update feed could not be read."));
}

TEST(UpdateFeedTransport, ASilentServerTimesOut) {
    LocalServer server{QByteArray()};
    std::optional<Result> result;
    UpdateChecker::request(server.url(), 300, [&](Result r) { result = r; });
    ASSERT_TRUE(wait(result));
    EXPECT_EQ(*result, Result::failure("The request timed out."));
}

TEST(UpdateFeedTransport, NobodyListeningIsASentence) {
    quint16 port;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        port = probe.serverPort();
    }
    std::optional<Result> result;
    UpdateChecker::request(QUrl("http://127.0.0.1:" + QString::number(port) + "/feed.json"), 5000,
                           [&](Result r) { result = r; });
    ASSERT_TRUE(wait(result));
    EXPECT_EQ(*result, Result::failure("Could not connect to the server."));
}

TEST(UpdateFeedTransport, ABodyPastOneMebibyteIsAFailedCheck) {
    const QByteArray release = R"({"version":"1.10","build":120,"url":"https://e.com/r"})";
    const int cap = static_cast<int>(UpdateChecker::kMaximumFeedBytes);
    const QByteArray atCap = release + QByteArray(cap - release.size(), ' ');
    const QByteArray pastCap = atCap + ' ';
    const QByteArray unannounced = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n\r\n" +
                                   release + QByteArray(8 * cap, ' ');
    const QByteArray overAnnounced = "HTTP/1.1 200 OK\r\nContent-Length: 104857600\r\nConnection: close\r\n\r\n" + release;
    struct Case {
        const char* what;
        QByteArray response;
        bool read;
    } cases[] = {
        {"exactly 1 MiB", http("200 OK", atCap), true},
        {"one byte more", http("200 OK", pastCap), false},
        {"8 MiB with no length given", unannounced, false},
        {"a length of 100 MiB announced", overAnnounced, false},
    };
    for (const auto& c : cases) {
        LocalServer server(c.response);
        std::optional<Result> result;
        UpdateChecker::request(server.url(), 10000, [&](Result r) { result = r; });
        ASSERT_TRUE(wait(result)) << c.what;
        if (c.read) {
            EXPECT_TRUE(result->release.has_value()) << c.what << ": " << result->message;
        } else {
            EXPECT_EQ(*result, Result::failure(UpdateChecker::kTooLargeMessage)) << c.what;
        }
    }
    // Bodies handed over some other way are held to the same cap.
    EXPECT_EQ(UpdateChecker::interpret("", 200, pastCap.toStdString()), Result::failure(UpdateChecker::kTooLargeMessage));
    EXPECT_TRUE(UpdateChecker::interpret("", 200, atCap.toStdString()).release.has_value());
}
