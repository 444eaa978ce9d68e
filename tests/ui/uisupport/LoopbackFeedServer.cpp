#include "uisupport/LoopbackFeedServer.h"

#include <QSslSocket>
#include <QTimer>

#include <memory>
#include <stdexcept>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace sorvel::test {
namespace {

template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, decltype([](T* p) { Free(p); })>;

QByteArray drained(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, static_cast<int>(size));
}

void addExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
    Owned<X509_EXTENSION, X509_EXTENSION_free> extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value));
    if (!extension || !X509_add_ext(cert, extension.get(), -1)) throw std::runtime_error("certificate extension");
}

} // namespace

TestCertificate TestCertificate::make() {
    Owned<EVP_PKEY, EVP_PKEY_free> key(EVP_EC_gen("P-256"));
    Owned<X509, X509_free> cert(X509_new());
    if (!key || !cert) throw std::runtime_error("key or certificate");
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    addExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert.get(), NID_subject_key_identifier, "hash");
    addExtension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1");
    if (!X509_sign(cert.get(), key.get(), EVP_sha256())) throw std::runtime_error("signing");

    Owned<BIO, BIO_free_all> certPem(BIO_new(BIO_s_mem())), keyPem(BIO_new(BIO_s_mem()));
    PEM_write_bio_X509(certPem.get(), cert.get());
    PEM_write_bio_PrivateKey(keyPem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    TestCertificate out{QSslCertificate(drained(certPem.get()), QSsl::Pem),
                        QSslKey(drained(keyPem.get()), QSsl::Ec, QSsl::Pem, QSsl::PrivateKey)};
    if (out.certificate.isNull() || out.key.isNull()) throw std::runtime_error("PEM hand-over");
    return out;
}

LoopbackFeedServer::LoopbackFeedServer() : credentials_(TestCertificate::make()) {
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(credentials_.certificate);
    configuration.setPrivateKey(credentials_.key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    server_.setSslConfiguration(configuration);
    server_.setHandshakeTimeout(5000);
    if (!server_.listen(QHostAddress::LocalHost)) throw std::runtime_error("listen on 127.0.0.1");
    QObject::connect(&server_, &QSslServer::pendingConnectionAvailable, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            auto received = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
                *received += socket->readAll();
                const qsizetype end = received->indexOf("\r\n\r\n");
                if (end < 0) return;
                requests.push_back(received->left(received->indexOf("\r\n")));
                received->clear();
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                              QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n");
                if (trickleMilliseconds <= 0) {
                    socket->write(body);
                    socket->disconnectFromHost();
                    return;
                }
                auto* drip = new QTimer(socket); // goes with the socket
                QObject::connect(drip, &QTimer::timeout, socket, [socket, drip, left = body]() mutable {
                    socket->write(left.left(1));
                    left.remove(0, 1);
                    if (left.isEmpty()) { drip->stop(); socket->disconnectFromHost(); }
                });
                drip->start(trickleMilliseconds);
            });
        }
    });
}

QUrl LoopbackFeedServer::url(const QString& path) const {
    return QUrl("https://127.0.0.1:" + QString::number(server_.serverPort()) + path);
}

TrustedCertificate::TrustedCertificate(const QSslCertificate& certificate)
    : previous_(QSslConfiguration::defaultConfiguration()) {
    QSslConfiguration trusting = previous_;
    trusting.addCaCertificate(certificate);
    QSslConfiguration::setDefaultConfiguration(trusting);
}

TrustedCertificate::~TrustedCertificate() { QSslConfiguration::setDefaultConfiguration(previous_); }

} // namespace sorvel::test
