#pragma once

// One content line of a vCard, split into group, name, parameters and the
// still encoded value, and the rules for turning that value into text. The
// three versions differ in small ways: 2.1 writes parameters bare ("WORK",
// "QUOTED-PRINTABLE") and escapes only separators; 3.0 and 4.0 quote
// parameter values and escape "\n", "\\", "\," and "\;" (RFC 6350 3.4).

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

enum class VCardVersion { V21, V30, V40 };

class VCardProperty {
public:
    enum class Encoding { Plain, QuotedPrintable, Base64 };

    // Nothing when the line has no name or no ":" outside quotes.
    [[nodiscard]] static std::optional<VCardProperty> parse(QByteArrayView line);

    // "item1" of "item1.EMAIL"; empty without a group.
    QByteArray group;
    // Upper case.
    QByteArray name;
    // TYPE values (also 2.1's bare ones), lower case, in order.
    QList<QByteArray> types;
    // PREF=n (4.0); 0 when not given.
    int pref = 0;
    Encoding encoding = Encoding::Plain;
    QByteArray charset;
    // The value as it stands on the line; a view into the line.
    QByteArrayView rawValue;

    // The value decoded as text, line ends as "\n", escapes still in place;
    // nothing for a base64 value, which is binary. The charset applies to
    // quoted-printable bytes always, to plain bytes only when the caller
    // says they are still in the file's own 8-bit form.
    [[nodiscard]] std::optional<QString> text(bool plainBytesInCharset = true) const;

    // Bytes as text: the named charset when given and valid for the bytes,
    // else strict UTF-8, else Windows-1252 (which takes every byte).
    [[nodiscard]] static QString decodeBytes(QByteArrayView bytes, QByteArrayView charset);
    [[nodiscard]] static QByteArray decodeQuotedPrintable(QByteArrayView bytes);

    // Splits escaped text at separators that are not escaped; the parts
    // keep their escapes.
    [[nodiscard]] static QStringList splitEscaped(QStringView text, QChar separator);
    [[nodiscard]] static QString unescape(QStringView text, VCardVersion version);
};
