// The delimited-text import sheet's logic: encodings read from the bytes
// programs write, the delimiter choices and field, the title row, the
// result handed to a target, and a reading only once the options settle.

#include "CSVImportSession.h"
#include "RecipientCommands.h"

#include "Database.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

namespace {

QString writeFile(const QTemporaryDir &dir, const char *name, const QByteArray &bytes)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

QStringList firstRow(const CSVImportSession &session)
{
    return session.rows().isEmpty() ? QStringList() : session.rows().first();
}

} // namespace

TEST(CSVImportSession, EncodingsAsProgramsWriteThem)
{
    QTemporaryDir dir;
    const struct {
        const char *name;
        QByteArray bytes;
        int encoding;
        QStringList row;
    } cases[] = {
        {"utf8-bom.csv", QByteArray("\xEF\xBB\xBF" "e-mail;name\r\n"), 0, {"e-mail", "name"}},
        {"utf16le.csv", QByteArray("\xFF\xFE" "M\0\xFC\0l\0l\0e\0r\0,\0" "1\0\r\0\n\0", 22), 0, {"Müller", "1"}},
        {"utf16le-chosen.csv", QByteArray("\xFF\xFE" "a\0,\0\xDF\0", 8), 6, {"a", "ß"}},
        {"cp1252.csv", "M\xFCller,\x80 5\n", 0, {"Müller", "€ 5"}},
        {"shift-jis.csv", "\x8E\x52\x93\x63,\x91\xBE\x98\x59\n", 5, {"山田", "太郎"}},
        {"mac-roman.csv", "M\x9Fller,Caf\x8E\n", 4, {"Müller", "Café"}},
        {"latin2.csv", "\xA3\xF3\x64\xBC,x\n", 3, {"Łódź", "x"}},
        // Only the first of two marks is one; the second is text.
        {"utf8-two-marks.csv", "\xEF\xBB\xBF\xEF\xBB\xBF" "a,b\n", 0, {u"\uFEFFa"_qs, "b"}},
        {"utf8-two-marks-chosen.csv", "\xEF\xBB\xBF\xEF\xBB\xBF" "a;b\n", 1, {u"\uFEFFa"_qs, "b"}},
        {"utf16le-two-marks.csv", QByteArray("\xFF\xFE\xFF\xFE" "a\0,\0b\0", 10), 0, {u"\uFEFFa"_qs, "b"}},
        {"utf16be-two-marks-chosen.csv", QByteArray("\xFE\xFF\xFE\xFF\0a\0,\0b", 10), 6, {u"\uFEFFa"_qs, "b"}},
    };
    for (const auto &c : cases) {
        CSVImportSession session(writeFile(dir, c.name, c.bytes));
        session.setEncodingIndex(c.encoding);
        session.reloadNow();
        EXPECT_TRUE(session.error().isEmpty()) << c.name << ": " << session.error().toStdString();
        EXPECT_EQ(firstRow(session), c.row) << c.name;
    }
}

TEST(CSVImportSession, BytesInvalidInTheChosenEncodingGiveAnEmptyPreviewAndAReason)
{
    QTemporaryDir dir;
    CSVImportSession session(writeFile(dir, "latin1.csv", "M\xFCller,1\nAnn,2\n"));
    session.setEncodingIndex(1);
    session.reloadNow();
    EXPECT_EQ(session.rowCount(), 0);
    EXPECT_FALSE(session.error().isEmpty());
    EXPECT_EQ(session.statusText(), session.error());

    Database db;
    QUndoStack stack;
    RecipientCommands commands(&db, &stack);
    EXPECT_EQ(session.importInto(commands), 0);
    EXPECT_EQ(db.entryCount(), 0);
    EXPECT_EQ(stack.count(), 0);

    // Automatic reads it as Windows-1252.
    session.setEncodingIndex(0);
    session.reloadNow();
    EXPECT_EQ(firstRow(session), QStringList({"Müller", "1"}));
    EXPECT_TRUE(session.statusText().contains("2")) << session.statusText().toStdString();
}

TEST(CSVImportSession, DelimiterChoicesAndField)
{
    QTemporaryDir dir;
    CSVImportSession session(writeFile(dir, "semi.csv", "a;b,c;d\n"));
    session.reloadNow();
    EXPECT_EQ(firstRow(session), QStringList({"a", "b,c", "d"})) << "detected on the first line";

    const auto tab = session.chooseDelimiter(CSVImportSession::Tab, "x");
    EXPECT_EQ(tab.text, " ");
    EXPECT_FALSE(tab.enabled);
    EXPECT_EQ(session.delimiter(), "\t");
    const auto other = session.chooseDelimiter(CSVImportSession::Other, tab.text);
    EXPECT_TRUE(other.enabled);
    EXPECT_TRUE(other.selectText);
    EXPECT_TRUE(session.delimiter().isNull()) << "none until one is typed";

    EXPECT_EQ(session.delimiterTextEdited("ab"), "b");
    EXPECT_EQ(session.delimiter(), "b");
    EXPECT_EQ(session.delimiterTextEdited(","), ",");
    session.reloadNow();
    EXPECT_EQ(firstRow(session), QStringList({"a;b", "c;d"}));
    EXPECT_EQ(session.delimiterTextEdited(""), "");
    EXPECT_TRUE(session.delimiter().isNull());
    session.reloadNow();
    EXPECT_EQ(firstRow(session).size(), 3);
}

TEST(CSVImportSession, ReadsAgainOnlyOnceTheOptionsSettle)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, "people.csv", "a,b\n");
    CSVImportSession session(path);
    QSignalSpy reloaded(&session, &CSVImportSession::reloaded);
    session.reloadNow();
    writeFile(dir, "people.csv", "a,b,c\nd\n");
    for (const char *typed : {"x", "xy", ","})
        session.delimiterTextEdited(typed);
    EXPECT_EQ(reloaded.count(), 1);
    EXPECT_TRUE(session.isReloadPending());
    ASSERT_TRUE(reloaded.wait(5000));
    EXPECT_EQ(reloaded.count(), 2);
    EXPECT_EQ(session.rows().size(), 2) << "read from disk again";
    EXPECT_EQ(session.widestRow(), 3);
}

TEST(CSVImportSession, TitleRowIntoTheTableAndTheTargetDictionary)
{
    QTemporaryDir dir;
    CSVImportSession session(writeFile(dir, "titles.csv", "e-mail,name\na@x.org,A\nb@x.org,B\nc@x.org,C\n"));
    session.reloadNow();
    const QVariantMap off = session.resultDictionary();
    EXPECT_EQ(off.keys(), QStringList({"firstRowAsColumnTitles", "originalFilePath", "rows"}));
    EXPECT_EQ(off.value("firstRowAsColumnTitles"), 0);
    EXPECT_EQ(off.value("rows").toList().size(), 4);
    EXPECT_EQ(off.value("originalFilePath"), dir.filePath("titles.csv"));

    session.setFirstRowTitles(true);
    EXPECT_EQ(session.resultDictionary().value("firstRowAsColumnTitles"), 1);
    EXPECT_EQ(session.resultDictionary().value("rows").toList().first().toStringList(), QStringList({"e-mail", "name"}));

    Database withTitles;
    RecipientCommands commands(&withTitles, nullptr);
    EXPECT_EQ(session.importInto(commands), 3);
    EXPECT_EQ(withTitles.fieldNames(), QStringList({"e-mail", "name"}));
    Database without;
    RecipientCommands plain(&without, nullptr);
    session.setFirstRowTitles(false);
    EXPECT_EQ(session.importInto(plain), 4);
}
