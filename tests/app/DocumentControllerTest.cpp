#include <gtest/gtest.h>

#include "AppTestDocuments.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

class DocumentControllerTest : public ::testing::Test {
protected:
    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return file.fileName();
    }
    QByteArray bytes(const QString &name) const
    {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    FakeDocument *open(const QString &path)
    {
        return static_cast<FakeDocument *>(controller.openDocumentWithContentsOfFile(path));
    }

    QTemporaryDir dir;
    ControllerFakes fakes;
    DocumentController &controller = ControllerFakes::controller();
};

TEST_F(DocumentControllerTest, opensEachFileOnceAndRefusesWhatItCannotRead)
{
    ASSERT_TRUE(controller.newDocument());
    ASSERT_TRUE(controller.newDocument());
    EXPECT_NE(fakes.document(0)->displayName(), fakes.document(1)->displayName()) << "untitled documents are numbered";

    const QString a = write("a.quorv2", "FAKE a");
    FakeDocument *document = open(a);
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->contents, QByteArray("FAKE a"));
    QDir(dir.path()).mkdir("sub");
    EXPECT_EQ(open(dir.filePath("sub/../a.quorv2")), document) << "already open: brought forward";
    fakes.panels.openAnswers = {a};
    EXPECT_TRUE(controller.openDocument());
    EXPECT_FALSE(controller.openDocument()) << "open panel cancelled";

    EXPECT_EQ(open(write("junk.quorv2", "not a project")), nullptr);
    EXPECT_EQ(open(dir.filePath("missing.quorv2")), nullptr);
    EXPECT_EQ(open(dir.path()), nullptr) << "a folder is no document";
    EXPECT_EQ(fakes.panels.errors.size(), 3);

    controller.openFiles({write("b.quorv2", "FAKE b"), dir.filePath("missing.quorv2"), a});
    ASSERT_EQ(controller.documents().size(), 4);
    EXPECT_EQ(controller.documents().last()->fileName(), dir.filePath("b.quorv2"));
}

TEST_F(DocumentControllerTest, saveAsksForANameOnlyWhenTheDocumentHasNone)
{
    ASSERT_TRUE(controller.newDocument());
    FakeDocument *document = fakes.document(0);
    document->edit("FAKE one");
    EXPECT_FALSE(controller.saveDocument(document)) << "save panel cancelled";
    EXPECT_EQ(fakes.panels.suggestions, QStringList{QDir::home().filePath(document->displayName() + ".quorv2")});

    fakes.panels.saveAnswers = {dir.filePath("one.quorv2")};
    ASSERT_TRUE(controller.saveDocument(document));
    EXPECT_EQ(bytes("one.quorv2"), QByteArray("FAKE one"));
    EXPECT_FALSE(document->isDocumentEdited());

    document->edit("FAKE two");
    ASSERT_TRUE(controller.saveDocument(document));
    EXPECT_EQ(fakes.panels.suggestions.size(), 2) << "a named document is saved without asking";
    EXPECT_EQ(bytes("one.quorv2"), QByteArray("FAKE two"));
}

TEST_F(DocumentControllerTest, anOlderFormIsNeverWrittenOverAndAFailedWriteChangesNothing)
{
    FakeDocument *document = open(write("letters.v1.old", "FAKE old form"));
    ASSERT_NE(document, nullptr);
    ASSERT_TRUE(document->needsSaveAs());
    fakes.panels.saveAnswers = {dir.filePath("letters.v1.old"), dir.filePath("no-such-folder/x.quorv2"),
                                dir.filePath("letters.v1.quorv2")};
    EXPECT_FALSE(controller.saveDocument(document)) << "the user chose the old file itself";
    EXPECT_EQ(fakes.panels.suggestions.value(0), dir.filePath("letters.v1.quorv2"));
    document->edit("FAKE edited");
    EXPECT_FALSE(controller.saveDocument(document)) << "unwritable folder";
    EXPECT_EQ(fakes.panels.errors.size(), 2);
    EXPECT_EQ(document->fileName(), dir.filePath("letters.v1.old"));
    EXPECT_TRUE(document->isDocumentEdited());

    ASSERT_TRUE(controller.saveDocument(document));
    EXPECT_EQ(document->fileName(), dir.filePath("letters.v1.quorv2"));
    EXPECT_FALSE(document->needsSaveAs());
    EXPECT_EQ(bytes("letters.v1.old"), QByteArray("FAKE old form"));

    document->edit("FAKE lost");
    document->throwOnWrite = true;
    EXPECT_FALSE(controller.saveDocument(document)) << "a throwing writer is a failed save, not a crash";
    ASSERT_EQ(fakes.panels.errors.size(), 3);
    EXPECT_TRUE(fakes.panels.errors[2].contains("table in a bad state"));
    EXPECT_EQ(bytes("letters.v1.quorv2"), QByteArray("FAKE edited"));
}

TEST_F(DocumentControllerTest, revertReadsTheFileAgainOrChangesNothing)
{
    FakeDocument *document = open(write("r.quorv2", "FAKE saved"));
    ASSERT_NE(document, nullptr);
    document->edit("FAKE edited");
    EXPECT_FALSE(controller.revertDocument(document)) << "cancelled";
    EXPECT_EQ(document->contents, QByteArray("FAKE edited"));
    EXPECT_TRUE(document->isDocumentEdited());
    fakes.panels.revertAnswers = {true};
    ASSERT_TRUE(controller.revertDocument(document));
    EXPECT_EQ(document->contents, QByteArray("FAKE saved"));
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_EQ(fakes.log.join(" | ").toStdString(), "revert? r.quorv2 | revert? r.quorv2");
    fakes.log.clear();
    ASSERT_TRUE(controller.revertDocument(document));
    EXPECT_TRUE(fakes.log.isEmpty()) << "nothing to lose, nothing asked";

    document->edit("FAKE edited");
    fakes.panels.revertAnswers = {true};
    write("r.quorv2", "damaged");
    EXPECT_FALSE(controller.revertDocument(document));
    EXPECT_EQ(document->contents, QByteArray("FAKE edited"));
    EXPECT_TRUE(document->isDocumentEdited());
    EXPECT_EQ(fakes.panels.errors.size(), 1);
}

TEST_F(DocumentControllerTest, closeAsksAboutChangesAndRefusesWhileSending)
{
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(controller.newDocument());
    FakeDocument *clean = fakes.document(0), *edited = fakes.document(1), *untitled = fakes.document(2),
                 *sending = fakes.document(3);
    for (FakeDocument *document : {edited, untitled, sending})
        document->edit("FAKE");
    sending->sending = true;

    EXPECT_TRUE(controller.closeDocument(clean));
    EXPECT_TRUE(fakes.log.isEmpty()) << "nothing to ask about an unchanged document";
    fakes.panels.choices = {DocumentPanels::Cancel, DocumentPanels::DontSave, DocumentPanels::Save};
    EXPECT_FALSE(controller.closeDocument(edited));
    EXPECT_TRUE(controller.closeDocument(edited));
    EXPECT_FALSE(controller.closeDocument(untitled)) << "save panel cancelled: stays open";

    EXPECT_FALSE(controller.closeDocument(sending));
    EXPECT_EQ(fakes.log.size(), 3) << "refused before asking";
    ASSERT_EQ(fakes.panels.errors.size(), 1);
    EXPECT_TRUE(fakes.panels.errors[0].endsWith(": A send run is in progress."));
    EXPECT_EQ(controller.documents(), (QList<Document *>{untitled, sending}));
}

TEST_F(DocumentControllerTest, quitAsksAboutEveryRunThenStopsThemAllBeforeItAsksAboutSaving)
{
    ASSERT_TRUE(controller.newDocument());
    ASSERT_TRUE(controller.newDocument());
    FakeDocument *first = fakes.document(0), *second = fakes.document(1);
    first->edit("FAKE");
    second->edit("FAKE");
    second->sending = true;
    const QString a = first->displayName(), b = second->displayName();

    EXPECT_FALSE(controller.reviewUnsavedDocumentsForQuit()) << "the user went on sending";
    EXPECT_EQ(fakes.log, QStringList{"stop? " + b}) << "nothing stopped, nothing else asked";
    EXPECT_TRUE(second->sending);

    fakes.log.clear();
    fakes.panels.stopAnswers = {true};
    fakes.panels.choices = {DocumentPanels::DontSave, DocumentPanels::Cancel, DocumentPanels::DontSave,
                            DocumentPanels::DontSave, DocumentPanels::DontSave};
    EXPECT_FALSE(controller.reviewUnsavedDocumentsForQuit()) << "cancelled at the second document";
    EXPECT_EQ(fakes.log,
              (QStringList{"stop? " + b, "prepareToQuit " + a, "prepareToQuit " + b, "ask " + a, "ask " + b}));
    EXPECT_TRUE(controller.reviewUnsavedDocumentsForQuit());

    second->sending = second->refusesToStop = true;
    fakes.panels.stopAnswers = {true};
    EXPECT_FALSE(controller.reviewUnsavedDocumentsForQuit());
    EXPECT_EQ(fakes.panels.errors.size(), 1);
}

} // namespace
