#pragma once
// An update feed served over TLS on 127.0.0.1 with a self-signed certificate made for the
// test; it is untrusted unless a `TrustedCertificate` adds it to the default configuration.
#include <QByteArray>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QUrl>

#include <vector>

namespace sorvel::test {

struct TestCertificate {
    QSslCertificate certificate;
    QSslKey key;
    /// A new key and certificate for 127.0.0.1, valid from an hour ago for an hour.
    static TestCertificate make();
};

class LoopbackFeedServer {
public:
    LoopbackFeedServer();

    const TestCertificate& credentials() const { return credentials_; }
    /// "https://127.0.0.1:PORT" followed by `path`.
    QUrl url(const QString& path = "/feed.json") const;

    /// What every request is answered with (status 200, JSON).
    QByteArray body;
    /// When above 0, the body goes out one byte at a time with this pause between bytes.
    int trickleMilliseconds = 0;
    /// The request line of each request that arrived over a completed handshake.
    std::vector<QByteArray> requests;

private:
    TestCertificate credentials_;
    QSslServer server_;
};

/// Trusts a certificate in the process's default TLS configuration until destroyed.
class TrustedCertificate {
public:
    explicit TrustedCertificate(const QSslCertificate& certificate);
    ~TrustedCertificate();

private:
    QSslConfiguration previous_;
};

} // namespace sorvel::test
