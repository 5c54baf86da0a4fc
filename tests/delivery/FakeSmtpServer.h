#pragma once

// The loopback servers of the delivery tests: one fake SMTP server (or any
// TCP or TLS peer) on its own thread that serves connections one after
// another and records what each client sent; and the listeners, ports and
// trust stores the connection tests need beside it.

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using SSL = struct ssl_st;

// The server's self-signed certificate: for DNS:localhost and IP:127.0.0.1,
// or for another name only.
enum class PeerCertificate { Localhost, OtherName };

struct FakeServerOptions {
    std::vector<const char *> addresses{"127.0.0.1"}; // all on one port; "::1" for IPv6
    bool tls = false;                                   // handshake right after accept
    PeerCertificate certificate = PeerCertificate::Localhost;
    int receiveBuffer = 0; // SO_RCVBUF of the accepted sockets; 0: the system's
    quint16 port = 0;      // 0: any free one
};

class FakeSmtpServer {
public:
    using Clock = std::chrono::steady_clock;

    // What one connection brought, as far as the server read it.
    struct Session {
        QString address;                       // the listening address the client reached
        QList<QByteArray> lines;               // command lines without CRLF, noted before their reply
        QList<QByteArray> messages;            // DATA texts, with the final dot
        Clock::time_point opened, closed;
        bool ended = false;
        [[nodiscard]] bool saw(const QByteArray &prefix) const;
    };

    // The server side of one accepted connection. A read gives up after
    // 10 s, when the client closes, or when the server stops.
    class Conn {
    public:
        SSL *ssl = nullptr;
        std::string sniName; // the name the client sent, after a handshake

        bool startTls();
        bool send(std::string_view bytes);
        // All read up to and with marker (or up to the end, an error, the time-out).
        std::string readUntil(std::string_view marker);
        std::string readCount(size_t count);
        std::optional<QByteArray> readLine();
        std::optional<QByteArray> readData();
        // Waits, reading; false when the client went away meanwhile.
        bool pause(int ms);
        // Waits without reading until the client goes or the server stops:
        // the client's writes stall once the socket buffers are full.
        void hold();
        // The connection ends with a reset instead of a clean end.
        void resetOnClose();
        void sendCloseNotify();
        // Goes on as the willing server does.
        void serveWilling() { m_server.serveWilling(*this); }

    private:
        friend class FakeSmtpServer;
        Conn(FakeSmtpServer &server, int fd, size_t session) : m_server(server), m_fd(fd), m_session(session) {}
        bool fill(int timeoutMs);
        std::optional<QByteArray> through(const QByteArray &marker);

        FakeSmtpServer &m_server;
        int m_fd;
        size_t m_session;
        QByteArray m_in;
        bool m_gone = false;
    };
    using Handler = std::function<void(Conn &)>;

    using Options = FakeServerOptions;

    // A willing SMTP server: answers every command as a real one would.
    explicit FakeSmtpServer(Options options = {});
    // Each connection plays the next of these; the last plays on for all
    // that follow.
    explicit FakeSmtpServer(Handler handler, Options options = {});
    [[nodiscard]] static Handler inTurn(std::vector<Handler> handlers);
    ~FakeSmtpServer();
    FakeSmtpServer(const FakeSmtpServer &) = delete;
    FakeSmtpServer &operator=(const FakeSmtpServer &) = delete;

    [[nodiscard]] quint16 port() const { return m_port; }
    [[nodiscard]] std::vector<Session> sessions() const;
    // The first session, once it has ended (waits up to 15 s for that).
    Session finish();
    // Stops serving (connections already waiting are taken and closed) and
    // returns the number accepted.
    int stop();

    // How the willing server answers.
    enum class EndOfData { Queued, Refused, HangUp, Garbled, Silent };
    void setEndOfData(EndOfData answer);
    void setGreeting(const QString &address, const QByteArray &line);
    // RCPT lines holding `part` get `reply`, on connections to `address`
    // (empty: any of them).
    void setRefusedRecipient(const QByteArray &part, const QByteArray &reply = "550 no such user",
                             const QString &address = {});

    static bool ipv6Available();
    // A loopback port on which nothing listens.
    static quint16 closedPort();
    static int openDescriptorCount();
    // A PEM file holding the certificate, for SSL_CERT_FILE.
    static std::string certificateFile(PeerCertificate certificate);

private:
    void run();
    void serveWilling(Conn &conn);
    template<typename Change>
    void note(size_t session, Change change)
    {
        const std::lock_guard lock(m_mutex);
        change(m_sessions[session]);
    }

    Options m_options;
    Handler m_handler;
    std::vector<std::pair<int, QString>> m_listeners;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    int m_accepted = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_ended;
    std::vector<Session> m_sessions;
    EndOfData m_endOfData = EndOfData::Queued;
    std::map<QString, QByteArray> m_greetings;
    QByteArray m_refusedRecipient;
    QByteArray m_refusalReply;
    QString m_refusingAddress;
    std::thread m_thread;
};

// One scripted conversation, for the replies a real server will not give on
// demand. After the script the server reads on until the client closes.
class SmtpScript {
public:
    SmtpScript &send(const QByteArray &text) { return add(Send, text); }
    // Reads the client's next line, then answers.
    SmtpScript &on(const QByteArray &reply) { return readLine().send(reply); }
    SmtpScript &readLine() { return add(ReadLine); }
    SmtpScript &readData() { return add(ReadData); }
    SmtpScript &pause(int ms) { return add(Pause, {}, ms); }
    SmtpScript &close() { return add(Close); }
    // Closes with a reset (a close with data still unread is one anyway).
    SmtpScript &reset() { return add(Reset); }
    SmtpScript &readBytes(int count) { return add(ReadBytes, {}, count); }
    // Stops reading and keeps the connection until the client goes.
    SmtpScript &stall() { return add(Stall); }
    // From here on as the willing server.
    SmtpScript &willing() { return add(Willing); }
    SmtpScript &flood(const QByteArray &text, int times) { return add(Flood, text, times); }
    // One byte at a time, a pause of everyMs after each: a reply that never
    // falls silent for long, yet takes its time to come whole.
    SmtpScript &trickle(const QByteArray &text, int everyMs) { return add(Trickle, text, everyMs); }
    SmtpScript &startTls() { return add(StartTls); }
    // A greeting and a 250 to EHLO that offers the given keywords.
    SmtpScript &hello(const QByteArray &keywords = "AUTH PLAIN LOGIN")
    {
        return send("220 fake.test ESMTP\r\n").on("250-fake.test\r\n250-" + keywords + "\r\n250 8BITMIME\r\n");
    }
    void operator()(FakeSmtpServer::Conn &conn) const;

private:
    enum Kind { Send, ReadLine, ReadData, Pause, Close, Flood, Trickle, StartTls, Reset, ReadBytes, Stall, Willing };
    struct Step {
        Kind kind;
        QByteArray text;
        int count = 0;
    };
    SmtpScript &add(Kind kind, const QByteArray &text = {}, int count = 0)
    {
        m_steps.push_back({kind, text, count});
        return *this;
    }
    std::vector<Step> m_steps;
};

// A server that takes the envelope and answers DATA, then reads no more, on
// every connection: a client's message stalls once the socket buffers are
// full, which a message larger than the system's largest TCP send buffer
// (net.ipv4.tcp_wmem, 4 MB by default) does for sure.
[[nodiscard]] std::unique_ptr<FakeSmtpServer> makeStalledSmtpServer();

// Points SSL_CERT_FILE at a server certificate (or, with none, removes it)
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
