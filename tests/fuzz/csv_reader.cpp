// Arbitrary bytes decoded in every encoding of the import and read with
// every kind of delimiter. The first byte chooses the encoding and the
// delimiter, the rest is the file. Besides not crashing, the rows must obey
// the reader's bounds, reading the bytes directly must give what reading
// the decoded text gives, and writing the rows back with every field quoted
// must read back to the same rows.
#include "import/CSVReader.h"
#include "import/TextFileDecoder.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace {

QString quotedText(const QList<QStringList> &rows, QChar delimiter)
{
    QString text;
    for (const QStringList &row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i > 0)
                text += delimiter;
            text += u'"' + QString(row[i]).replace(u'"', QStringLiteral("\"\"")) + u'"';
        }
        text += QStringLiteral("\r\n");
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    static const std::array<QString, 8> delimiters = {
        QString(), QStringLiteral(","), QStringLiteral(";"), QStringLiteral(":"),
        QStringLiteral("\t"), QStringLiteral("|"), QStringLiteral("\""), QStringLiteral("\n")};
    const auto encoding = TextFileDecoder::Encoding(data[0] % 8);
    const QString &delimiter = delimiters[(data[0] / 8) % delimiters.size()];
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    const TextFileDecoder::Result decoded = TextFileDecoder::decode(bytes, encoding);
    if (!decoded.ok()) {
        if (CSVReader::readFromBytes(bytes, encoding, delimiter))
            __builtin_trap();
        // Only a byte-order mark commits automatic detection to an encoding
        // that can fail.
        if (decoded.text.size() != 0 || (encoding == TextFileDecoder::Encoding::Automatic && !bytes.startsWith("\xEF\xBB\xBF")
                                         && !bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF")))
            __builtin_trap();
        return 0;
    }
    if (decoded.text.contains(QChar::ReplacementCharacter) && !bytes.contains("\xEF\xBF\xBD")
        && decoded.encoding != TextFileDecoder::Encoding::Utf16)
        __builtin_trap();

    // The decoder has taken off the file's mark: any mark left is text,
    // which the reader of a string keeps only after a mark of its own.
    CSVReader::Report report;
    const QList<QStringList> rows = CSVReader::readFromString(QChar(0xFEFF) + decoded.text, delimiter, &report);
    // UTF-8 is read from the bytes; that must come to the same.
    CSVReader::Report bytesReport;
    const std::optional<QList<QStringList>> fromBytes = CSVReader::readFromBytes(bytes, encoding, delimiter, &bytesReport);
    if (!fromBytes || *fromBytes != rows || bytesReport.delimiter != report.delimiter
        || bytesReport.unclosedQuotes != report.unclosedQuotes || bytesReport.droppedFields != report.droppedFields
        || bytesReport.encoding != decoded.encoding)
        __builtin_trap();
    for (const QStringList &row : rows) {
        if (row.isEmpty() || row.size() > CSVReader::MaxFieldsPerRow)
            __builtin_trap();
    }
    const QChar used = report.delimiter;
    if (used == u'"' || used == u'\r' || used == u'\n' || report.droppedFields > 0)
        return 0;
    if (CSVReader::readFromString(quotedText(rows, used), QString(used)) != rows)
        __builtin_trap();
    return 0;
}
