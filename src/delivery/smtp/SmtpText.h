#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// What the SMTP client sends in place of the caller's texts: envelope
// addresses and the DATA content.
namespace SmtpText {

// RFC 5321 4.5.3.1.3 allows 256 octets for a path; longer addresses from a
// table are refused rather than cut.
constexpr int MaxEnvelopeAddressLength = 500;

// The address that goes inside the angle brackets of MAIL FROM or RCPT TO:
// the text inside the first "<" ">" pair outside quotes ("Name <a@b>" gives
// a@b; the name, whatever it holds, is no part of it), else the whole
// trimmed text. A domain with characters outside ASCII goes in its ASCII
// form ("xn--..."), which every server takes. None, and the reason in `why`,
// for a text that could change the command (a control character in the
// address, CR, LF and NUL included; a stray "<" or ">"), for an address
// longer than the limit, for one with characters outside ASCII before the
// "@" (which would need SMTPUTF8, which this client does not use), and for
// an empty one unless allowEmpty (the null reverse-path "<>").
[[nodiscard]] std::optional<QByteArray> envelopeAddress(const QByteArray &address, bool allowEmpty,
                                                      QString *why = nullptr);

// The addresses of a comma-separated list; commas inside quotes or angle
// brackets do not split, pieces are trimmed of blanks (spaces and tabs)
// and empty pieces dropped.
[[nodiscard]] QStringList splitAddressList(const QString &list);

// The message text ready to follow DATA, without the final CR LF that the
// line writer adds: every bare CR or LF becomes CR LF, and every line that
// begins with "." gets another "." (RFC 5321 4.5.2). One trailing CR LF of
// the text is dropped, so the text and the end marker meet in exactly one
// CR LF "." CR LF. A text that needs no change is given back as it is,
// without a copy.
[[nodiscard]] QByteArray dataText(QByteArray text);

} // namespace SmtpText
