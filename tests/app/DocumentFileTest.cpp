// The project file: the keyed form written and read back whole, the older
// forms read, hostile files refused without harm, saves that fail leaving
// the previous file whole, revert, and loading a table only.

#include "DatabaseTab.h"
#include "FilesTab.h"
#include "LogTab.h"
#include "MessageTabWidget.h"
#include "MyDocument.h"
#include "TestSupport.h"
#include "message/TextFixtures.h"

#include "AttributedTagString.h"
#include "ConditionTag.h"
#include "HTMLFileLinkTag.h"
#include "ImageTag.h"
#include "MessageNumberTag.h"
#include "SmartAttachment.h"
#include "StaticAttachment.h"

#include "BodyTextView.h"
#include "KeyedArchiver.h"
#include "KeyedUnarchiver.h"
#include "TextAttributes.h"
#include "TypedArchiver.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>

using TextFixtures::withTag;
using TextFixtures::writeFile;

namespace {

// The oldest text form: UTF-16 in the given byte order, with or without a mark.
QByteArray utf16(const QString &text, bool bigEndian, bool withMark)
{
    QByteArray bytes;
    const auto put = [&](char16_t unit) {
        const char hi = char(unit >> 8), lo = char(unit & 0xFF);
        bytes.append(bigEndian ? hi : lo);
        bytes.append(bigEndian ? lo : hi);
    };
    if (withMark)
        put(0xFEFF);
    for (const QChar c : text)
        put(c.unicode());
    return bytes;
}

// Message, two recipients in two columns (the second one value short),
// and optionally two more sections.
QString oldFormText(bool fourSections)
{
    QString text = QStringLiteral("Hello from 1999/#+D2+#/Dear friend,\nsee you.");
    text += QStringLiteral("/#+D1+#/0/#+D2+#/ann@example.org/#+D4+#/bob@example.org/#+D3+#/Ann/#+D3+#/");
    if (fourSections)
        text += QStringLiteral("/#+D1+#/unused/#+D1+#//tmp/attachment.pdf");
    return text;
}

QVariantMap databaseOnlyRoot(const QStringList &fields, int rows)
{
    Database table;
    for (const QString &field : fields)
        table.addField(field);
    for (int row = 0; row < rows; ++row)
        table.addEntryWithData(-1, {QStringLiteral("r%1@example.org").arg(row)});
    table.setAddressFieldNo(0);
    return {{MyDocument::DatabaseKey, table.fileData()}};
}

// 76 named slots, an inactive row, last-sent dates, every tag kind, a
// raw-HTML message with its plain part, both attachment kinds, a styled log.
void fillEverything(MyDocument &document, const QString &folder)
{
    Database &table = document.database();
    for (int slot = 0; slot < 76; ++slot)
        table.addField(QStringLiteral("field %1").arg(slot));
    table.setAddressFieldNo(0);
    table.addEntryWithData(-1, {QStringLiteral("ann@example.org"), QStringLiteral("Ann")});
    table.addEntryWithData(-1, {QStringLiteral("bob@example.org"), QStringLiteral("Bob")});
    table.setEntryState(1, false);
    table.setLastSentDate(0, QDateTime(QDate(2024, 2, 29), QTime(13, 14, 15), Qt::UTC));
    document.databaseTab()->refreshData();

    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::blue);
    const QString picture = folder + QStringLiteral("/logo.png");
    ASSERT_TRUE(image.save(picture));

    MessageTab &message = document.messageTab();
    const auto field = [] { return std::make_shared<SimpleTag>(QStringLiteral("field 1")); };
    const ConditionRule rule{QStringLiteral("field 1"), ConditionRule::Equals, QStringLiteral("Ann"),
                             RichText(QStringLiteral("Hi there"))};
    message.setMode(MessageTab::Mode::RawHTML);
    RichText source = withTag(QStringLiteral("<p>"), field(), QStringLiteral("</p>"));
    source.append(withTag({}, std::make_shared<ConditionTag>(QStringLiteral("Greeting"), QList<ConditionRule>{rule})));
    const auto link = std::make_shared<HTMLFileLinkTag>(picture);
    source.append(withTag(QStringLiteral("<img src=\""), link, QStringLiteral("\">")));
    source.append(withTag({}, std::make_shared<ImageTag>(picture)));
    source.append(withTag(QStringLiteral(" #"), std::make_shared<MessageNumberTag>()));
    message.setBodyText(source);
    message.setEditHTMLPart(false);
    message.setBodyText(withTag(QStringLiteral("Hi "), field()));
    message.setSubjectText(withTag(QStringLiteral("News for "), field()));

    auto smart = std::make_shared<SmartAttachment>();
    smart->setRootFilePath(folder);
    smart->setFileName(withTag({}, field(), QStringLiteral(".pdf")));
    smart->setNotFoundAction(SmartAttachment::SkipMessage);
    document.attachmentManager().addAttachment(std::make_shared<StaticAttachment>(picture));
    document.attachmentManager().addAttachment(smart);

    const auto font = [](bool bold) {
        return QVariant::fromValue(FontDescriptor{QStringLiteral("DejaVu Sans"), 11, bold, false});
    };
    RichText log(QStringLiteral("-- Log start --\n\n"), {{TextAttributeName::Font, font(false)}});
    log.append(RichText(QStringLiteral("Error ( 2 ) bob@example.org:\nrefused\n"),
                        {{TextAttributeName::Font, font(true)},
                         {TextAttributeName::Color, QVariant::fromValue(RgbaColor{1, 0, 0, 1})}}));
    document.logTab()->setLogText(log);
}

std::unique_ptr<MyDocument> openedDocument()
{
    auto document = std::make_unique<MyDocument>();
    document->setCreateDefaultDoc(false);
    document->showWindows();
    return document;
}

// The family and size the body view draws its first character in.
std::string shownFont(const MyDocument &document)
{
    const QTextDocument *body = document.messageTabWidget()->bodyView()->document();
    QTextCursor cursor(const_cast<QTextDocument *>(body));
    cursor.setPosition(1);
    const QFontInfo info(cursor.charFormat().font().resolve(body->defaultFont()));
    return QStringLiteral("%1 %2").arg(info.family()).arg(info.pointSizeF()).toStdString();
}

QStringList tagClasses(const RichText &text)
{
    QStringList names;
    for (const SimpleTagRef &tag : AttributedTagString::tags(text))
        names << tag->archiveClassName();
    return names;
}

// What fillEverything put into `written`, as `read` shows it after reading a file.
void expectEverything(MyDocument &written, const std::unique_ptr<MyDocument> &read)
{
    const Database &table = read->database();
    EXPECT_EQ(table.fieldCount(), 76);
    EXPECT_EQ(table.fieldNameAtIndex(75), "field 75");
    EXPECT_EQ(table.entryCount(), 2);
    EXPECT_TRUE(table.isEntryActive(0));
    EXPECT_FALSE(table.isEntryActive(1));
    EXPECT_EQ(table.lastSentDate(0), QDateTime(QDate(2024, 2, 29), QTime(13, 14, 15), Qt::UTC));
    EXPECT_FALSE(table.lastSentDate(1).isValid());
    EXPECT_EQ(read->databaseTab()->columnCount(), 76 + 3);
    EXPECT_EQ(read->databaseTab()->tableView()->horizontalHeader()->sectionSize(4), 90);

    const MessageTab &message = read->messageTab();
    // Read with the HTML source in the body and the plain part beside it.
    EXPECT_EQ(message.mode(), MessageTab::Mode::RawHTML);
    EXPECT_TRUE(message.editHTMLPart());
    EXPECT_EQ(tagClasses(message.bodyString()),
              QStringList({"SimpleTag", "ConditionTag", "HTMLFileLinkTag", "ImageTag", "MessageNumberTag"}));
    ASSERT_TRUE(message.alternativeBodyPart().has_value());
    EXPECT_EQ(message.alternativeBodyPart()->string(), written.messageTab().bodyString().string());
    // The body view shows what was read.
    EXPECT_EQ(read->messageTabWidget()->bodyView()->attributedString().string(), message.bodyString().string());

    const QList<AttachmentRef> &attachments = read->attachmentManager().attachmentList();
    ASSERT_EQ(attachments.size(), 2);
    EXPECT_TRUE(std::dynamic_pointer_cast<StaticAttachment>(attachments.at(0)));
    const auto smart = std::dynamic_pointer_cast<SmartAttachment>(attachments.at(1));
    ASSERT_TRUE(smart);
    EXPECT_EQ(smart->notFoundAction(), SmartAttachment::SkipMessage);

    EXPECT_EQ(read->logTab()->logText(), written.logTab()->logText());
    const TextAttributes errorStyle = read->logTab()->logText().attributesAtIndex(20);
    EXPECT_TRUE(errorStyle.value(TextAttributeName::Font).value<FontDescriptor>().bold);

}

class DocumentFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const QString &name) const { return dir.filePath(name); }

    QTemporaryDir dir;
};

} // namespace

TEST_F(DocumentFileTest, KeyedRoundTripKeepsEverything)
{
    auto written = openedDocument();
    fillEverything(*written, dir.path());
    written->databaseTab()->tableView()->horizontalHeader()->resizeSection(4, 90);
    const QString file = path("project.quorv2");
    QString error;
    ASSERT_TRUE(written->writeToFile(file, &error)) << error.toStdString();
    EXPECT_FALSE(written->isDocumentEdited());
    EXPECT_FALSE(written->needsSaveAs());

    auto read = std::make_unique<MyDocument>();
    ASSERT_TRUE(read->readFromFile(file, {}, &error)) << error.toStdString();
    EXPECT_EQ(read->fileType(), MyDocument::ProjectType);
    read->showWindows();

    expectEverything(*written, read);

    // Nothing was lost or added on the way: the same parts again. The
    // message is read with its HTML source shown, so it settles after one trip.
    const auto parts = [](MyDocument &document) {
        return KeyedUnarchiver::unarchiveObjectWithData(document.dataRepresentationOfType({})).toMap();
    };
    const QVariantMap first = parts(*written), second = parts(*read);
    for (const QString &key : {QStringLiteral("Database"), QStringLiteral("Attachments"), QStringLiteral("Log")}) {
        EXPECT_EQ(KeyedArchiver::archivedDataWithRootObject(first.value(key)),
                  KeyedArchiver::archivedDataWithRootObject(second.value(key)))
            << key.toStdString();
    }
    ASSERT_TRUE(read->writeToFile(file, &error));
    auto again = std::make_unique<MyDocument>();
    ASSERT_TRUE(again->readFromFile(file, {}, &error));
    again->showWindows();
    EXPECT_EQ(KeyedArchiver::archivedDataWithRootObject(parts(*again).value("Message")),
              KeyedArchiver::archivedDataWithRootObject(second.value("Message")));
}

// A project saved by an earlier release (tests/data/archives), holding what
// fillEverything makes, opens with all of it.
TEST_F(DocumentFileTest, EarlierFilesOpenAsTheyWere)
{
    auto written = openedDocument();
    fillEverything(*written, dir.path());
    auto read = std::make_unique<MyDocument>();
    QString error;
    ASSERT_TRUE(read->readFromFile(testDataPath(QStringLiteral("archives/earlier-project.quorv2")), {}, &error))
        << error.toStdString();
    read->showWindows();
    expectEverything(*written, read);
}

TEST_F(DocumentFileTest, BodyReadsBackLookingAsItWasTyped)
{
    for (const MessageTab::Mode mode : {MessageTab::Mode::Plain, MessageTab::Mode::Formatted}) {
        SCOPED_TRACE(int(mode));
        auto typed = std::make_unique<MyDocument>();
        typed->messageTab().setMode(mode);
        typed->showWindows();
        QTest::keyClicks(typed->messageTabWidget()->bodyView(), "Dear all");
        const std::string font = shownFont(*typed);
        const QString file = path("typed.quorv2");
        QString error;
        ASSERT_TRUE(typed->writeToFile(file, &error)) << error.toStdString();

        auto reopened = std::make_unique<MyDocument>();
        ASSERT_TRUE(reopened->readFromFile(file, {}, &error)) << error.toStdString();
        reopened->showWindows();
        EXPECT_EQ(shownFont(*reopened), font) << "reopened";
        EXPECT_EQ(reopened->messageTabWidget()->bodyView()->isRichText(), mode == MessageTab::Mode::Formatted);

        QTest::keyClicks(typed->messageTabWidget()->bodyView(), ", and more");
        ASSERT_TRUE(typed->revertToSaved(&error)) << error.toStdString();
        EXPECT_EQ(typed->messageTabWidget()->bodyView()->toPlainText().toStdString(), "Dear all");
        EXPECT_EQ(shownFont(*typed), font) << "reverted";
    }
}

TEST_F(DocumentFileTest, OldTextFormInEveryByteOrder)
{
    struct Case {
        bool bigEndian, mark, four;
    };
    for (const Case c : {Case{false, false, false}, Case{false, true, true}, Case{true, true, false},
                         Case{true, true, true}}) {
        SCOPED_TRACE(testing::Message() << c.bigEndian << c.mark << c.four);
        const QString file = path("old.corv");
        writeFile(file, utf16(oldFormText(c.four), c.bigEndian, c.mark) + (c.four ? QByteArray("\x01") : QByteArray()));
        auto document = std::make_unique<MyDocument>();
        QString error;
        ASSERT_TRUE(document->readFromFile(file, {}, &error)) << error.toStdString();
        EXPECT_EQ(document->fileType(), MyDocument::OldType);
        EXPECT_TRUE(document->needsSaveAs());
        document->showWindows();
        EXPECT_EQ(document->messageTab().subjectString().string(), "Hello from 1999");
        EXPECT_EQ(document->messageTab().bodyString().string(), "Dear friend,\nsee you.");
        const Database &table = document->database();
        ASSERT_EQ(table.entryCount(), 2);
        EXPECT_EQ(table.addressForEntry(1), "bob@example.org");
        EXPECT_EQ(table.entryValue(0, "1"), "Ann");
        EXPECT_EQ(table.entryValue(1, "1"), "");
        // No default fields over a file's table; the other parts stay empty.
        EXPECT_EQ(table.fieldCount(), 0);
        EXPECT_EQ(document->attachmentManager().attachmentCount(), 0);
        EXPECT_TRUE(document->logTab()->logText().string().isEmpty());
    }
}

TEST_F(DocumentFileTest, OlderArchivesOpenAndAreSavedOnlyUnderANewName)
{
    const QVariantMap root = databaseOnlyRoot({"mail", "name"}, 3);
    const QString typed = path("typed.corv");
    writeFile(typed, TypedArchiver::archivedDataWithRootObject(root));
    auto document = openedDocument();
    QString error;
    ASSERT_TRUE(document->readFromFile(typed, {}, &error)) << error.toStdString();
    EXPECT_EQ(document->fileType(), MyDocument::TypedArchiveType);
    EXPECT_EQ(document->database().entryCount(), 3);
    EXPECT_TRUE(document->needsSaveAs());
    EXPECT_FALSE(document->writeToFile(typed, &error));
    EXPECT_EQ(QFile(typed).size(), TypedArchiver::archivedDataWithRootObject(root).size());
    ASSERT_TRUE(document->writeToFile(path("typed.quorv2"), &error)) << error.toStdString();
    EXPECT_FALSE(document->needsSaveAs());
    EXPECT_TRUE(readWholeFile(path("typed.quorv2")).startsWith("bplist"));

    // A file of the old type that is a keyed archive after all.
    const QString keyed = path("keyed.corv");
    writeFile(keyed, KeyedArchiver::archivedDataWithRootObject(root));
    auto old = openedDocument();
    ASSERT_TRUE(old->readFromFile(keyed, MyDocument::OldType, &error)) << error.toStdString();
    EXPECT_EQ(old->database().fieldNames(), QStringList({"mail", "name"}));
    EXPECT_TRUE(old->needsSaveAs());
}

TEST_F(DocumentFileTest, HostileFilesAreRefusedWithoutHarm)
{
    auto document = openedDocument();
    fillEverything(*document, dir.path());
    const QByteArray before = document->dataRepresentationOfType(MyDocument::ProjectType);

    const QList<QPair<QString, QByteArray>> files = {
        {"garbage.quorv2", QByteArray("\x00\x01garbage\xff\xfe\x7f", 12)},
        {"empty.quorv2", QByteArray()},
        {"list-root.quorv2", KeyedArchiver::archivedDataWithRootObject(QVariantList{1, 2})},
        {"string-root.quorv2", TypedArchiver::archivedDataWithRootObject(QStringLiteral("Database"))},
        {"no-parts.quorv2", KeyedArchiver::archivedDataWithRootObject(QVariantMap{{"Other", QVariantMap()}})},
        {"truncated.quorv2", before.left(before.size() / 2)},
    };
    for (const auto &[name, bytes] : files) {
        SCOPED_TRACE(name.toStdString());
        writeFile(path(name), bytes);
        QString error;
        for (const QString &type : {QString(), MyDocument::OldType}) {
            EXPECT_FALSE(document->readFromFile(path(name), type, &error));
            EXPECT_TRUE(error.contains("not a project file")) << error.toStdString();
        }
    }
    EXPECT_EQ(document->dataRepresentationOfType(MyDocument::ProjectType), before);

    // Parts of the wrong kind count as missing; the rest is read.
    writeFile(path("odd-parts.quorv2"),
              KeyedArchiver::archivedDataWithRootObject(QVariantMap{
                  {"Database", QStringLiteral("not a table")},
                  {"Attachments", QVariantMap{{"Attachments List", QVariantList{1, "x", QVariantMap()}}}},
                  {"Log", QVariantList()},
                  {"Message", QVariantMap{{"Subject String", "Kept"}}}}));
    QString error;
    ASSERT_TRUE(document->readFromFile(path("odd-parts.quorv2"), {}, &error)) << error.toStdString();
    EXPECT_EQ(document->messageTab().subjectString().string(), "Kept");
    EXPECT_EQ(document->database().fieldCount(), 76);
    EXPECT_EQ(document->attachmentManager().attachmentCount(), 0);
    EXPECT_FALSE(document->logTab()->logText().string().isEmpty());

    // Only plain files, and none beyond the bound (a sparse file costs nothing).
    EXPECT_FALSE(document->readFromFile(dir.path(), {}, &error));
    EXPECT_FALSE(document->readFromFile(path("missing.quorv2"), {}, &error));
    QFile huge(path("huge.quorv2"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(513LL * 1024 * 1024));
    huge.close();
    EXPECT_FALSE(document->readFromFile(huge.fileName(), {}, &error));
    EXPECT_TRUE(error.contains("too large")) << error.toStdString();
}

namespace {

class UnwritableDocument : public MyDocument {
public:
    QByteArray dataRepresentationOfType(const QString &) override { throw std::runtime_error("no data"); }
};

} // namespace

TEST_F(DocumentFileTest, FailedSaveLeavesThePreviousFileWhole)
{
    auto document = openedDocument();
    fillEverything(*document, dir.path());
    const QString file = path("keep.quorv2");
    QString error;
    ASSERT_TRUE(document->writeToFile(file, &error));
    const QByteArray saved = readWholeFile(file);

    // The file system refuses the write part-way: every byte past 4 KiB.
    document->logTab()->setLogText(RichText(QString(200000, QChar('x'))));
    document->updateChangeCount(Document::ChangeDone);
    bool written = false;
    {
        const FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.isSet());
        written = document->writeToFile(file, &error);
    }
    EXPECT_FALSE(written);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readWholeFile(file), saved);
    EXPECT_TRUE(document->isDocumentEdited());
    EXPECT_EQ(QDir(dir.path()).entryList({"keep*"}, QDir::Files), QStringList("keep.quorv2"));

    // A document that cannot make its data writes nothing at all.
    UnwritableDocument broken;
    EXPECT_THROW((void)broken.writeToFile(file, &error), std::runtime_error);
    EXPECT_EQ(readWholeFile(file), saved);

    // Saved over a pipe, the file would be renamed over it: the pipe stays.
    const QString pipe = path("pipe.quorv2");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_FALSE(document->writeToFile(pipe, &error));
    EXPECT_TRUE(error.contains(QLatin1String("pipe.quorv2"))) << error.toStdString();
    EXPECT_TRUE(error.contains(QLatin1String("something other than a file"))) << error.toStdString();
    EXPECT_FALSE(error.contains(u'%')) << error.toStdString();
    EXPECT_FALSE(QFileInfo(pipe).isFile());
    EXPECT_TRUE(QFileInfo(pipe).exists());
}

TEST_F(DocumentFileTest, RevertOfOldFormDoesNotAddRowsTwice)
{
    const QString file = path("old.corv");
    writeFile(file, utf16(oldFormText(false), false, false));
    auto document = std::make_unique<MyDocument>();
    QString error;
    ASSERT_TRUE(document->readFromFile(file, {}, &error));
    document->showWindows();
    document->database().addEmptyEntry(-1);
    document->updateChangeCount(Document::ChangeDone);
    EXPECT_TRUE(document->isDocumentEdited());

    ASSERT_TRUE(document->revertToSaved(&error)) << error.toStdString();
    EXPECT_EQ(document->database().entryCount(), 2);
    EXPECT_EQ(document->databaseTab()->tableView()->model()->rowCount(), 2);
    EXPECT_FALSE(document->isDocumentEdited());
    ASSERT_TRUE(document->revertToSaved(&error));
    EXPECT_EQ(document->database().entryCount(), 2);
}

TEST_F(DocumentFileTest, TableOnlyFromAnotherFile)
{
    QVariantMap root = databaseOnlyRoot({"mail", "town"}, 4);
    root.insert("Message", QVariantMap{{"Subject String", "Not taken"}});
    root.insert("Log", QVariantMap{{"Log Text", QVariant::fromValue(RichText("not taken"))}});
    writeFile(path("table.quorv2"), TypedArchiver::archivedDataWithRootObject(root));

    MyDocument document;
    ASSERT_TRUE(document.loadDatabaseFromFile(path("table.quorv2")));
    document.showWindows();
    EXPECT_EQ(document.database().fieldNames(), QStringList({"mail", "town"}));
    EXPECT_EQ(document.database().entryCount(), 4);
    EXPECT_TRUE(document.messageTab().subjectString().string().isEmpty());
    EXPECT_TRUE(document.logTab()->logText().string().isEmpty());

    // A missing file changes nothing: the new document gets the default fields.
    MyDocument fresh;
    EXPECT_FALSE(fresh.loadDatabaseFromFile(path("nowhere.quorv2")));
    fresh.showWindows();
    EXPECT_EQ(fresh.database().fieldNames(), QStringList({"e-mail", "first name", "last name"}));
}
