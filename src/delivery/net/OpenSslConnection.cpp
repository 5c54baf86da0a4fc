#include "OpenSslConnection.h"

#include "NetConnection_OpenSsl.h"
#include "NetConnection_Posix.h"
#include "PollWait.h"
#include "Stream_OpenSsl.h"

#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
// How long a wait runs before keepGoing is asked again.
constexpr int SliceMs = 50;
} // namespace

OpenSslConnection::OpenSslConnection(const QString &hostname, int port, bool tlsFromFirstByte)
    : m_tlsFromFirstByte(tlsFromFirstByte)
{
    try {
        // A negative port becomes a value above 65535, which the connection refuses.
        m_netConnection = std::make_unique<App::NetConnection_OpenSsl>(hostNameBytes(hostname).toStdString(),
                                                                       uint32_t(port));
        setTimeout(defaultTimeout);
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

void OpenSslConnection::setTimeout(std::chrono::milliseconds timeout)
{
    m_timeout = timeout;
    if (m_netConnection) {
        m_netConnection->setConnectTimeout(timeout);
        m_netConnection->setHandshakeTimeout(timeout);
    }
}

void OpenSslConnection::fail(int code, const QString &text)
{
    m_lastSystemError = code;
    m_lastErrorText = text;
}

int OpenSslConnection::noteCurrentException(const char *during)
{
    const QString prefix = QString::fromLatin1(during) + QStringLiteral(": ");
    const auto noteReset = [this](int error) { m_reset = m_reset || error == ECONNRESET || error == EPIPE; };
    try {
        throw;
    } catch (const App::Stream_OpenSsl::SslOpenException &e) {
        fail(e.code(), QString::fromStdString(e.reason()));
    } catch (const App::Stream_OpenSsl::SslReadException &e) {
        const App::Stream_OpenSsl *tls = m_netConnection ? m_netConnection->sslStream() : nullptr;
        noteReset(tls ? tls->lastSystemErrno() : 0);
        fail(tls ? tls->lastErrorCode() : 0, prefix + QString::fromStdString(e.reason()));
    } catch (const App::Stream_OpenSsl::SslWriteException &e) {
        const App::Stream_OpenSsl *tls = m_netConnection ? m_netConnection->sslStream() : nullptr;
        noteReset(tls ? tls->lastSystemErrno() : 0);
        fail(tls ? tls->lastErrorCode() : 0, prefix + QString::fromStdString(e.reason()));
    } catch (const App::InputStream::ReadException &e) {
        // The plain stream's codes are minus errno.
        noteReset(-e.code());
        fail(-e.code(), prefix + QString::fromLocal8Bit(std::strerror(-e.code())));
    } catch (const App::OutputStream::WriteException &e) {
        noteReset(-e.code());
        fail(-e.code(), prefix + QString::fromLocal8Bit(std::strerror(-e.code())));
    } catch (const App::NetConnectionException &) {
        fail(0, prefix + QStringLiteral("not connected"));
    } catch (const std::exception &e) {
        fail(0, prefix + QString::fromLocal8Bit(e.what()));
    } catch (...) {
        fail(0, prefix + QStringLiteral("unknown failure"));
    }
    return m_lastSystemError != 0 ? m_lastSystemError : -1;
}

void OpenSslConnection::noteTlsEnd()
{
    const App::Stream_OpenSsl *tls = m_sslEnabled && m_netConnection ? m_netConnection->sslStream() : nullptr;
    if (tls && tls->atEnd() && !tls->lastErrorText().empty())
        fail(tls->lastErrorCode(), QString::fromStdString(tls->lastErrorText()));
}

void OpenSslConnection::failOpen()
{
    try {
        m_netConnection->close();
    } catch (...) {
    }
    m_sslEnabled = false;
    m_state = State::Failed;
}

int OpenSslConnection::open()
{
    if (!m_netConnection) {
        fail(0, QStringLiteral("no connection could be made for this server name"));
        return -1;
    }
    switch (m_state) {
    case State::Failed:
        return -1;
    case State::Connecting:
    case State::Handshaking:
    case State::Open:
        return 0;
    case State::Idle:
        break;
    }
    m_lastErrorText.clear();
    m_lastSystemError = 0;
    m_reset = false;
    App::NetConnection_Posix &plain = m_netConnection->plainConnection();
    if (plain.startOpen() != 0) {
        fail(plain.lastError(), QString::fromStdString(plain.lastErrorText()));
        failOpen();
        return -1;
    }
    m_state = State::Connecting;
    // A connect on loopback may be done at once.
    waitUntilOpened(0);
    return m_state == State::Failed ? -1 : 0;
}

bool OpenSslConnection::waitUntilOpened(int timeoutMs)
{
    const auto sliceEnd = timeoutMs < 0 ? App::SteadyClock::time_point::max()
                                        : App::SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    auto left = [&] { return timeoutMs < 0 ? -1 : App::millisecondsUntil(sliceEnd); };
    if (m_state == State::Connecting) {
        App::NetConnection_Posix &plain = m_netConnection->plainConnection();
        const int result = plain.continueOpen(left());
        if (result < 0) {
            fail(plain.lastError(), QString::fromStdString(plain.lastErrorText()));
            failOpen();
        } else if (result > 0) {
            if (!m_tlsFromFirstByte) {
                m_state = State::Open;
            } else {
                try {
                    m_netConnection->beginEncryptedConnection();
                    m_state = State::Handshaking;
                } catch (...) {
                    noteCurrentException("starting TLS");
                    failOpen();
                }
            }
        }
    }
    if (m_state == State::Handshaking) {
        try {
            if (m_netConnection->continueEncryptedConnection(left())) {
                m_sslEnabled = true;
                m_state = State::Open;
            }
        } catch (...) {
            noteCurrentException("starting TLS");
            failOpen();
        }
    }
    return !isOpening();
}

int OpenSslConnection::startSsl()
{
    return startSsl(m_timeout, {});
}

int OpenSslConnection::startSsl(std::chrono::milliseconds timeout, const std::function<bool()> &keepGoing)
{
    if (!m_netConnection) {
        fail(0, QStringLiteral("no connection could be made for this server name"));
        return -1;
    }
    if (m_sslEnabled)
        return 0;
    auto cancelled = [&] {
        if (!keepGoing || keepGoing())
            return false;
        fail(0, QStringLiteral("cancelled"));
        close();
        return true;
    };
    if (!isOpen()) {
        if (open() != 0)
            return -1;
        while (!waitUntilOpened(SliceMs)) {
            if (cancelled())
                return Cancelled;
        }
        if (!isOpen())
            return -1;
        if (m_sslEnabled)
            return 0; // opening already started TLS
    }
    m_netConnection->setHandshakeTimeout(timeout);
    try {
        m_netConnection->beginEncryptedConnection();
        while (!m_netConnection->continueEncryptedConnection(SliceMs)) {
            if (cancelled())
                return Cancelled;
        }
    } catch (...) {
        noteCurrentException("starting TLS");
        m_netConnection->setHandshakeTimeout(m_timeout);
        return -1;
    }
    m_netConnection->setHandshakeTimeout(m_timeout);
    m_sslEnabled = true;
    return 0;
}

void OpenSslConnection::close()
{
    if (!m_netConnection || m_state == State::Idle || m_state == State::Failed)
        return;
    m_state = State::Idle;
    m_sslEnabled = false;
    try {
        m_netConnection->close();
    } catch (...) {
    }
}

void OpenSslConnection::abort()
{
    if (m_netConnection && m_state == State::Open)
        m_netConnection->plainConnection().resetOnClose();
    close();
}

bool OpenSslConnection::atEnd() const
{
    if (!isOpen())
        return false;
    try {
        return m_netConnection->inputStream().atEnd();
    } catch (...) {
        return false;
    }
}

bool OpenSslConnection::waitUntilReadable(int timeoutMs)
{
    if (!isOpen())
        return true;
    try {
        return m_netConnection->inputStream().waitUntilReadable(timeoutMs);
    } catch (...) {
        return true; // the read that follows reports it
    }
}

bool OpenSslConnection::waitUntilWritable(int timeoutMs)
{
    if (!isOpen())
        return true;
    try {
        return m_netConnection->outputStream().waitUntilWritable(timeoutMs);
    } catch (...) {
        return true;
    }
}
