#pragma once

#include <QDateTime>
#include <QString>

// Message-IDs, the Date value and address headers. Process-wide state: the
// Message-ID counter (from 152, one more for every ID) and the clock, both
// replaceable so that tests can pin a message's bytes.
class MailHelper {
public:
    using Clock = QDateTime (*)();

    MailHelper() = delete;

    // The current time ("%d%m%Y%H%M%S%F"), the prefix, the counter with at
    // least four digits, "@" and the server. Characters that a Message-ID may
    // not hold are left out of prefix and server, and a non-ASCII server name
    // is written in its ASCII (IDNA) form.
    [[nodiscard]] static QString createMessageID(const QString &prefix, const QString &server);

    // The header value for an address or a comma-separated list of them:
    // each display name bare, quoted or as encoded words (ISO-8859-1 when it
    // fits, else UTF-8), non-ASCII domains in IDNA form. `lineUsed` is the
    // length of the header name before the value. A null string, an element
    // without "@", a control character or a non-ASCII character in an
    // address, or an unknown domain form gives a null result and the reason.
    [[nodiscard]] static QString encodeMailAddress(const QString &address, QString *error = nullptr, int lineUsed = 0);

    // "%a, %d %b %Y %H:%M:%S %z" with English names, in the time's own zone.
    [[nodiscard]] static QString dateValue(const QDateTime &time);

    [[nodiscard]] static QDateTime now();
    // nullptr gives back the system clock.
    static void setClock(Clock clock);
    static void setMessageCounter(int value);
    [[nodiscard]] static int messageCounter();
};
