#include "import/CSVReader.h"
#include "import/TextFileDecoder.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <optional>

namespace {

using Rows = QList<QStringList>;

std::string show(const Rows &rows)
{
    QString out;
    for (const QStringList &row : rows) {
        out += u'[';
        for (const QString &field : row)
            out += u'<' + QString(field).replace(u'\r', QStringLiteral("\\r")).replace(u'\n', QStringLiteral("\\n")) + u'>';
        out += u']';
    }
    return out.toStdString();
}

} // namespace

TEST(CSVReader, ReadsRecordsFieldsAndQuotes)
{
    const struct {
        const char *what;
        QString text;
        QString delimiter;
        Rows rows;
    } cases[] = {
        {"CRLF, LF and CR read alike", "a,b\r\nc,d\ne,f\rg,h", ",", {{"a", "b"}, {"c", "d"}, {"e", "f"}, {"g", "h"}}},
        {"one CRLF in an LF file", "a,b\nc,d\r\ne,f\n", ",", {{"a", "b"}, {"c", "d"}, {"e", "f"}}},
        {"single line without line end", "x,y", ",", {{"x", "y"}}},
        {"empty lines give no row", "\n\na\r\n\r\n\rb\n\n", ",", {{"a"}, {"b"}}},
        {"trailing delimiter adds no field, empty ones between stay", "a,b,\nc,,d\n,\n", ",",
         {{"a", "b"}, {"c", "", "d"}, {""}}},
        {"quoted empty fields are kept, also last", "1,\"\",\"\"\n\"\"\n", ",", {{"1", "", ""}, {""}}},
        {"delimiter inside quotes", "a,\"b,c\",d", ",", {{"a", "b,c", "d"}}},
        {"the same with semicolons honours the quotes", "a;\"b;c\";d", ";", {{"a", "b;c", "d"}}},
        {"and with colons", "a:\"b:c\":d", ":", {{"a", "b:c", "d"}}},
        {"and with tabs", "a\t\"b\tc\"\td", "\t", {{"a", "b\tc", "d"}}},
        {"a doubled quote is one quote", "\"ha \"\"ha\"\" ha\",x", ",", {{"ha \"ha\" ha", "x"}}},
        {"quoted line ends stay in the field", "\"Once upon \r\na time\",5\n\"x\ry\",6", ",",
         {{"Once upon \r\na time", "5"}, {"x\ry", "6"}}},
        {"a quote inside a field is a character", "5'10\" tall,x@y.org\nsay \"hi\",z", ",",
         {{"5'10\" tall", "x@y.org"}, {"say \"hi\"", "z"}}},
        {"tab fields keep quotes and backslashes", "a\"b\tc\\\"d\t\\", "\t", {{"a\"b", "c\\\"d", "\\"}}},
        {"backslashes are kept", "C:\\Users\\x,\\\"q\\,\\", ",", {{"C:\\Users\\x", "\\\"q\\", "\\"}}},
        {"text after a closing quote stays in the field", "\"a\"b\"c,d\n\"x\" ,y", ",", {{"ab\"c", "d"}, {"x ", "y"}}},
        {"a byte-order mark is no part of the first title", QString(QChar(0xFEFF)) + "Email,Name\n", ",",
         {{"Email", "Name"}}},
        {"but elsewhere it is a character", u"a,\uFEFF\uFEFFb\n\uFEFF"_qs, ",", {{"a", u"\uFEFF\uFEFFb"_qs}, {u"\uFEFF"_qs}}},
        {"the delimiter's first character counts", "a|b;c", "|;", {{"a", "b;c"}}},
        {"a quote as delimiter quotes nothing", "a\"b\"\"c", "\"", {{"a", "b", "", "c"}}},
        {"a line end as delimiter leaves one field a row", "a,b\nc", "\n", {{"a,b"}, {"c"}}},
        {"NUL characters are data", QString::fromUtf16(u"a\0b,\0\n", 6), ",",
         {{QString::fromUtf16(u"a\0b", 3), QString::fromUtf16(u"\0", 1)}}},
        {"no text", QString(), ",", {}},
    };
    for (const auto &c : cases) {
        // The text, and the same as UTF-8 bytes, which are read without
        // making the text first.
        const Rows rows = CSVReader::readFromString(c.text, c.delimiter);
        const std::optional<Rows> fromBytes
            = CSVReader::readFromBytes(c.text.toUtf8(), TextFileDecoder::Encoding::Utf8, c.delimiter);
        EXPECT_EQ(rows, c.rows) << c.what << ": " << show(rows);
        EXPECT_EQ(fromBytes, c.rows) << c.what << " (UTF-8): " << show(fromBytes.value_or(Rows()));
        for (const Rows &read : {rows, fromBytes.value_or(Rows())}) {
            for (const QStringList &row : read) {
                for (const QString &field : row)
                    EXPECT_FALSE(field.isNull()) << c.what << ": an empty field is a value, not a missing one";
            }
        }
    }
}

TEST(CSVReader, DetectsTheDelimiterOutsideQuotesOnTheFirstLine)
{
    const struct {
        const char *what;
        QString text;
        QChar delimiter;
    } cases[] = {
        {"two tabs, three commas", "a\tb\tc,d,e,f\n1,2", u','},
        {"three of each: tab wins the tie", "a\tb\tc\td,e,f,g\n", u'\t'},
        {"comma and semicolon tie: comma", "a,b;c\n", u','},
        {"colon before semicolon on a tie", "a:b;c\n", u':'},
        {"semicolon export", "Name;Street;City\nA;\"B, 1\";C\n", u';'},
        {"commas inside quotes do not count", "\"Doe, John\";\"Main St, 5\";x\n", u';'},
        {"a quoted title spanning lines", "\"a\nb;c;d\",e,f\n", u','},
        {"a later line does not count", "a;b;c\nd,e,f,g,h,i\n", u';'},
        {"leading empty lines are skipped", "\r\n\na;b\n", u';'},
        {"nothing to split: tab", "one\n", u'\t'},
        {"empty text: tab", "", u'\t'},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(CSVReader::detectDelimiter(c.text), c.delimiter) << c.what;
        CSVReader::Report report;
        (void)CSVReader::readFromString(c.text, {}, &report);
        EXPECT_EQ(report.delimiter, c.delimiter) << c.what;
    }
}

// The csv-spectrum files with the JSON objects they are meant to give
// (Debian's node-csv-spectrum), read through the decoder as the import does.
TEST(CSVReader, ReadsTheCsvSpectrumCases)
{
    const QDir dir(QStringLiteral("/usr/share/nodejs/csv-spectrum"));
    const QDir csvs(dir.filePath(QStringLiteral("csvs")));
    const QStringList names = csvs.entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
    ASSERT_GE(names.size(), 11) << "install node-csv-spectrum (scripts/install-deps.sh)";
    for (const QString &name : names) {
        QFile json(dir.filePath(QStringLiteral("json/") + QString(name).replace(QStringLiteral(".csv"), QStringLiteral(".json"))));
        ASSERT_TRUE(json.open(QIODevice::ReadOnly)) << qPrintable(name);
        const QJsonArray expected = QJsonDocument::fromJson(json.readAll()).array();

        for (const QString &delimiter : {QString(), QStringLiteral(",")}) {
            QString error;
            const Rows rows = CSVReader::readFile(csvs.filePath(name), TextFileDecoder::Encoding::Automatic, delimiter,
                                                  nullptr, &error)
                                  .value_or(Rows());
            ASSERT_FALSE(rows.isEmpty()) << qPrintable(name) << ": " << qPrintable(error);
            QJsonArray objects;
            for (qsizetype r = 1; r < rows.size(); ++r) {
                QJsonObject object;
                for (qsizetype f = 0; f < rows[0].size() && f < rows[r].size(); ++f)
                    object.insert(rows[0][f], rows[r][f]);
                objects.append(object);
            }
            EXPECT_EQ(objects, expected) << qPrintable(name) << " with delimiter \"" << qPrintable(delimiter)
                                         << "\": " << show(rows);
        }
    }
}

TEST(CSVReader, ReadsLongTablesWithRepeatedAndChangingColumnsExactly)
{
    // Columns that repeat, that never do, and that change from one to the
    // other half-way: whatever strings the reader shares, every value is
    // the one in the file.
    const QStringList cities = {"Berlin", "Köln", "Brno", "Paris", "Zürich"};
    Rows expected;
    QString text;
    for (int i = 0; i < 20'000; ++i) {
        const QStringList row = {QStringLiteral("user%1@x.org").arg(i), cities[i % cities.size()],
                                 i < 10'000 ? QStringLiteral("n%1").arg(i) : cities[i % 3],
                                 i < 10'000 ? cities[i % 2] : QStringLiteral("m%1").arg(i)};
        expected.append(row);
        text += row.join(u',') + u'\n';
    }
    const Rows rows = CSVReader::readFromString(text);
    EXPECT_EQ(rows, expected);
    const std::optional<Rows> fromBytes = CSVReader::readFromBytes(text.toUtf8(), TextFileDecoder::Encoding::Automatic);
    EXPECT_EQ(fromBytes, expected);
    // A repeated value is held once, which is most of a table's memory.
    EXPECT_EQ(rows[100][1].constData(), rows[105][1].constData());
}

TEST(CSVReader, StaysBoundedOnHostileText)
{
    {
        const QString commas(1'000'000, u',');
        CSVReader::Report report;
        const Rows rows = CSVReader::readFromString(commas + QStringLiteral("\na,b\n"), QStringLiteral(","), &report);
        ASSERT_EQ(rows.size(), 2);
        EXPECT_EQ(rows[0].size(), CSVReader::MaxFieldsPerRow);
        // 1,000,001 fields less the empty one after the last comma.
        EXPECT_EQ(report.droppedFields, 1'000'000 - CSVReader::MaxFieldsPerRow);
        EXPECT_EQ(report.rowsWithDroppedFields, 1);
        EXPECT_EQ(rows[1], QStringList({"a", "b"}));
    }
    {
        // One stray quote must not swallow the rest of the file.
        CSVReader::Report report;
        const Rows rows = CSVReader::readFromString(QStringLiteral("a,\"b\nc,d\n"), {}, &report);
        EXPECT_EQ(rows, Rows({{"a", "\"b"}, {"c", "d"}})) << show(rows);
        EXPECT_EQ(report.unclosedQuotes, 1);
    }
    for (const char16_t filler : {u'x', u'é', u'山'}) {
        for (const qsizetype length : {CSVReader::MaxQuotedFieldLength, CSVReader::MaxQuotedFieldLength + 1}) {
            // A quoted field up to the limit, and one longer, closed only
            // after it; the limit counts characters, not bytes.
            const QString content = QString(length - 2, QChar(filler)) + QStringLiteral("\ny");
            const QString text = u'"' + content + QStringLiteral("\",z\nlast\n");
            const Rows expected = length == CSVReader::MaxQuotedFieldLength
                ? Rows({{content, "z"}, {"last"}})
                : Rows({{u'"' + content.chopped(2)}, {"y\"", "z"}, {"last"}});
            CSVReader::Report report;
            EXPECT_EQ(CSVReader::readFromString(text, QStringLiteral(","), &report), expected) << length;
            EXPECT_EQ(report.unclosedQuotes, length == CSVReader::MaxQuotedFieldLength ? 0 : 1);
            EXPECT_EQ(CSVReader::readFromBytes(text.toUtf8(), TextFileDecoder::Encoding::Utf8, QStringLiteral(","), &report),
                      expected)
                << length << " as UTF-8";
            EXPECT_EQ(report.unclosedQuotes, length == CSVReader::MaxQuotedFieldLength ? 0 : 1);
        }
    }
    for (const qsizetype count : {10'000'000, 10'000'001}) {
        // Megabytes of quotes: one quoted field of half as many quotes, or
        // one never closed, and either way past the limit, so they are read
        // as written.
        CSVReader::Report report;
        const Rows rows = CSVReader::readFromString(QString(count, u'"') + QStringLiteral("\nend"), {}, &report);
        ASSERT_EQ(rows.size(), 2);
        EXPECT_EQ(rows[0], QStringList(QString(count, u'"')));
        EXPECT_EQ(rows[1], QStringList("end"));
    }
}
