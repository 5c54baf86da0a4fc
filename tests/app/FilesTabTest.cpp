// The attachments tab and the attachment editor: adding through the panel
// and by dropping (only local regular files), removing, the stored list,
// editing per-recipient files, and what a cancelled default-file panel leaves.

#include "SendTestSupport.h"

#include "../foundation_ui/RecordingAlertPresenter.h"

#include "AttachmentEditor.h"
#include "FilesDataSource.h"
#include "FilesTab.h"
#include "FilesTable.h"
#include "SingleLineTextView.h"

#include "AttachmentManager.h"
#include "AttributedTagString.h"
#include "KeyedArchiver.h"
#include "KeyedUnarchiver.h"
#include "SimpleTag.h"
#include "SmartAttachment.h"
#include "StaticAttachment.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDragEnterEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class FilesTabTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        document.showWindows();
        tab = document.attachmentTab();
        document.updateChangeCount(Document::ChangeCleared);
    }
    QString file(const QString &name)
    {
        QFile f(folder.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(name.toUtf8());
        return f.fileName();
    }
    QStringList shownNames() const
    {
        QStringList names;
        const QAbstractItemModel *model = tab->fileTable()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            names.append(model->index(row, 0).data().toString());
        return names;
    }
    AttachmentManager &manager() { return document.attachmentManager(); }

    QTemporaryDir folder;
    RecordingAlertPresenter alerts;
    ScriptedFilePanels panels;
    MyDocument document;
    FilesTab *tab = nullptr;
};

TEST_F(FilesTabTest, FilesFromThePanelInItsOrderAndRemovingFromTheTop)
{
    panels.answers.push_back({file("c.pdf"), file("a.pdf"), file("b.pdf"), file("d.pdf"), file("e.pdf")});
    tab->doAdd();
    EXPECT_EQ(panels.asked, QStringList{"files"});
    EXPECT_EQ(shownNames(), (QStringList{"c", "a", "b", "d", "e"}));
    EXPECT_EQ(tab->fileTable()->model()->index(1, 0).data(Qt::ToolTipRole).toString(), folder.filePath("a.pdf"));
    EXPECT_TRUE(document.isDocumentEdited());

    document.updateChangeCount(Document::ChangeCleared);
    tab->doAdd(); // cancelled
    EXPECT_EQ(manager().attachmentCount(), 5);
    EXPECT_TRUE(document.isDocumentEdited()) << "as the panel always did";

    QItemSelectionModel *selection = tab->fileTable()->selectionModel();
    const QAbstractItemModel *model = tab->fileTable()->model();
    selection->select(model->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(model->index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    tab->doRemove();
    EXPECT_EQ(shownNames(), (QStringList{"c", "b", "e"}));
}

// Sends a drag over the table and, when it is taken, the drop.
Qt::DropAction drop(FilesTable *table, const QMimeData &data, Qt::DropActions possible)
{
    const QPoint middle = table->viewport()->rect().center();
    QDragEnterEvent enter(middle, possible, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(table->viewport(), &enter);
    if (!enter.isAccepted())
        return Qt::IgnoreAction;
    QDropEvent dropped(middle, possible, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(table->viewport(), &dropped);
    return dropped.isAccepted() ? dropped.dropAction() : Qt::IgnoreAction;
}

TEST_F(FilesTabTest, DropsTakeLocalFilesOnlyAndAppendThem)
{
    manager().addAttachment(std::make_shared<StaticAttachment>(file("first.txt")));
    manager().addAttachment(std::make_shared<StaticAttachment>(file("last.txt")));
    const QString fifo = folder.filePath("pipe");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    QDir(folder.path()).mkdir("sub");

    const auto urls = [](const QList<QUrl> &list) {
        auto data = std::make_unique<QMimeData>();
        data->setUrls(list);
        return data;
    };
    struct Refused {
        const char *name;
        std::unique_ptr<QMimeData> data;
    };
    std::vector<Refused> refused;
    refused.push_back({"a web address", urls({QUrl("http://example.org/page.html")})});
    refused.push_back({"a folder", urls({QUrl::fromLocalFile(folder.filePath("sub"))})});
    refused.push_back({"a fifo", urls({QUrl::fromLocalFile(fifo)})});
    refused.push_back({"a file and a web address",
                       urls({QUrl::fromLocalFile(file("ok.txt")), QUrl("https://example.org/x")})});
    auto text = std::make_unique<QMimeData>();
    text->setText(folder.filePath("first.txt"));
    refused.push_back({"text only", std::move(text)});
    for (const Refused &r : refused) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(drop(tab->fileTable(), *r.data, Qt::CopyAction | Qt::LinkAction), Qt::IgnoreAction);
    }
    EXPECT_EQ(manager().attachmentCount(), 2);
    EXPECT_FALSE(document.isDocumentEdited());

    const auto two = urls({QUrl::fromLocalFile(file("x.txt")), QUrl::fromLocalFile(file("y.txt"))});
    EXPECT_EQ(drop(tab->fileTable(), *two, Qt::CopyAction | Qt::LinkAction), Qt::CopyAction);
    EXPECT_EQ(shownNames(), (QStringList{"first", "last", "x", "y"})) << "at the end, wherever dropped";
    EXPECT_TRUE(document.isDocumentEdited()) << "a drop is a change like any other";
    const auto linked = urls({QUrl::fromLocalFile(file("z.txt"))});
    EXPECT_EQ(drop(tab->fileTable(), *linked, Qt::LinkAction), Qt::LinkAction);
}

TEST_F(FilesTabTest, BothKindsComeBackFromTheProjectFileAndOnlyPerRecipientOnesOpenTheEditor)
{
    manager().addAttachment(std::make_shared<StaticAttachment>(file("fixed.pdf")));
    auto smart = std::make_shared<SmartAttachment>();
    smart->setRootFilePath(folder.path());
    smart->setFileName(RichText(QStringLiteral("invoice.pdf")));
    smart->setNotFoundAction(SmartAttachment::UseDefaultFile);
    smart->setDefaultFilePath(file("default.pdf"));
    manager().addAttachment(smart);

    const QVariant stored =
        KeyedUnarchiver::unarchiveObjectWithData(KeyedArchiver::archivedDataWithRootObject(tab->fileData()));
    MyDocument reopened;
    reopened.showWindows();
    reopened.attachmentTab()->readFileData(stored.toMap());
    const QList<AttachmentRef> list = reopened.attachmentManager().attachmentList();
    ASSERT_EQ(list.size(), 2);
    EXPECT_TRUE(std::dynamic_pointer_cast<StaticAttachment>(list.at(0)));
    const auto back = std::dynamic_pointer_cast<SmartAttachment>(list.at(1));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->rootFilePath(), folder.path());
    EXPECT_EQ(back->notFoundAction(), SmartAttachment::UseDefaultFile);
    EXPECT_EQ(back->defaultFilePath(), folder.filePath("default.pdf"));

    QWidget *window = document.window();
    tab->tableDoubleClick(0);
    EXPECT_FALSE(window->findChild<AttachmentEditor *>()) << "a fixed file has nothing to edit";
    tab->tableDoubleClick(1);
    auto *editor = window->findChild<AttachmentEditor *>();
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->model().editedAttachment(), smart);
    EXPECT_EQ(editor->fileNameField()->toPlainText(), "invoice.pdf");
    EXPECT_EQ(editor->notFoundButtons()->checkedId(), SmartAttachment::UseDefaultFile);
    editor->cancelClicked();
}

TEST_F(FilesTabTest, AnEditShowsAtOnceAndMarksTheDocumentChanged)
{
    auto smart = std::make_shared<SmartAttachment>();
    smart->setRootFilePath(folder.path());
    smart->setFileName(RichText(QStringLiteral("old.pdf")));
    manager().addAttachment(smart);
    document.updateChangeCount(Document::ChangeCleared);

    tab->tableDoubleClick(0);
    auto *editor = document.window()->findChild<AttachmentEditor *>();
    ASSERT_TRUE(editor);
    editor->fileNameField()->setAttributedString(RichText(QStringLiteral("new.pdf")));
    editor->okClicked();
    EXPECT_EQ(shownNames(), QStringList{"new.pdf"});
    EXPECT_TRUE(document.isDocumentEdited());

    // A new one through the editor.
    document.updateChangeCount(Document::ChangeCleared);
    panels.answers.push_back({folder.path()});
    tab->doAddPersonalizedFile();
    editor = nullptr;
    for (AttachmentEditor *candidate : document.window()->findChildren<AttachmentEditor *>()) {
        if (!candidate->model().editedAttachment() && candidate->isVisible())
            editor = candidate;
    }
    ASSERT_TRUE(editor);
    editor->setRootDir();
    editor->insertField(QStringLiteral("first name"));
    editor->okClicked();
    ASSERT_EQ(manager().attachmentCount(), 2);
    EXPECT_EQ(shownNames().at(1), "<first name>");
    EXPECT_TRUE(document.isDocumentEdited());
}

TEST(AttachmentEditor, ACancelledPanelKeepsTheActionAndWhatOkStores)
{
    RecordingAlertPresenter alerts;
    ScriptedFilePanels panels;
    QTemporaryDir folder;
    AttachmentManager manager;

    // New: 2; 3 with the file panel cancelled stays at 2.
    AttachmentEditor fresh(nullptr);
    fresh.setAttachmentManager(&manager);
    EXPECT_EQ(fresh.notFoundButtons()->checkedId(), 2);
    fresh.notFoundButtons()->button(3)->click();
    EXPECT_EQ(panels.asked, QStringList{"file"});
    EXPECT_EQ(fresh.notFoundButtons()->checkedId(), 2);

    // A cancelled panel leaves the action and the file as they were before
    // the click: "stop sending" stays, and so does a default file clicked again.
    const struct {
        const char *what;
        int action;
        QString defaultFile;
    } loadedCases[] = {
        {"stop sending", SmartAttachment::AbortRun, QString()},
        {"default file", SmartAttachment::UseDefaultFile, folder.filePath("kept.pdf")},
    };
    for (const auto &c : loadedCases) {
        SCOPED_TRACE(c.what);
        auto entry = std::make_shared<SmartAttachment>();
        entry->setNotFoundAction(c.action);
        entry->setDefaultFilePath(c.defaultFile);
        entry->setRootFilePath(folder.path());
        AttachmentManager listed;
        listed.addAttachment(entry);
        AttachmentEditor loaded(nullptr);
        loaded.setAttachmentManager(&listed);
        loaded.editAttachment(entry);
        const QString shownFile = loaded.defaultFileField()->text();
        loaded.notFoundButtons()->button(3)->click();
        EXPECT_EQ(loaded.notFoundButtons()->checkedId(), c.action);
        EXPECT_EQ(loaded.defaultFileField()->text(), shownFile);
        loaded.okClicked();
        EXPECT_EQ(entry->notFoundAction(), c.action);
        EXPECT_EQ(entry->defaultFilePath(), c.defaultFile);
    }

    // OK without a folder: told, and nothing lost.
    fresh.fileNameField()->setAttributedString(RichText(QStringLiteral("kept.pdf")));
    fresh.okClicked();
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(alerts.shown.front().title, "No folder chosen");
    EXPECT_EQ(fresh.fileNameField()->toPlainText(), "kept.pdf");
    EXPECT_EQ(manager.attachmentCount(), 0);

    // Folder and default file names are shown as text.
    panels.answers.push_back({folder.filePath("<i>x<i>")});
    QDir(folder.path()).mkdir("<i>x<i>");
    fresh.setRootDir();
    EXPECT_EQ(fresh.rootDirField()->textFormat(), Qt::PlainText);
    EXPECT_EQ(fresh.rootDirField()->text(), "<i>x<i>");

    // Action 3 stores the default file; action 1 leaves the default empty.
    panels.answers.push_back({folder.filePath("default.pdf")});
    fresh.notFoundButtons()->button(3)->click();
    EXPECT_EQ(fresh.notFoundButtons()->checkedId(), 3);
    EXPECT_EQ(fresh.defaultFileField()->text(), "default");
    fresh.okClicked();
    ASSERT_EQ(manager.attachmentCount(), 1);
    const auto withDefault = std::dynamic_pointer_cast<SmartAttachment>(manager.attachmentAtIndex(0));
    EXPECT_EQ(withDefault->notFoundAction(), 3);
    EXPECT_EQ(withDefault->defaultFilePath(), folder.filePath("default.pdf"));

    AttachmentEditor skipping(nullptr);
    skipping.setAttachmentManager(&manager);
    panels.answers.push_back({folder.path()});
    skipping.setRootDir();
    skipping.notFoundButtons()->button(1)->click();
    skipping.okClicked();
    ASSERT_EQ(manager.attachmentCount(), 2);
    const auto skipper = std::dynamic_pointer_cast<SmartAttachment>(manager.attachmentAtIndex(1));
    EXPECT_EQ(skipper->notFoundAction(), 1);
    EXPECT_TRUE(skipper->defaultFilePath().isEmpty());
}

} // namespace
