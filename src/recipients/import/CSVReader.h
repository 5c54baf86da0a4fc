#pragma once

// Reads delimited text (comma, tab, semicolon, colon or another character)
// into rows of fields, as RFC 4180 describes it for every delimiter:
// - CRLF, LF and CR all end a line, also mixed in one file;
// - a field that starts with a double quote is quoted: it may hold the
//   delimiter and line ends, and "" inside it stands for one quote; a quote
//   anywhere else in a field is an ordinary character, as is a backslash;
// - a line of length 0 gives no row, and a line that ends with the
//   delimiter has no empty field after it (a quoted empty field "" is kept);
// - a leading byte-order mark is not part of the first field; of a file,
//   only the mark its decoding takes off is, and a second one is text.
// Text after a closing quote up to the next delimiter is kept in the field.
//
// The reader is bounded for text from anywhere: a row keeps at most
// MaxFieldsPerRow fields and the rest are counted, and a quoted field that
// is not closed within MaxQuotedFieldLength characters (or at all) is read
// as if its opening quote were an ordinary character, so one stray quote
// cannot swallow the rest of the file into one field.

#include "TextFileDecoder.h"

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

class CSVReader {
public:
    // As many as a recipient table has column slots.
    static constexpr int MaxFieldsPerRow = 10000;
    static constexpr qsizetype MaxQuotedFieldLength = 1024 * 1024;

    // What the caller may want to tell the user about a reading.
    struct Report {
        // The delimiter given, or the one detected.
        QChar delimiter;
        // Fields past MaxFieldsPerRow, and the rows that had them.
        qint64 droppedFields = 0;
        qint64 rowsWithDroppedFields = 0;
        // Quotes taken as ordinary characters because their field was not
        // closed in time.
        qint64 unclosedQuotes = 0;
        // For the readers of bytes: the encoding the text was read in.
        TextFileDecoder::Encoding encoding = TextFileDecoder::Encoding::Automatic;
    };

    // A null or empty delimiter detects one on the first line: the one of
    // tab, ",", ":" and ";" that splits it (outside quotes) into the most
    // fields, the earlier of them on a tie. Otherwise the first character of
    // the delimiter is the delimiter.
    [[nodiscard]] static QList<QStringList> readFromString(const QString &text, const QString &delimiter = {},
                                                          Report *report = nullptr);
    [[nodiscard]] static QChar detectDelimiter(QStringView text);

    // The bytes of a file decoded as TextFileDecoder::decode does, then read
    // as above; nothing, with the decoder's message, when they cannot be
    // decoded. Text in UTF-8 is read straight from the bytes: as UTF-16 it
    // would take twice the file's size on top of the rows.
    [[nodiscard]] static std::optional<QList<QStringList>> readFromBytes(const QByteArray &bytes,
                                                                         TextFileDecoder::Encoding encoding,
                                                                         const QString &delimiter = {},
                                                                         Report *report = nullptr,
                                                                         QString *error = nullptr);
    // The same for a file, refused past TextFileDecoder::MaxFileBytes.
    [[nodiscard]] static std::optional<QList<QStringList>> readFile(const QString &path,
                                                                    TextFileDecoder::Encoding encoding,
                                                                    const QString &delimiter = {},
                                                                    Report *report = nullptr, QString *error = nullptr);
};
