#include "SMTP_Session.h"

#include "OpenSslConnection.h"
#include "OpenSslInputStream.h"
#include "OpenSslOutputStream.h"
#include "SmtpText.h"
#include "SocketStreams.h"
#include "StreamStatusCheck.h"

#include <QList>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <unistd.h>
#include <utility>

namespace {

constexpr int ReplyCodeCancelled = 16;
constexpr int ErrBadEnvelope = 1;
constexpr int ErrNoConnect = 2;
constexpr int ErrBadGreeting = 5;
constexpr int ErrHelloWrite = 6;
constexpr int ErrHelloReply = 7;
constexpr int ErrRcptReply = 8;
constexpr int ErrDataReply = 9;
constexpr int ErrEndReply = 10;
constexpr int ErrAuth = 12;
constexpr int ErrAuthSequence = 13;
constexpr int ErrMailFromReply = 14;
constexpr int ErrRcptRefused = 15;
constexpr int ErrStartTls = 17;

// A wait's limit in seconds: its own, cut to what is left before the
// session's deadline; 0 once that has passed.
double secondsLeft(const SMTP_Session &session, double limit)
{
    if (!session.deadline)
        return limit;
    const double left = std::chrono::duration<double>(*session.deadline - std::chrono::steady_clock::now()).count();
    return std::clamp(left, 0.0, limit);
}

struct Capabilities {
    bool authOffered = false;
    uint8_t auth = 0;
    bool startTls = false;
};

// RFC 5321 4.1.1.1: the first line of the EHLO reply is the greeting, each
// further line one keyword with its parameters. "AUTH=LOGIN PLAIN" is the
// form of servers written before RFC 4954.
Capabilities parseCapabilities(const QByteArray &reply)
{
    Capabilities caps;
    const QList<QByteArray> lines = reply.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed().toUpper();
        if (line.size() < 4)
            continue;
        const QList<QByteArray> words = line.mid(4).replace('=', ' ').simplified().split(' ');
        if (words.isEmpty())
            continue;
        if (words.first() == "STARTTLS") {
            caps.startTls = true;
        } else if (words.first() == "AUTH") {
            caps.authOffered = true;
            for (const QByteArray &word : words) {
                if (word == "PLAIN")
                    caps.auth |= SMTP_Session::AuthPlain;
                else if (word == "LOGIN")
                    caps.auth |= SMTP_Session::AuthLogin;
            }
        }
    }
    return caps;
}

// RFC 5321 4.2: three digits, the first 2 to 5 (1 is kept for the
// extensions that use it), then a space, a hyphen or the end of the line.
enum class LineKind { Continues, Last, Malformed };

LineKind classifyReplyLine(const QByteArray &line, int *code)
{
    if (line.size() < 3 || line[0] < '1' || line[0] > '5' || line[1] < '0' || line[1] > '9' || line[2] < '0'
        || line[2] > '9')
        return LineKind::Malformed;
    *code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    if (line.size() == 3 || line[3] == ' ')
        return LineKind::Last;
    return line[3] == '-' ? LineKind::Continues : LineKind::Malformed;
}

void storeReply(SMTP_Session &session, int code)
{
    session.lastReplyCode = code;
    QByteArray text = session.fullReply;
    for (char &c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t' && c != '\r' && c != '\n') || u == 0x7F)
            c = '?';
    }
    qsizetype length = std::min<qsizetype>(text.size(), SMTP_Session::ReplyBufferSize - 1);
    // Do not leave half a UTF-8 sequence at the cut.
    if (length < text.size()) {
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
            --length;
    }
    std::memcpy(session.lastReply, text.constData(), size_t(length));
    session.lastReply[length] = '\0';
}

// Replaces a secret that a server echoed back, so that it cannot reach an
// error text or a log.
void scrubSecret(SMTP_Session &session, const QByteArray &secret)
{
    if (secret.isEmpty() || !session.fullReply.contains(secret))
        return;
    session.fullReply.replace(secret, "********");
    storeReply(session, session.lastReplyCode);
}

void wipe(QByteArray &secret)
{
    secret.fill('\0');
    secret.clear();
}

// The name of a command for the error text: its verb alone, as AUTH
// carries the credentials. The lines that continue AUTH LOGIN name nothing.
QString commandName(const QByteArray &line)
{
    static const std::pair<const char *, const char *> names[] = {
        {"EHLO ", "EHLO"},
        {"HELO ", "HELO"},
        {"STARTTLS", "STARTTLS"},
        {"AUTH ", "AUTH"},
        {"MAIL FROM:", "MAIL FROM"},
        {"RCPT TO:", "RCPT TO"},
        {"DATA", "DATA"},
        {".", "the end of the message"},
    };
    for (const auto &[prefix, name] : names) {
        if (line.startsWith(prefix))
            return QString::fromLatin1(name);
    }
    return QString();
}

void noteStreamError(SMTP_Session &session, const ByteStream &stream)
{
    if (const auto error = stream.streamError())
        session.lastSystemError = error->code;
}

// Why a write of `what` failed (the writer's -1), where no reply tells.
void noteWriteFailure(SMTP_Session &session, const QString &what)
{
    const OutputByteStream &stream = session.lineWriter->stream();
    const QString detail = SocketStreams::lastErrorText(stream);
    int code = SocketStreams::lastSystemError(stream);
    if (const auto error = stream.streamError(); code == 0 && error)
        code = error->code;
    if (code != 0)
        session.lastSystemError = code;
    // Still open and nothing went wrong on it: the server took no data.
    if (streamIsUsable(stream.streamStatus()) && detail.isEmpty() && code == 0) {
        session.timedOut = true;
        session.lastErrorText = QStringLiteral("the server took nothing for %1 s while %2 was sent")
                                    .arg(session.lineWriter->timeout())
                                    .arg(what);
        return;
    }
    session.lastErrorText = QStringLiteral("the connection was lost while sending %1").arg(what)
        + (detail.isEmpty() ? QString() : QStringLiteral(": ") + detail);
}

// Command lines are written without the progress delegate (the writer
// answers for itself), unless the session is within the text transfer.
int writeCommand(SMTP_Session &session, const QByteArray &line)
{
    if (!session.lineWriter)
        return -1;
    const QString name = commandName(line);
    if (!name.isEmpty())
        session.awaitedReply = QStringLiteral("reply to ") + name;
    session.settled = false;
    session.timedOut = false;
    session.lineWriter->setTimeout(secondsLeft(session, session.timeoutTime));
    session.lineWriter->setDelegate(session.sendCallback);
    const int result = session.lineWriter->writeLineBytes(line);
    if (result == -1)
        noteWriteFailure(session, name.isEmpty() ? QStringLiteral("a command") : name);
    return result;
}

int failConnect(SMTP_Session &session, int code)
{
    smtp_closeStreams(session);
    return code;
}

// Every TLS failure is 17; the reason goes into the error text, as no
// server reply tells it.
int failTls(SMTP_Session &session, QString reason)
{
    // The text may quote the peer's certificate: no control characters.
    for (QChar &c : reason) {
        if (c.category() == QChar::Other_Control)
            c = u'?';
    }
    session.lastErrorText = reason;
    return failConnect(session, ErrStartTls);
}

std::chrono::milliseconds sessionTimeout(const SMTP_Session &session)
{
    // At least a millisecond: 0 would mean no limit to some waits.
    return std::max(std::chrono::milliseconds(1),
                    std::chrono::milliseconds(qint64(secondsLeft(session, std::max(1, session.timeoutTime)) * 1000)));
}

// The handshake on the session's connection: bounded by the session's
// time-out, and the progress delegate can stop it like any other wait.
int startTls(SMTP_Session &session)
{
    if (!session.sslConnection || !session.lineReader)
        return failTls(session, QStringLiteral("no connection for TLS"));
    LineReader &reader = *session.lineReader;
    SmtpProgressDelegate *delegate = session.receiveCallback;
    const int result = session.sslConnection->startSsl(sessionTimeout(session), [&reader, delegate] {
        return !delegate || delegate->lineReaderHandleEvent(reader, SmtpProgressDelegate::ReadingPassEnded);
    });
    if (result == 0)
        return 0;
    if (result == OpenSslConnection::Cancelled)
        return failConnect(session, ReplyCodeCancelled);
    session.lastSystemError = session.sslConnection->lastSystemError();
    const QString reason = session.sslConnection->lastErrorText();
    return failTls(session, reason.isEmpty() ? QStringLiteral("TLS handshake failed") : reason);
}

// Why no reply could be taken from the reader.
QString missingReplyReason(const SMTP_Session &session, LineReader::End end, double seconds)
{
    const QString &what = session.awaitedReply;
    switch (end) {
    case LineReader::End::TimedOut:
        return QStringLiteral("no complete %1 within %2 s").arg(what, QString::number(seconds, 'g', 3));
    case LineReader::End::Cancelled:
        return QStringLiteral("stopped while waiting for the %1").arg(what);
    case LineReader::End::Closed:
        return QStringLiteral("the server closed the connection before the %1 was complete").arg(what);
    case LineReader::End::StreamFailed: {
        const QString detail = SocketStreams::lastErrorText(session.lineReader->stream());
        return QStringLiteral("the connection failed while waiting for the %1").arg(what)
            + (detail.isEmpty() ? QString() : QStringLiteral(": ") + detail);
    }
    case LineReader::End::LineTooLong:
    case LineReader::End::None:
        break;
    }
    return QStringLiteral("the %1 could not be read").arg(what);
}

} // namespace

int smtp_getreply(SMTP_Session &session)
{
    session.fullReply.clear();
    session.replyCancelled = false;
    session.timedOut = false;
    session.lastErrorText.clear();
    int code = -1;
    int lines = 0;
    LineReader::End end = LineReader::End::None;
    // RFC 5321 4.5.3.2 gives each stage a time for its reply; a server that
    // sends a byte now and then must not stretch it without end.
    const double seconds = session.lineReader ? secondsLeft(session, session.lineReader->timeout()) : 0;
    if (session.lineReader)
        session.lineReader->setDeadline(seconds);
    while (session.lineReader) {
        const std::optional<QString> line = session.lineReader->readLine();
        if (!line) {
            end = session.lineReader->lastEnd();
            session.replyCancelled = end == LineReader::End::Cancelled;
            session.timedOut = end == LineReader::End::TimedOut;
            if (end == LineReader::End::StreamFailed)
                noteStreamError(session, session.lineReader->stream());
            break;
        }
        const QByteArray bytes = line->toUtf8();
        if (++lines > SMTP_Session::MaxReplyLines
            || session.fullReply.size() + bytes.size() + 2 > SMTP_Session::MaxReplyBytes)
            break;
        session.fullReply += bytes + "\r\n";
        int lineCode = -1;
        const LineKind kind = classifyReplyLine(bytes, &lineCode);
        if (kind == LineKind::Last)
            code = lineCode;
        if (kind != LineKind::Continues)
            break;
    }
    if (session.lineReader) {
        session.lineReader->clearDeadline();
        if (code == -1)
            session.lastErrorText = missingReplyReason(session, end, seconds);
    }
    storeReply(session, code);
    session.settled = code != -1;
    return code;
}

int smtp_openStreams(SMTP_Session &session, const char *serverName, uint16_t port)
{
    smtp_closeStreams(session);
    const std::optional<QString> host = SocketStreams::hostWithName(QString::fromUtf8(serverName));
    if (!host)
        return ErrNoConnect;
    std::shared_ptr<InputByteStream> input;
    std::shared_ptr<OutputByteStream> output;
    switch (session.encryption) {
    case 0:
        if (!SocketStreams::getStreamsToHost(*host, port, false, &input, &output, sessionTimeout(session)))
            return ErrNoConnect;
        break;
    case 1:
    case 2:
        // TLS from the first byte is started by hand right after the connect,
        // so that a failed handshake is told apart from a failed connect.
        session.sslConnection = std::make_shared<OpenSslConnection>(*host, port);
        session.sslConnection->setTimeout(sessionTimeout(session));
        input = std::make_shared<OpenSslInputStream>(session.sslConnection);
        output = std::make_shared<OpenSslOutputStream>(session.sslConnection);
        break;
    default:
        // An unknown mode must not quietly become plain text.
        return ErrNoConnect;
    }
    if (!input || !output)
        return failConnect(session, ErrNoConnect);
    session.lineReader = std::make_unique<LineReader>(input);
    session.lineWriter = std::make_unique<LineWriter>(output);
    session.awaitedReply = QStringLiteral("greeting");
    session.lineReader->setTimeout(session.timeoutTime);
    session.lineWriter->setTimeout(session.timeoutTime);
    // Set before opening, so that a slow connect can be cancelled too.
    session.lineReader->setDelegate(session.receiveCallback);
    int result = session.lineReader->openStream();
    if (result == 0)
        result = session.lineWriter->openStream();
    if (result == ReplyCodeCancelled)
        return failConnect(session, ReplyCodeCancelled);
    if (result != 0) {
        noteStreamError(session, *input);
        noteStreamError(session, *output);
        return failConnect(session, ErrNoConnect);
    }
    return session.encryption == 1 ? startTls(session) : 0;
}

int smtp_handle_greetings(SMTP_Session &session, const char *localHostName)
{
    const QByteArray name(localHostName);
    if (writeCommand(session, "EHLO " + name) != 0 && writeCommand(session, "HELO " + name) != 0)
        return failConnect(session, ErrHelloWrite);
    const int code = smtp_getreply(session);
    if (session.replyCancelled)
        return failConnect(session, ReplyCodeCancelled);
    if (code != 250)
        return failConnect(session, ErrHelloReply);
    return 0;
}

int smtp_dispatch_ehlo_response(SMTP_Session &session)
{
    const Capabilities caps = parseCapabilities(session.fullReply);
    session.auth_mechanisms = caps.auth;
    session.authOffered = caps.authOffered;
    return 0;
}

bool smtp_offers_starttls(const SMTP_Session &session)
{
    return parseCapabilities(session.fullReply).startTls;
}

int smtp_connect(SMTP_Session &session, const char *serverName, uint16_t port)
{
    // A session still open from before is ended first, not leaked.
    smtp_closeStreams(session);
    session.lastSystemError = 0;
    session.lastErrorText.clear();
    session.fullReply.clear();
    storeReply(session, -1);
    session.auth_mechanisms = 0;
    session.authOffered = false;

    char localHost[257] = {};
    if (::gethostname(localHost, 256) != 0 || localHost[0] == '\0') {
        session.lastErrorText = QStringLiteral("this computer has no host name to give the server");
        return ErrBadEnvelope;
    }
    if (std::strlen(serverName) >= size_t(SmtpMaxServerNameLength)) {
        session.lastErrorText =
            QStringLiteral("the server name is longer than %1 bytes").arg(SmtpMaxServerNameLength - 1);
        return ErrBadEnvelope;
    }

    if (const int result = smtp_openStreams(session, serverName, port))
        return result;

    const int greeting = smtp_getreply(session);
    if (session.replyCancelled)
        return failConnect(session, ReplyCodeCancelled);
    if (greeting != 220)
        return failConnect(session, ErrBadGreeting);
    if (const int result = smtp_handle_greetings(session, localHost))
        return result;

    if (session.encryption == 2) {
        // Asked for TLS: a server that does not offer it is a failure, never
        // a reason to go on in plain text (and send the password that way).
        if (!smtp_offers_starttls(session))
            return failTls(session, QStringLiteral("STARTTLS not offered by the server"));
        if (writeCommand(session, "STARTTLS") != 0)
            return failTls(session, QStringLiteral("STARTTLS could not be sent"));
        const int code = smtp_getreply(session);
        if (session.replyCancelled)
            return failConnect(session, ReplyCodeCancelled);
        if (code != 220)
            return failConnect(session, ErrStartTls); // the reply tells why
        // Bytes that came in plain text after the 220 would later be read as
        // if they had come through TLS (reply injection): refuse them.
        if (session.lineReader->bufferedBytes() > 0)
            return failTls(session, QStringLiteral("plain text received after STARTTLS"));
        if (const int result = startTls(session))
            return result;
        // RFC 3207 4.2: everything learnt before TLS is forgotten.
        session.auth_mechanisms = 0;
        session.authOffered = false;
        if (const int result = smtp_handle_greetings(session, localHost))
            return result;
    }
    return smtp_dispatch_ehlo_response(session);
}

int smtp_auth_plain(SMTP_Session &session, const QByteArray &authorizationIdentity, const QByteArray &login,
                    const QByteArray &password)
{
    if (authorizationIdentity.contains('\0') || login.contains('\0') || password.contains('\0'))
        return ErrAuth;
    QByteArray credential = authorizationIdentity + '\0' + login + '\0' + password;
    QByteArray encoded = credential.toBase64();
    QByteArray line = "AUTH PLAIN " + encoded;
    const int written = writeCommand(session, line);
    wipe(line);
    wipe(credential);
    if (written != 0) {
        wipe(encoded);
        return written;
    }
    const int code = smtp_getreply(session);
    scrubSecret(session, encoded);
    scrubSecret(session, password);
    wipe(encoded);
    if (session.replyCancelled)
        return ReplyCodeCancelled;
    if (code == 235)
        return 0;
    return code == 503 ? ErrAuthSequence : ErrAuth;
}

int smtp_auth_login(SMTP_Session &session, const QByteArray &login, const QByteArray &password)
{
    QByteArray encodedPassword = password.toBase64();
    const QByteArray steps[] = {"AUTH LOGIN", login.toBase64(), encodedPassword};
    const int expected[] = {334, 334, 235};
    int result = 0;
    for (int i = 0; i < 3 && result == 0; ++i) {
        const int written = writeCommand(session, steps[i]);
        if (written != 0) {
            result = written;
            break;
        }
        const int code = smtp_getreply(session);
        scrubSecret(session, encodedPassword);
        scrubSecret(session, password);
        if (session.replyCancelled)
            result = ReplyCodeCancelled;
        else if (code != expected[i])
            result = ErrAuth;
    }
    wipe(encodedPassword);
    return result;
}

namespace {

int sendEnvelope(SMTP_Session &session, const char *command, const QByteArray &address, bool isSender)
{
    if (!session.lineWriter)
        return -1;
    const std::optional<QByteArray> envelope = SmtpText::envelopeAddress(address, isSender);
    if (!envelope)
        return ErrBadEnvelope;
    if (const int written = writeCommand(session, command + ('<' + *envelope + '>')))
        return written;
    const int code = smtp_getreply(session);
    if (session.replyCancelled)
        return ReplyCodeCancelled;
    if (isSender)
        return code == 250 ? 0 : ErrMailFromReply;
    // 251 (forwarded) and any other positive completion accept the recipient.
    if (code >= 200 && code < 300)
        return 0;
    return code == 550 ? ErrRcptRefused : ErrRcptReply;
}

} // namespace

int smtp_send_from(SMTP_Session &session, const QByteArray &address)
{
    session.endOfDataSent = false;
    return sendEnvelope(session, "MAIL FROM:", address, true);
}

int smtp_send_to(SMTP_Session &session, const QByteArray &address)
{
    return sendEnvelope(session, "RCPT TO:", address, false);
}

int smtp_start_data(SMTP_Session &session)
{
    if (const int written = writeCommand(session, "DATA"))
        return written;
    const int code = smtp_getreply(session);
    if (session.replyCancelled)
        return ReplyCodeCancelled;
    return code == 354 ? 0 : ErrDataReply;
}

namespace {

// The text, ready for DATA, written with the session's sendCallback as the
// writer's delegate.
int writeText(SMTP_Session &session, QByteArray text)
{
    // An inactivity limit: a transfer that goes on may outlast the deadline.
    session.settled = false;
    session.timedOut = false;
    session.lineWriter->setTimeout(secondsLeft(session, session.timeoutTime));
    session.lineWriter->setDelegate(session.sendCallback);
    const int result = session.lineWriter->writeLineBytes(std::move(text));
    // The delegate may be gone after the transfer; the writer must not keep it.
    session.lineWriter->setDelegate(nullptr);
    if (result == -1)
        noteWriteFailure(session, QStringLiteral("the message"));
    return result;
}

int awaitEndReply(SMTP_Session &session)
{
    session.awaitedReply = QStringLiteral("reply to the end of the message");
    const int timeout = session.lineReader->timeout();
    // The server has the whole message: its answer is waited for as long as
    // RFC 5321 asks, unless the deadline is to hold for it too.
    const auto deadline = session.deadlineIncludesEndOfData ? session.deadline
                                                            : std::exchange(session.deadline, std::nullopt);
    session.lineReader->setTimeout(std::max(timeout, SMTP_Session::EndOfDataTimeout));
    const int code = smtp_getreply(session);
    session.lineReader->setTimeout(timeout);
    session.deadline = deadline;
    if (code == -1 && session.lineReader->lastEnd() == LineReader::End::StreamFailed
        && SocketStreams::connectionWasReset(session.lineReader->stream()))
        session.endOfDataSent = false;
    if (session.replyCancelled)
        return ReplyCodeCancelled;
    return code == 250 ? 0 : ErrEndReply;
}

} // namespace

int smtp_send_text(SMTP_Session &session, QByteArray text)
{
    if (!session.lineWriter)
        return -1;
    return writeText(session, SmtpText::dataText(std::move(text)));
}

int smtp_end_mail(SMTP_Session &session)
{
    if (const int written = writeCommand(session, "."))
        return written;
    session.endOfDataSent = true;
    return awaitEndReply(session);
}

int smtp_send_text_and_end(SMTP_Session &session, QByteArray text)
{
    if (!session.lineWriter || !session.lineReader)
        return -1;
    QByteArray data = SmtpText::dataText(std::move(text));
    data.append("\r\n.");
    if (const int written = writeText(session, std::move(data)))
        return written;
    session.endOfDataSent = true;
    return awaitEndReply(session);
}

int smtp_disconnect(SMTP_Session &session)
{
    // Written bare: whatever becomes of it, the reason of an earlier
    // failure stays for the error text. Its reply is not awaited.
    if (session.lineWriter && session.settled) {
        session.lineWriter->setDelegate(nullptr);
        session.lineWriter->setTimeout(SMTP_Session::QuitTimeout);
        (void)session.lineWriter->writeLineBytes("QUIT");
    }
    return smtp_closeStreams(session);
}

int smtp_closeStreams(SMTP_Session &session)
{
    // A conversation given up half-way: the server is told at once, and
    // what it did not take is not pushed to it after the close.
    if (!session.settled && session.lineWriter)
        SocketStreams::abortConnection(session.lineWriter->stream());
    session.settled = false;
    if (session.lineReader)
        session.lineReader->closeStream();
    if (session.lineWriter)
        session.lineWriter->closeStream();
    session.lineReader.reset();
    session.lineWriter.reset();
    if (session.sslConnection)
        session.sslConnection->close();
    session.sslConnection.reset();
    return 0;
}
