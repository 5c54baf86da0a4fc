#pragma once

// Turns the bytes of a delimited text file into text in the encoding the
// user chose on the import sheet. Decoding is strict: bytes that do not
// belong to the chosen encoding give an error naming the encoding and the
// position, never replacement characters that would end up in the table.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

class TextFileDecoder {
public:
    // The import sheet's encoding menu, in its order, then Windows-1252,
    // which automatic detection falls back to.
    enum class Encoding {
        Automatic = 0,
        Utf8 = 1,
        Latin1 = 2,
        Latin2 = 3,
        MacRoman = 4,
        ShiftJis = 5,
        Utf16 = 6,
        Windows1252 = 7,
    };

    // Larger files are refused before they are read: the text takes twice
    // the file's size and the rows take as much again.
    static constexpr qint64 MaxFileBytes = 512LL * 1024 * 1024;

    struct Result {
        QString text;
        // The encoding the text was read in; for Automatic, the one chosen.
        Encoding encoding = Encoding::Automatic;
        // Empty when the text was read; otherwise a message for the user.
        QString error;
        [[nodiscard]] bool ok() const { return error.isEmpty(); }
    };

    // Automatic: a byte-order mark decides (UTF-8 or UTF-16); without one,
    // the text is UTF-8 when every byte sequence is valid UTF-8, else
    // Windows-1252. A byte-order mark is never part of the text.
    [[nodiscard]] static Result decode(const QByteArray &bytes, Encoding encoding);
    [[nodiscard]] static Result readFile(const QString &path, Encoding encoding);

    // The whole file, or nothing with a message for the user.
    [[nodiscard]] static std::optional<QByteArray> readBytes(const QString &path, QString *error = nullptr);
    // The bytes after a UTF-8 byte-order mark when decode would read them as
    // UTF-8 with this choice and they are valid UTF-8; a null view otherwise.
    [[nodiscard]] static QByteArrayView utf8Text(const QByteArray &bytes, Encoding encoding);

    // The name the user knows the encoding by ("Mac OS Roman").
    [[nodiscard]] static QString displayName(Encoding encoding);
};
