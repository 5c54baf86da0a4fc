#pragma once

// The text encodings an imported page may be in: their numbers (the
// platform's string-encoding numbers, which the import sheet's menu keeps),
// strict decoding, and detection.

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace HTMLEncoding {

inline constexpr quint64 UTF8 = 4;
inline constexpr quint64 ISOLatin1 = 5;
inline constexpr quint64 Symbol = 8;
inline constexpr quint64 ISOLatin2 = 9;
inline constexpr quint64 Unicode = 10; // UTF-16, by its byte-order mark, else little-endian
inline constexpr quint64 WindowsCP1252 = 12;
inline constexpr quint64 MacOSRoman = 30;

// The encodings the import sheet offers, in its menu's order.
[[nodiscard]] QList<quint64> offeredEncodings();
[[nodiscard]] QString displayName(quint64 encoding);

// The text, a leading byte-order mark dropped; none when a byte sequence is
// not valid in the encoding or the encoding is unknown. Nothing is replaced
// silently.
[[nodiscard]] std::optional<QString> decode(const QByteArray &bytes, quint64 encoding);

// A byte-order mark, then a <meta> charset among the first 1024 bytes,
// then UTF-8 when the bytes are valid UTF-8, else Windows-1252.
[[nodiscard]] quint64 detect(const QByteArray &bytes);
// The encoding a charset label names (as web pages write them); none for
// labels of encodings not offered here.
[[nodiscard]] std::optional<quint64> encodingForLabel(const QByteArray &label);

} // namespace HTMLEncoding
