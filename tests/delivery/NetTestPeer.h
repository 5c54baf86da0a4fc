#pragma once

// A loopback TCP or TLS server on its own thread for the connection tests:
// accepts connections one after another and runs a scripted handler on each.

#include <QtGlobal>

#include <optional>

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

using SSL = struct ssl_st;

// The peer's self-signed certificate: for DNS:localhost and IP:127.0.0.1,
// or for another name only.
enum class PeerCertificate { Localhost, OtherName };

class NetTestPeer {
public:
    // The server side of one accepted connection (blocking, 5 s receive limit).
    struct Conn {
        int fd = -1;
        SSL *ssl = nullptr;
        PeerCertificate certificate = PeerCertificate::Localhost;
        std::string sniName; // the name the client sent, after a TLS handshake

        bool startTls();
        bool send(std::string_view bytes);
        // Reads until marker was seen (or end, error, time-out); returns all read.
        std::string readUntil(std::string_view marker);
        std::string readCount(size_t count);
        void sendCloseNotify();
    };
    using Handler = std::function<void(Conn &)>;

    // address: "127.0.0.1" or "::1"; tls: handshake right after accept.
    // STARTTLS in a handler (Conn::startTls) uses the same certificate.
    NetTestPeer(const char *address, bool tls, Handler handler,
                PeerCertificate certificate = PeerCertificate::Localhost);
    ~NetTestPeer();

    [[nodiscard]] quint16 port() const { return m_port; }
    // Stops serving (connections already waiting are counted) and returns the number accepted.
    int stop();

    static bool ipv6Available();
    // A loopback port on which nothing listens.
    static quint16 closedPort();
    static int openDescriptorCount();
    // A PEM file holding the certificate, for SSL_CERT_FILE.
    static std::string certificateFile(PeerCertificate certificate);

private:
    void run();

    int m_listenFd = -1;
    quint16 m_port = 0;
    bool m_tls = false;
    PeerCertificate m_certificate;
    Handler m_handler;
    std::atomic<bool> m_stop{false};
    int m_accepted = 0;
    std::thread m_thread;
};

// Points SSL_CERT_FILE at a peer certificate (or, with none, removes it)
// for its lifetime; the client context follows the variable.
class TrustedCertificate {
public:
    explicit TrustedCertificate(std::optional<PeerCertificate> certificate);
    ~TrustedCertificate();
    TrustedCertificate(const TrustedCertificate &) = delete;
    TrustedCertificate &operator=(const TrustedCertificate &) = delete;

private:
    std::optional<std::string> m_previous;
};

// A loopback listener whose accept queue is full: a connect to it is never
// answered, like one to a host that drops every packet.
class StalledListener {
public:
    StalledListener();
    ~StalledListener();
    StalledListener(const StalledListener &) = delete;
    StalledListener &operator=(const StalledListener &) = delete;
    [[nodiscard]] quint16 port() const { return m_port; }

private:
    int m_listenFd = -1;
    int m_fillerFd = -1;
    quint16 m_port = 0;
};
