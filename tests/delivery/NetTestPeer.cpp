#include "NetTestPeer.h"

#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <QTemporaryDir>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct Identity {
    SSL_CTX *context = nullptr;
    std::string file;
};

// A self-signed certificate and its context, made once per test run; the
// certificate is also written to a file that SSL_CERT_FILE can name.
Identity makeIdentity(const char *name, const char *subjectAltName)
{
    static QTemporaryDir folder;
    SSL_CTX *ctx = SSL_CTX_new(TLS_server_method());
    EVP_PKEY *key = EVP_EC_gen("P-256");
    X509 *cert = X509_new();
    X509_set_version(cert, X509_VERSION_3);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -60);
    X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
    X509_set_pubkey(cert, key);
    X509_NAME *subject = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>(name), -1, -1,
                               0);
    X509_set_issuer_name(cert, subject);
    X509V3_CTX v3;
    X509V3_set_ctx_nodb(&v3);
    X509V3_set_ctx(&v3, cert, cert, nullptr, nullptr, 0);
    for (const auto &[extension, value] : {std::pair{"subjectAltName", subjectAltName},
                                           std::pair{"basicConstraints", "critical,CA:TRUE"},
                                           std::pair{"subjectKeyIdentifier", "hash"}}) {
        X509_EXTENSION *made = X509V3_EXT_conf(nullptr, &v3, extension, value);
        X509_add_ext(cert, made, -1);
        X509_EXTENSION_free(made);
    }
    X509_sign(cert, key, EVP_sha256());
    SSL_CTX_use_certificate(ctx, cert);
    SSL_CTX_use_PrivateKey(ctx, key);
    Identity identity{ctx, folder.filePath(QString::fromLatin1(name) + QStringLiteral(".pem")).toStdString()};
    if (FILE *out = std::fopen(identity.file.c_str(), "w")) {
        PEM_write_X509(out, cert);
        std::fclose(out);
    }
    X509_free(cert);
    EVP_PKEY_free(key);
    return identity;
}

const Identity &identity(PeerCertificate certificate)
{
    static const Identity localhost = makeIdentity("localhost", "DNS:localhost,IP:127.0.0.1");
    static const Identity other = makeIdentity("mail.other.test", "DNS:mail.other.test");
    return certificate == PeerCertificate::Localhost ? localhost : other;
}

} // namespace

bool NetTestPeer::Conn::startTls()
{
    ssl = SSL_new(identity(certificate).context);
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) != 1) {
        ERR_clear_error();
        return false;
    }
    if (const char *name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name))
        sniName = name;
    return true;
}

bool NetTestPeer::Conn::send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const int n = ssl ? SSL_write(ssl, bytes.data(), int(bytes.size()))
                          : int(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL));
        if (n <= 0)
            return false;
        bytes.remove_prefix(size_t(n));
    }
    return true;
}

std::string NetTestPeer::Conn::readUntil(std::string_view marker)
{
    std::string data;
    char c;
    while (data.size() < marker.size() || data.compare(data.size() - marker.size(), marker.size(), marker) != 0) {
        const int n = ssl ? SSL_read(ssl, &c, 1) : int(::recv(fd, &c, 1, 0));
        if (n <= 0)
            break;
        data.push_back(c);
    }
    return data;
}

std::string NetTestPeer::Conn::readCount(size_t count)
{
    std::string data(count, '\0');
    size_t got = 0;
    while (got < count) {
        const int n = ssl ? SSL_read(ssl, data.data() + got, int(count - got))
                          : int(::recv(fd, data.data() + got, count - got, 0));
        if (n <= 0)
            break;
        got += size_t(n);
    }
    data.resize(got);
    return data;
}

void NetTestPeer::Conn::sendCloseNotify()
{
    if (ssl)
        SSL_shutdown(ssl);
}

NetTestPeer::NetTestPeer(const char *address, bool tls, Handler handler, PeerCertificate certificate)
    : m_tls(tls), m_certificate(certificate), m_handler(std::move(handler))
{
    sockaddr_storage storage{};
    socklen_t size;
    const bool v6 = std::strchr(address, ':') != nullptr;
    if (v6) {
        auto *a = reinterpret_cast<sockaddr_in6 *>(&storage);
        a->sin6_family = AF_INET6;
        inet_pton(AF_INET6, address, &a->sin6_addr);
        size = sizeof *a;
    } else {
        auto *a = reinterpret_cast<sockaddr_in *>(&storage);
        a->sin_family = AF_INET;
        inet_pton(AF_INET, address, &a->sin_addr);
        size = sizeof *a;
    }
    m_listenFd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::bind(m_listenFd, reinterpret_cast<sockaddr *>(&storage), size) != 0 || ::listen(m_listenFd, 8) != 0)
        return;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&storage), &size);
    m_port = ntohs(v6 ? reinterpret_cast<sockaddr_in6 *>(&storage)->sin6_port
                      : reinterpret_cast<sockaddr_in *>(&storage)->sin_port);
    identity(certificate);
    m_thread = std::thread([this] { run(); });
}

NetTestPeer::~NetTestPeer()
{
    stop();
}

int NetTestPeer::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    m_listenFd = -1;
    return m_accepted;
}

void NetTestPeer::run()
{
    // The peer writes to clients that may have gone: SIGPIPE stays pending
    // on this thread instead of ending the test program.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    for (;;) {
        pollfd p{m_listenFd, POLLIN, 0};
        const bool stopping = m_stop;
        if (::poll(&p, 1, stopping ? 0 : 20) <= 0) {
            if (stopping)
                return;
            continue;
        }
        Conn conn;
        conn.certificate = m_certificate;
        conn.fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (conn.fd < 0)
            continue;
        ++m_accepted;
        timeval limit{5, 0};
        ::setsockopt(conn.fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(conn.fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        if (!stopping && (!m_tls || conn.startTls()))
            m_handler(conn);
        SSL_free(conn.ssl);
        ::close(conn.fd);
    }
}

bool NetTestPeer::ipv6Available()
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    const bool ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

quint16 NetTestPeer::closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), size);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &size);
    ::close(fd);
    return ntohs(a.sin_port);
}

int NetTestPeer::openDescriptorCount()
{
    int count = 0;
    if (DIR *dir = ::opendir("/proc/self/fd")) {
        while (const dirent *entry = ::readdir(dir))
            count += entry->d_name[0] != '.';
        ::closedir(dir);
    }
    return count;
}

std::string NetTestPeer::certificateFile(PeerCertificate certificate)
{
    return identity(certificate).file;
}

TrustedCertificate::TrustedCertificate(std::optional<PeerCertificate> certificate)
{
    if (const char *value = std::getenv("SSL_CERT_FILE"))
        m_previous = value;
    if (certificate)
        ::setenv("SSL_CERT_FILE", NetTestPeer::certificateFile(*certificate).c_str(), 1);
    else
        ::unsetenv("SSL_CERT_FILE");
}

TrustedCertificate::~TrustedCertificate()
{
    if (m_previous)
        ::setenv("SSL_CERT_FILE", m_previous->c_str(), 1);
    else
        ::unsetenv("SSL_CERT_FILE");
}

StalledListener::StalledListener()
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Backlog 0 queues one connection; with it taken and never accepted,
    // the kernel drops every later SYN.
    if (::bind(m_listenFd, reinterpret_cast<sockaddr *>(&a), size) != 0 || ::listen(m_listenFd, 0) != 0)
        return;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&a), &size);
    m_port = ntohs(a.sin_port);
    m_fillerFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::connect(m_fillerFd, reinterpret_cast<sockaddr *>(&a), size);
}

StalledListener::~StalledListener()
{
    ::close(m_fillerFd);
    ::close(m_listenFd);
}
