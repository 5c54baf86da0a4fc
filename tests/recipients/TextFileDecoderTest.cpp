#include "import/CSVReader.h"
#include "import/TextFileDecoder.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using Encoding = TextFileDecoder::Encoding;

const QMap<QString, Encoding> &encodingsByName()
{
    static const QMap<QString, Encoding> names = {
        {"Utf8", Encoding::Utf8},         {"Latin1", Encoding::Latin1}, {"Latin2", Encoding::Latin2},
        {"MacRoman", Encoding::MacRoman}, {"ShiftJis", Encoding::ShiftJis}, {"Utf16", Encoding::Utf16},
        {"Windows1252", Encoding::Windows1252}};
    return names;
}

qint64 peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

} // namespace

TEST(TextFileDecoder, AutomaticTakesTheMarkThenUtf8ThenWindows1252)
{
    const struct {
        const char *what;
        QByteArray bytes;
        Encoding encoding;
        QString text;
    } cases[] = {
        {"UTF-8 with a mark", "\xEF\xBB\xBF" "a\xC3\xA9", Encoding::Utf8, u"aé"_qs},
        {"UTF-8 without", "Zo\xC3\xAB,\xF0\x9F\x98\x80", Encoding::Utf8, u"Zoë,😀"_qs},
        {"UTF-16 little-endian mark", QByteArray("\xFF\xFE" "a\0\xE9\0", 6), Encoding::Utf16, u"aé"_qs},
        {"UTF-16 big-endian mark", QByteArray("\xFE\xFF\0a\0\xE9", 6), Encoding::Utf16, u"aé"_qs},
        {"not UTF-8: Windows-1252", "Caf\xE9 \x80 \x93q\x94", Encoding::Windows1252, u"Café € “q”"_qs},
        {"bytes the code page leaves undefined", "\x81\x8D\x8F\x90\x9D\xFF", Encoding::Windows1252,
         u"\u0081\u008D\u008F\u0090\u009D\u00FF"_qs},
        {"a UTF-8 sequence cut off at the end", "ok\xE2\x82", Encoding::Windows1252, u"okâ‚"_qs},
        {"an encoded surrogate is no UTF-8", "\xED\xA0\x80", Encoding::Windows1252, u"í\u00A0€"_qs},
        {"nothing", "", Encoding::Utf8, u""_qs},
    };
    for (const auto &c : cases) {
        const TextFileDecoder::Result result = TextFileDecoder::decode(c.bytes, Encoding::Automatic);
        EXPECT_TRUE(result.ok()) << c.what << ": " << qPrintable(result.error);
        EXPECT_EQ(result.encoding, c.encoding) << c.what;
        EXPECT_EQ(result.text, c.text) << c.what;
    }
}

TEST(TextFileDecoder, InvalidBytesGiveAnErrorAndNoText)
{
    const struct {
        const char *what;
        QByteArray bytes;
        Encoding encoding;
        qsizetype position;
    } cases[] = {
        {"a byte no UTF-8 sequence starts with", "ab\xFF", Encoding::Utf8, 2},
        {"an overlong form", "\xEF\xBB\xBF" "x\xC0\x80", Encoding::Utf8, 4},
        {"a cut-off sequence", "abc\xE2\x82", Encoding::Utf8, 3},
        {"a lone high surrogate", QByteArray("\xFF\xFE" "a\0\x00\xD8" "b\0", 8), Encoding::Utf16, 4},
        {"a lone low surrogate", QByteArray("\0a\xDC\0", 4), Encoding::Utf16, 2},
        {"an odd byte count", QByteArray("\xFE\xFF\0a\0", 5), Encoding::Utf16, 4},
        {"a Shift JIS lead byte without its second byte", "\x8E\x52\x93", Encoding::ShiftJis, 2},
        {"a byte Shift JIS does not define", "a\xA0", Encoding::ShiftJis, 1},
        {"a marked UTF-8 file read automatically", "\xEF\xBB\xBF" "ab\xFF", Encoding::Automatic, 5},
    };
    for (const auto &c : cases) {
        const TextFileDecoder::Result result = TextFileDecoder::decode(c.bytes, c.encoding);
        EXPECT_FALSE(result.ok()) << c.what;
        EXPECT_TRUE(result.text.isEmpty()) << c.what;
        EXPECT_FALSE(result.text.contains(QChar::ReplacementCharacter)) << c.what;
        EXPECT_TRUE(result.error.contains(QStringLiteral("position %1").arg(c.position))) << c.what << ": "
                                                                                             << qPrintable(result.error);
        if (c.encoding != Encoding::Automatic) {
            EXPECT_TRUE(result.error.contains(TextFileDecoder::displayName(c.encoding))) << c.what;
        }
    }
    // Single-byte encodings read every byte; Shift JIS keeps ASCII as ASCII.
    EXPECT_EQ(TextFileDecoder::decode("\\~\x80\xFF", Encoding::Latin1).text, u"\\~\u0080ÿ"_qs);
    EXPECT_EQ(TextFileDecoder::decode("\\~\x8E\x52", Encoding::ShiftJis).text, u"\\~山"_qs);
    EXPECT_EQ(TextFileDecoder::decode("\xA3\xF3\xB3\xE6", Encoding::Latin2).text, u"Łółć"_qs);
    EXPECT_EQ(TextFileDecoder::decode("\xDB\xD2\xB7", Encoding::MacRoman).text, u"€“∑"_qs);
}

TEST(TextFileDecoder, RefusesALargeFileBeforeReadingIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("sparse.csv"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(2LL * 1024 * 1024 * 1024)); // 2 GB of holes
    }
    // In a child process, whose peak memory starts where it forks: reading
    // up to the limit before refusing would raise it by 512 MB.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const qint64 before = peakResidentKiB();
        const TextFileDecoder::Result result = TextFileDecoder::readFile(path, Encoding::Automatic);
        const qint64 grown = peakResidentKiB() - before;
        _exit(!result.ok() && result.error.contains(QStringLiteral("larger than")) ? (grown < 64 * 1024 ? 0 : 2) : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not refused; 2: refused only after reading";

    const TextFileDecoder::Result missing = TextFileDecoder::readFile(dir.filePath(QStringLiteral("none")), Encoding::Utf8);
    EXPECT_FALSE(missing.ok());
    EXPECT_TRUE(missing.error.contains(QStringLiteral("cannot be read")));
}

// Files written by Python's csv module in every delimiter, quoting style,
// line end and encoding the import offers.
TEST(TextFileDecoder, ReadsWhatPythonsCsvModuleWrites)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral(CORV_SOURCE_DIR "/tests/recipients/csv_oracle.py"), dir.path()});
    ASSERT_TRUE(python.waitForFinished(60'000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();

    QFile file(dir.filePath(QStringLiteral("expected.json")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject expected = QJsonDocument::fromJson(file.readAll()).object();
    ASSERT_GE(expected.size(), 300);
    for (auto it = expected.constBegin(); it != expected.constEnd(); ++it) {
        const QString name = it.key();
        const QJsonObject spec = it.value().toObject();
        QList<QStringList> rows;
        for (const QJsonValue &row : spec.value("rows").toArray()) {
            QStringList fields;
            for (const QJsonValue &field : row.toArray())
                fields.append(field.toString());
            rows.append(fields);
        }
        const Encoding encoding = encodingsByName().value(spec.value("encoding").toString());
        const QString path = dir.filePath(name);
        const TextFileDecoder::Result decoded = TextFileDecoder::readFile(path, encoding);
        ASSERT_TRUE(decoded.ok()) << qPrintable(name) << ": " << qPrintable(decoded.error);
        EXPECT_EQ(CSVReader::readFromString(decoded.text, spec.value("delimiter").toString()), rows) << qPrintable(name);
        EXPECT_EQ(CSVReader::readFromString(decoded.text), rows) << qPrintable(name) << ", delimiter detected";
        EXPECT_EQ(CSVReader::readFile(path, encoding), rows) << qPrintable(name) << ", from the file";
        if (spec.value("automatic").toBool()) {
            CSVReader::Report report;
            EXPECT_EQ(CSVReader::readFile(path, Encoding::Automatic, {}, &report), rows) << qPrintable(name) << ", automatic";
            EXPECT_EQ(report.encoding, encoding == Encoding::Latin1 ? Encoding::Windows1252 : encoding) << qPrintable(name);
        }
    }
}
