#include "OpenSslConnection.h"

#include "NetConnection_OpenSsl.h"

#include <QUrl>

OpenSslConnection::OpenSslConnection(const QString &hostname, int port, bool tlsFromFirstByte)
    : m_tlsFromFirstByte(tlsFromFirstByte)
{
    try {
        // A negative port becomes a value above 65535, which the connection refuses.
        m_netConnection = std::make_unique<App::NetConnection_OpenSsl>(hostNameBytes(hostname).toStdString(),
                                                                       uint32_t(port));
    } catch (...) {
        m_netConnection.reset();
    }
}

OpenSslConnection::~OpenSslConnection()
{
    close();
    try {
        m_netConnection.reset();
    } catch (...) {
    }
}

QByteArray OpenSslConnection::hostNameBytes(const QString &hostname)
{
    if (hostname.isEmpty() || hostname.contains(QChar(0)))
        return {};
    bool ascii = true;
    for (const QChar c : hostname)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii)
        return hostname.toLatin1();
    // An international name resolves only in its ASCII form.
    const QByteArray ace = QUrl::toAce(hostname);
    return ace.isEmpty() ? hostname.toLatin1() : ace;
}

int OpenSslConnection::open()
{
    if (!m_netConnection)
        return -1;
    if (m_open)
        return 0;
    int result = -1;
    try {
        result = m_netConnection->openPlainConnection();
    } catch (...) {
        result = -1;
    }
    if (result != 0)
        return -1;
    m_open = true;
    if (m_tlsFromFirstByte && startSsl() != 0) {
        close();
        return -1;
    }
    return 0;
}

int OpenSslConnection::startSsl()
{
    if (!m_netConnection)
        return -1;
    if (m_sslEnabled)
        return 0;
    if (!m_open) {
        const int result = open();
        if (result != 0)
            return result;
        if (m_sslEnabled)
            return 0; // open() already started TLS
    }
    m_sslEnabled = true;
    int result = -1;
    try {
        result = m_netConnection->openEncryptedConnection();
    } catch (...) {
        result = -1;
    }
    if (result != 0) {
        m_sslEnabled = false;
        return -1;
    }
    return 0;
}

void OpenSslConnection::close()
{
    if (!m_netConnection || !m_open)
        return;
    m_open = false;
    m_sslEnabled = false;
    try {
        m_netConnection->close();
    } catch (...) {
    }
}
