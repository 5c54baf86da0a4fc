#pragma once

// The SMTP dialogue as free functions on one session record. Each returns 0
// or an error code of SMTPMail (16 when the progress delegate stopped a
// wait); the session keeps the last reply for the error text.

#include "LineReader.h"
#include "LineWriter.h"
#include "SmtpProgressDelegate.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

class OpenSslConnection;

struct SMTP_Session {
    static constexpr int ReplyBufferSize = 4096;
    // Bounds of one reply, against a server that never ends it.
    static constexpr int MaxReplyBytes = 1024 * 1024;
    static constexpr int MaxReplyLines = 1000;
    static constexpr uint8_t AuthPlain = 1 << 0;
    static constexpr uint8_t AuthLogin = 1 << 1;
    // Seconds to wait for the reply to the final ".", whatever the session's
    // time-out (RFC 5321 4.5.3.2.6): a client that gives up earlier may see
    // as failed a message that the server delivers, and send it again.
    static constexpr int EndOfDataTimeout = 10 * 60;
    // Seconds that the QUIT of a settled session may take to be written:
    // it is written only to be polite, and a stop must not wait for it.
    static constexpr double QuitTimeout = 1.0;

    SMTP_Session() = default;
    SMTP_Session(const SMTP_Session &) = delete;
    SMTP_Session &operator=(const SMTP_Session &) = delete;

    // UTF-8, all lines of the last reply each followed by CR LF, cut to at
    // most 4095 bytes (on a character boundary), NUL-terminated. Control
    // characters other than tab, CR and LF are stored as "?".
    char lastReply[ReplyBufferSize] = {};
    int32_t lastSystemError = 0;
    // -1 when no complete, well-formed reply could be read.
    int32_t lastReplyCode = -1;
    int32_t encryption = 0;
    int32_t timeoutTime = LineReader::DefaultTimeout;
    uint8_t auth_mechanisms = 0;
    // The last EHLO reply named AUTH, whatever mechanisms it listed.
    bool authOffered = false;
    // The connection of modes 1 and 2, which this client switches to TLS.
    std::shared_ptr<OpenSslConnection> sslConnection;
    std::unique_ptr<LineReader> lineReader;
    std::unique_ptr<LineWriter> lineWriter;
    SmtpProgressDelegate *sendCallback = nullptr;
    SmtpProgressDelegate *receiveCallback = nullptr;

    // The whole last reply (lastReply keeps only its start), from which the
    // capabilities are read.
    QByteArray fullReply;
    // The last wait for a reply was stopped by the progress delegate.
    bool replyCancelled = false;
    // The message text of the current transaction went out to its final
    // ".": from then on the server may take the message, answer or not;
    // cleared again when the server then reset the connection, which it
    // does when it goes away with data unread.
    bool endOfDataSent = false;
    // Every wait (connecting, a reply, a write that makes no progress) ends
    // by then at the latest, the wait for the answer to a whole message only
    // with deadlineIncludesEndOfData; none: each stage's time-out alone.
    std::optional<std::chrono::steady_clock::time_point> deadline;
    // The deadline bounds that wait too.
    bool deadlineIncludesEndOfData = false;
    // All that was written has been answered: the server reads what comes
    // next. Not so after a failed or cut write or wait, when a QUIT might
    // never be read, or be read as part of the message.
    bool settled = false;
    // Why the last step failed where no reply tells (TLS, a reply that did
    // not come whole); empty otherwise. Cleared by every connect and every
    // wait for a reply.
    QString lastErrorText;
    // What the next reply answers, for the error text: "greeting", "reply
    // to MAIL FROM" and so on; never a command's arguments.
    QString awaitedReply;
    // The last wait for a reply, or a write, ran out of its time: the
    // server is there but did not answer, or took nothing, in time.
    bool timedOut = false;
};

// Server names of this many bytes or more are refused.
constexpr int SmtpMaxServerNameLength = 201;

int smtp_connect(SMTP_Session &session, const char *serverName, uint16_t port);
int smtp_openStreams(SMTP_Session &session, const char *serverName, uint16_t port);
int smtp_handle_greetings(SMTP_Session &session, const char *localHostName);
int smtp_dispatch_ehlo_response(SMTP_Session &session);
// The reply's code, or -1. The whole reply must come within the reader's
// time-out (each stage's deadline), however often bytes arrive.
int smtp_getreply(SMTP_Session &session);
// Login and password are UTF-8; neither may hold a NUL (RFC 4616).
int smtp_auth_plain(SMTP_Session &session, const QByteArray &authorizationIdentity, const QByteArray &login,
                    const QByteArray &password);
int smtp_auth_login(SMTP_Session &session, const QByteArray &login, const QByteArray &password);
// Addresses are UTF-8 byte strings, see SmtpText::envelopeAddress.
int smtp_send_from(SMTP_Session &session, const QByteArray &address);
int smtp_send_to(SMTP_Session &session, const QByteArray &address);
int smtp_start_data(SMTP_Session &session);
// The message text after DATA (dot-stuffed here), written with the
// session's sendCallback as the writer's delegate. A text moved in is sent
// without being copied when it needs no dot-stuffing.
int smtp_send_text(SMTP_Session &session, QByteArray text);
int smtp_end_mail(SMTP_Session &session);
// smtp_send_text and smtp_end_mail in one: the final "." goes out in the
// same write as the text, so the delegate's last report (all bytes sent)
// means that the whole message left.
int smtp_send_text_and_end(SMTP_Session &session, QByteArray text);
int smtp_disconnect(SMTP_Session &session);
int smtp_closeStreams(SMTP_Session &session);

// Whether the capabilities of the last (EHLO) reply include STARTTLS.
[[nodiscard]] bool smtp_offers_starttls(const SMTP_Session &session);
