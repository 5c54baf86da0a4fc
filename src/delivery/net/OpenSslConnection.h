#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

namespace App {
class NetConnection_OpenSsl;
}

// The connection framework as plain calls with 0 / -1 results: nothing
// above this class sees an exception from the connection. Shared by the
// input and output stream of one session.
class OpenSslConnection {
public:
    // Nothing is opened here. With tlsFromFirstByte, open() also runs the
    // TLS handshake (the socket streams of encryption mode 1); otherwise the
    // connection stays plain until startSsl() (STARTTLS).
    OpenSslConnection(const QString &hostname, int port, bool tlsFromFirstByte = false);
    ~OpenSslConnection();

    OpenSslConnection(const OpenSslConnection &) = delete;
    OpenSslConnection &operator=(const OpenSslConnection &) = delete;

    [[nodiscard]] int open();
    // 0 also when TLS is already on.
    [[nodiscard]] int startSsl();
    void close();
    [[nodiscard]] bool isOpen() const { return m_open; }
    [[nodiscard]] bool isSslEnabled() const { return m_sslEnabled; }
    // None when its creation failed.
    [[nodiscard]] App::NetConnection_OpenSsl *connectionObject() const { return m_netConnection.get(); }

    // The bytes handed to the resolver for a host name: the ASCII (IDNA) form
    // of an international name, else its ISO 8859-1 bytes; empty when the
    // name cannot be a host name (empty, or NUL inside).
    [[nodiscard]] static QByteArray hostNameBytes(const QString &hostname);

private:
    std::unique_ptr<App::NetConnection_OpenSsl> m_netConnection;
    bool m_open = false;
    bool m_sslEnabled = false;
    bool m_tlsFromFirstByte = false;
};
