#include "FakeSmtpServer.h"

#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
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

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

using namespace std::chrono;

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

// A listening socket; port 0 takes any free one.
int listenOn(const char *address, quint16 *port, int backlog = 8, int receiveBuffer = 0)
{
    sockaddr_storage storage{};
    socklen_t size;
    const bool v6 = std::strchr(address, ':') != nullptr;
    if (v6) {
        auto *a = reinterpret_cast<sockaddr_in6 *>(&storage);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(*port);
        inet_pton(AF_INET6, address, &a->sin6_addr);
        size = sizeof *a;
    } else {
        auto *a = reinterpret_cast<sockaddr_in *>(&storage);
        a->sin_family = AF_INET;
        a->sin_port = htons(*port);
        inet_pton(AF_INET, address, &a->sin_addr);
        size = sizeof *a;
    }
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Set before listen: accepted sockets inherit it, and their window is made from it.
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&storage), size) != 0 || ::listen(fd, backlog) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr *>(&storage), &size) != 0) {
        ::close(fd);
        return -1;
    }
    *port = ntohs(v6 ? reinterpret_cast<sockaddr_in6 *>(&storage)->sin6_port
                     : reinterpret_cast<sockaddr_in *>(&storage)->sin_port);
    return fd;
}

} // namespace

bool FakeSmtpServer::Session::saw(const QByteArray &prefix) const
{
    return std::any_of(lines.begin(), lines.end(), [&](const QByteArray &line) { return line.startsWith(prefix); });
}

bool FakeSmtpServer::Conn::startTls()
{
    ssl = SSL_new(identity(m_server.m_options.certificate).context);
    SSL_set_fd(ssl, m_fd);
    if (SSL_accept(ssl) != 1) {
        ERR_clear_error();
        return false;
    }
    if (const char *name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name))
        sniName = name;
    return true;
}

bool FakeSmtpServer::Conn::send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const int n = ssl ? SSL_write(ssl, bytes.data(), int(bytes.size()))
                          : int(::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL));
        if (n <= 0) {
            ERR_clear_error();
            return false;
        }
        bytes.remove_prefix(size_t(n));
    }
    return true;
}

bool FakeSmtpServer::Conn::fill(int timeoutMs)
{
    // What the client sent before a stop is still read.
    const auto deadline = Clock::now() + milliseconds(timeoutMs);
    while (!m_gone) {
        if (!ssl || SSL_pending(ssl) == 0) {
            pollfd p{m_fd, POLLIN, 0};
            const auto left = duration_cast<milliseconds>(deadline - Clock::now()).count();
            if (::poll(&p, 1, int(std::clamp<long>(left, 0, 20))) <= 0) {
                if (m_server.m_stop || Clock::now() >= deadline)
                    return false;
                continue;
            }
        }
        char buffer[16384];
        const int n = ssl ? SSL_read(ssl, buffer, sizeof buffer) : int(::recv(m_fd, buffer, sizeof buffer, 0));
        if (n > 0) {
            m_in.append(buffer, n);
            return true;
        }
        if (ssl && SSL_get_error(ssl, n) == SSL_ERROR_WANT_READ)
            continue;
        ERR_clear_error();
        m_gone = true;
    }
    return false;
}

std::optional<QByteArray> FakeSmtpServer::Conn::through(const QByteArray &marker)
{
    qsizetype at;
    while ((at = m_in.indexOf(marker)) < 0) {
        if (!fill(10000))
            return std::nullopt;
    }
    const QByteArray taken = m_in.left(at + marker.size());
    m_in.remove(0, taken.size());
    return taken;
}

std::string FakeSmtpServer::Conn::readUntil(std::string_view marker)
{
    std::optional<QByteArray> taken = through(QByteArray(marker.data(), qsizetype(marker.size())));
    if (!taken)
        taken = std::exchange(m_in, {});
    return taken->toStdString();
}

std::string FakeSmtpServer::Conn::readCount(size_t count)
{
    while (size_t(m_in.size()) < count && fill(10000)) {
    }
    const QByteArray taken = m_in.left(qsizetype(count));
    m_in.remove(0, taken.size());
    return taken.toStdString();
}

std::optional<QByteArray> FakeSmtpServer::Conn::readLine()
{
    std::optional<QByteArray> line = through("\r\n");
    if (line) {
        line->chop(2);
        m_server.note(m_session, [&](Session &s) { s.lines.append(*line); });
    }
    return line;
}

std::optional<QByteArray> FakeSmtpServer::Conn::readData()
{
    std::optional<QByteArray> data = through("\r\n.\r\n");
    if (data)
        m_server.note(m_session, [&](Session &s) { s.messages.append(*data); });
    return data;
}

bool FakeSmtpServer::Conn::pause(int ms)
{
    const auto until = Clock::now() + milliseconds(ms);
    while (!m_gone && !m_server.m_stop && Clock::now() < until)
        fill(int(duration_cast<milliseconds>(until - Clock::now()).count()) + 1);
    return !m_gone;
}

void FakeSmtpServer::Conn::hold()
{
    while (!m_gone && !m_server.m_stop) {
        // POLLRDHUP: the client's end, seen although its data stays unread.
        pollfd p{m_fd, POLLRDHUP, 0};
        if (::poll(&p, 1, 20) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)))
            m_gone = true;
    }
}

void FakeSmtpServer::Conn::resetOnClose()
{
    const linger abort{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

void FakeSmtpServer::Conn::sendCloseNotify()
{
    if (ssl)
        SSL_shutdown(ssl);
}

FakeSmtpServer::FakeSmtpServer(Options options)
    : FakeSmtpServer([this](Conn &conn) { serveWilling(conn); }, std::move(options))
{
}

FakeSmtpServer::FakeSmtpServer(Handler handler, Options options)
    : m_options(std::move(options)), m_handler(std::move(handler))
{
    // Another program may take the port on one of the addresses: try again.
    for (int attempt = 0; attempt < 20 && m_listeners.size() < m_options.addresses.size(); ++attempt) {
        for (const auto &[fd, address] : m_listeners)
            ::close(fd);
        m_listeners.clear();
        m_port = m_options.port;
        for (const char *address : m_options.addresses) {
            const int fd = listenOn(address, &m_port, 8, m_options.receiveBuffer);
            if (fd < 0)
                break;
            m_listeners.emplace_back(fd, QString::fromLatin1(address));
        }
    }
    if (m_listeners.size() < m_options.addresses.size()) {
        m_port = 0;
        return;
    }
    identity(m_options.certificate);
    m_thread = std::thread([this] { run(); });
}

FakeSmtpServer::Handler FakeSmtpServer::inTurn(std::vector<Handler> handlers)
{
    // Called on the server's thread only, one connection after another.
    return [handlers = std::move(handlers), next = size_t(0)](Conn &conn) mutable {
        if (!handlers.empty())
            handlers[std::min(next++, handlers.size() - 1)](conn);
    };
}

FakeSmtpServer::~FakeSmtpServer()
{
    stop();
}

int FakeSmtpServer::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    for (const auto &[fd, address] : m_listeners)
        ::close(fd);
    m_listeners.clear();
    return m_accepted;
}

// The server thread goes on appending to its lists; a copy that shared
// their data with it would be released by the test outside the lock, which
// Qt's implicit sharing does not order against the next append.
static FakeSmtpServer::Session detached(const FakeSmtpServer::Session &session)
{
    const auto deep = [](const QList<QByteArray> &list) {
        QList<QByteArray> copy;
        copy.reserve(list.size());
        for (const QByteArray &item : list)
            copy.append(QByteArray(item.constData(), item.size()));
        return copy;
    };
    FakeSmtpServer::Session copy = session;
    copy.address = QString(session.address.constData(), session.address.size());
    copy.lines = deep(session.lines);
    copy.messages = deep(session.messages);
    return copy;
}

std::vector<FakeSmtpServer::Session> FakeSmtpServer::sessions() const
{
    const std::lock_guard lock(m_mutex);
    std::vector<Session> copies;
    for (const Session &session : m_sessions)
        copies.push_back(detached(session));
    return copies;
}

FakeSmtpServer::Session FakeSmtpServer::finish()
{
    std::unique_lock lock(m_mutex);
    m_ended.wait_for(lock, seconds(15), [this] { return !m_sessions.empty() && m_sessions.front().ended; });
    return m_sessions.empty() ? Session{} : detached(m_sessions.front());
}

void FakeSmtpServer::setEndOfData(EndOfData answer)
{
    const std::lock_guard lock(m_mutex);
    m_endOfData = answer;
}

void FakeSmtpServer::setGreeting(const QString &address, const QByteArray &line)
{
    const std::lock_guard lock(m_mutex);
    m_greetings[address] = line;
}

void FakeSmtpServer::setRefusedRecipient(const QByteArray &part, const QByteArray &reply, const QString &address)
{
    const std::lock_guard lock(m_mutex);
    m_refusedRecipient = part;
    m_refusalReply = reply;
    m_refusingAddress = address;
}

void FakeSmtpServer::run()
{
    // The server writes to clients that may have gone: SIGPIPE stays
    // pending on this thread instead of ending the test program.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    std::vector<pollfd> polls;
    for (const auto &[fd, address] : m_listeners)
        polls.push_back({fd, POLLIN, 0});
    for (;;) {
        const bool stopping = m_stop;
        if (::poll(polls.data(), polls.size(), stopping ? 0 : 20) <= 0) {
            if (stopping)
                return;
            continue;
        }
        for (size_t i = 0; i < polls.size(); ++i) {
            if (!(polls[i].revents & POLLIN))
                continue;
            const int fd = ::accept4(polls[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            ++m_accepted;
            timeval limit{5, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
            size_t index;
            {
                const std::lock_guard lock(m_mutex);
                index = m_sessions.size();
                m_sessions.push_back({m_listeners[i].second, {}, {}, Clock::now(), {}, false});
            }
            Conn conn(*this, fd, index);
            if (!stopping && (!m_options.tls || conn.startTls()))
                m_handler(conn);
            SSL_free(conn.ssl);
            ::close(fd);
            note(index, [](Session &s) {
                s.closed = Clock::now();
                s.ended = true;
            });
            m_ended.notify_all();
        }
    }
}

void FakeSmtpServer::serveWilling(Conn &conn)
{
    QByteArray greeting = "220 fake.test ESMTP", refused, refusal;
    {
        const std::lock_guard lock(m_mutex);
        const QString &address = m_sessions[conn.m_session].address;
        const auto found = m_greetings.find(address);
        if (found != m_greetings.end())
            greeting = found->second;
        if (m_refusingAddress.isEmpty() || m_refusingAddress == address) {
            refused = m_refusedRecipient;
            refusal = m_refusalReply;
        }
    }
    const auto reply = [&conn](const QByteArray &text) { return conn.send(text.toStdString() + "\r\n"); };
    if (!reply(greeting))
        return;
    while (const auto line = conn.readLine()) {
        if (line->startsWith("EHLO")) {
            reply("250-fake.test\r\n250-AUTH PLAIN\r\n250 8BITMIME");
        } else if (line->startsWith("RCPT") && !refused.isEmpty() && line->contains(refused)) {
            reply(refusal);
        } else if (*line == "DATA") {
            if (!reply("354 go on") || !conn.readData())
                return;
            std::unique_lock lock(m_mutex);
            const EndOfData answer = m_endOfData;
            lock.unlock();
            if (answer == EndOfData::HangUp)
                return;
            if (answer == EndOfData::Silent) {
                conn.pause(10000); // until the client gives up
                return;
            }
            reply(answer == EndOfData::Refused ? "554 no" : answer == EndOfData::Garbled ? "queued, I think" : "250 queued");
        } else if (*line == "QUIT") {
            reply("221 bye");
            return;
        } else {
            reply(line->startsWith("AUTH") ? "235 ok" : "250 ok");
        }
    }
}

void SmtpScript::operator()(FakeSmtpServer::Conn &conn) const
{
    bool alive = true;
    for (auto step = m_steps.begin(); alive && step != m_steps.end(); ++step) {
        switch (step->kind) {
        case Send:
            alive = conn.send(step->text.toStdString());
            break;
        case ReadLine:
            alive = conn.readLine().has_value();
            break;
        case ReadData:
            alive = conn.readData().has_value();
            break;
        case Pause:
            alive = conn.pause(step->count);
            break;
        case Close:
            return;
        case Flood:
            for (int i = 0; i < step->count && alive; ++i)
                alive = conn.send(step->text.toStdString());
            break;
        case Trickle:
            for (qsizetype i = 0; i < step->text.size() && alive; ++i)
                alive = conn.send(step->text.toStdString().substr(size_t(i), 1)) && conn.pause(step->count);
            break;
        case StartTls:
            alive = conn.startTls();
            break;
        case Reset:
            conn.resetOnClose();
            return;
        case ReadBytes:
            alive = conn.readCount(size_t(step->count)).size() == size_t(step->count);
            break;
        case Stall:
            conn.hold();
            return;
        case Willing:
            conn.serveWilling();
            return;
        }
    }
    while (alive && conn.readLine()) {
    }
}

bool FakeSmtpServer::ipv6Available()
{
    quint16 port = 0;
    const int fd = listenOn("::1", &port);
    ::close(fd);
    return fd >= 0;
}

quint16 FakeSmtpServer::closedPort()
{
    quint16 port = 0;
    ::close(listenOn("127.0.0.1", &port));
    return port;
}

int FakeSmtpServer::openDescriptorCount()
{
    int count = 0;
    if (DIR *dir = ::opendir("/proc/self/fd")) {
        while (const dirent *entry = ::readdir(dir))
            count += entry->d_name[0] != '.';
        ::closedir(dir);
    }
    return count;
}

std::string FakeSmtpServer::certificateFile(PeerCertificate certificate)
{
    return identity(certificate).file;
}

std::unique_ptr<FakeSmtpServer> makeStalledSmtpServer()
{
    const SmtpScript stalls = SmtpScript().hello("SIZE").on("250 ok\r\n").on("250 ok\r\n").on("354 go\r\n").stall();
    // A small window, so that little of the message goes beyond the client.
    return std::make_unique<FakeSmtpServer>(stalls, FakeServerOptions{.receiveBuffer = 16384});
}

TrustedCertificate::TrustedCertificate(std::optional<PeerCertificate> certificate)
{
    if (const char *value = std::getenv("SSL_CERT_FILE"))
        m_previous = value;
    if (certificate)
        ::setenv("SSL_CERT_FILE", FakeSmtpServer::certificateFile(*certificate).c_str(), 1);
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
    // Backlog 0 queues one connection; with it taken and never accepted,
    // the kernel drops every later SYN.
    m_listenFd = listenOn("127.0.0.1", &m_port, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(m_port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    m_fillerFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::connect(m_fillerFd, reinterpret_cast<sockaddr *>(&a), sizeof a);
}

StalledListener::~StalledListener()
{
    ::close(m_fillerFd);
    ::close(m_listenFd);
}
