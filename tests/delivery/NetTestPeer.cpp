#include "NetTestPeer.h"

#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <memory>

namespace {

// A self-signed certificate made once per test run.
SSL_CTX *serverContext()
{
    static const std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> context = [] {
        SSL_CTX *ctx = SSL_CTX_new(TLS_server_method());
        EVP_PKEY *key = EVP_EC_gen("P-256");
        X509 *cert = X509_new();
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert), -60);
        X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
        X509_set_pubkey(cert, key);
        X509_NAME *name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>("localhost"),
                                   -1, -1, 0);
        X509_set_issuer_name(cert, name);
        X509_sign(cert, key, EVP_sha256());
        SSL_CTX_use_certificate(ctx, cert);
        SSL_CTX_use_PrivateKey(ctx, key);
        X509_free(cert);
        EVP_PKEY_free(key);
        return std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)>(ctx, &SSL_CTX_free);
    }();
    return context.get();
}

} // namespace

bool NetTestPeer::Conn::startTls()
{
    ssl = SSL_new(serverContext());
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

NetTestPeer::NetTestPeer(const char *address, bool tls, Handler handler)
    : m_tls(tls), m_handler(std::move(handler))
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
    serverContext();
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
