#pragma once

// A loopback TCP or TLS server on its own thread for the connection tests:
// accepts connections one after another and runs a scripted handler on each.

#include <QtGlobal>

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

using SSL = struct ssl_st;

class NetTestPeer {
public:
    // The server side of one accepted connection (blocking, 5 s receive limit).
    struct Conn {
        int fd = -1;
        SSL *ssl = nullptr;
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
    NetTestPeer(const char *address, bool tls, Handler handler);
    ~NetTestPeer();

    [[nodiscard]] quint16 port() const { return m_port; }
    // Stops serving (connections already waiting are counted) and returns the number accepted.
    int stop();

    static bool ipv6Available();
    // A loopback port on which nothing listens.
    static quint16 closedPort();
    static int openDescriptorCount();

private:
    void run();

    int m_listenFd = -1;
    quint16 m_port = 0;
    bool m_tls = false;
    Handler m_handler;
    std::atomic<bool> m_stop{false};
    int m_accepted = 0;
    std::thread m_thread;
};
