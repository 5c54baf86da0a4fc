// The recipient tab in its window, driven through the real menus,
// shortcuts, header and cells: the selection follows its entries, moved
// columns keep their fields, drops, find, the send-run lock, undo that
// keeps what was written after its step, the columns' order and widths
// through save, reopen and revert, the sheets, and pictures of the tab and
// its sheets.

#include "DatabaseTab.h"
#include "RecipientCommands.h"
#include "RecipientTableModel.h"

#include "AddressBookSheet.h"
#include "CSVImporter.h"
#include "FieldContentsFilter.h"
#include "FieldNamesEditor.h"
#include "FilePanels.h"
#include "FindPanel.h"
#include "SendDateFilter.h"

#include "DocumentWindow.h"
#include "MessageTabWidget.h"
#include "MyDocument.h"
#include "PreviewTab.h"
#include "SendMailsUIHandler.h"

#include "../delivery/FakeSmtpServer.h"
#include "../foundation_ui/RecordingAlertPresenter.h"
#include "CellEditing.h"
#include "AddressBookSnapshot.h"
#include "AlertDialog.h"
#include "AttributedTagString.h"
#include "BodyTextView.h"
#include "ConditionTag.h"
#include "DatabaseManager.h"
#include "KeyedArchiver.h"
#include "MailDispatcher.h"
#include "PlainArrayDatabase.h"
#include "SendTestSupport.h"
#include "SimpleTag.h"
#include "SingleLineTextView.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTextCursor>
#include <QToolButton>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTest>
#include <QUndoStack>
#include <QUrl>

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <memory>

namespace {

// Answers the panels from lists, as a user would.
class ScriptedPanels : public FilePanels {
public:
    ScriptedPanels() { FilePanels::setCurrent(this); }
    ~ScriptedPanels() override { FilePanels::setCurrent(nullptr); }
    QStringList openFiles(QWidget *, const QString &, const QStringList &, bool) override { return opened; }
    QString saveFile(QWidget *, const QString &, const QString &) override { return saved; }
    QStringList opened;
    QString saved;
};

// A document window in front with five recipients under "e-mail",
// "first name" and "last name" (the new document's fields).
struct Window {
    MyDocument document;
    DatabaseTab *tab = nullptr;
    QTableView *view = nullptr;
    RecipientTableModel *model = nullptr;

    explicit Window(const QList<QStringList> &rows = {{"eve@x.org", "Eve", "Ek"},
                                                       {"bob@x.org", "Bob", "Berg"},
                                                       {"dan@x.org", "Dan", "Dahl"},
                                                       {"ann@x.org", "Ann", "Aas"},
                                                       {"cid@x.org", "Cid", "Cole"}})
    {
        document.showWindows();
        QApplication::setActiveWindow(document.window());
        EXPECT_TRUE(QTest::qWaitForWindowActive(document.window()));
        tab = document.databaseTab();
        view = tab->tableView();
        model = tab->model();
        for (const QStringList &row : rows)
            database().addEntryWithData(-1, row);
        tab->refreshData();
        view->setFocus();
    }

    Database &database() { return document.database(); }
    QAction *action(const char *name) const { return document.window()->findChild<QAction *>(QLatin1String(name)); }
    QPoint cell(int row, int logical) const { return view->visualRect(model->index(row, logical)).center(); }
    void click(int row, int logical, Qt::KeyboardModifiers modifiers = {}) const
    {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, cell(row, logical));
    }
    // Types the text into the cell as a user does.
    void type(int row, int logical, const QString &text) const
    {
        view->scrollTo(model->index(row, logical));
        click(row, logical);
        typeIntoCurrentCell(view, text);
    }
    // Names the field the view shows at the position through the names sheet.
    void nameField(int visual, const QString &name)
    {
        action("actionEditFieldNames")->trigger();
        auto *sheet = document.window()->findChild<FieldNamesEditor *>();
        ASSERT_TRUE(sheet);
        auto *list = sheet->findChild<QTableView *>("tableView");
        list->setCurrentIndex(list->model()->index(visual - DatabaseTab::FixedColumnCount, 1));
        typeIntoCurrentCell(list, name);
        const QString id = tab->columnIdentifierAt(visual);
        EXPECT_TRUE(QTest::qWaitFor([&] { return database().fieldNameForColumnID(id) == name; }));
        sheet->accept();
        QApplication::setActiveWindow(document.window());
        EXPECT_TRUE(QTest::qWaitForWindowActive(document.window()));
    }
    // Removes the field shown at the position, as a user does.
    void removeField(int visual)
    {
        QHeaderView *header = view->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, headerCenter(tab->logicalColumnAt(visual)));
        action("actionRemoveField")->trigger();
    }
    // A tag of the field at the end of the message body, picked from the
    // message tab's field pull-down.
    void insertTag(const QString &field)
    {
        MessageTabWidget *message = document.messageTabWidget();
        document.documentWindow()->tabView()->setCurrentWidget(message);
        message->bodyView()->setFocus();
        message->bodyView()->moveCursor(QTextCursor::End);
        bool found = false;
        for (QAction *item : message->fieldMenuButton()->menu()->actions()) {
            if (item->text() == field && !found) {
                item->trigger();
                found = true;
            }
        }
        EXPECT_TRUE(found) << field.toStdString();
        document.documentWindow()->tabView()->setCurrentWidget(tab);
        view->setFocus();
    }
    // The message body's tags as the views show them.
    QString bodyTags()
    {
        document.messageTabWidget()->commitEdits();
        return AttributedTagString::textTagString(document.messageTab().bodyString());
    }
    void undo() const { QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier); }
    void redo() const { QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier); }
    QPoint headerCenter(int logical) const
    {
        QHeaderView *header = view->horizontalHeader();
        return {header->sectionViewportPosition(logical) + header->sectionSize(logical) / 2, header->height() / 2};
    }
    QStringList column(const char *id)
    {
        QStringList values;
        for (int row = 0; row < database().entryCount(); ++row)
            values << database().entryValue(row, id);
        return values;
    }
};

QString screenshotFolder()
{
    QString folder = qEnvironmentVariable("CORV_SCREENSHOT_DIR");
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath() + QStringLiteral("/app");
    QDir().mkpath(folder);
    return folder;
}

void saveScreenshot(QWidget *widget, const char *name)
{
    const QString file = QDir(screenshotFolder()).filePath(QLatin1String(name));
    ASSERT_TRUE(widget->grab().save(file)) << name;
    EXPECT_FALSE(QImage(file).isNull()) << name;
}

template <typename T>
T *openSheet()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *sheet = qobject_cast<T *>(widget); sheet && sheet->isVisible())
            return sheet;
    }
    return nullptr;
}

QByteArray card(const QByteArray &name, const QByteArray &email)
{
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:" + name + "\r\nN:;" + name + ";;;\r\nEMAIL:" + email + "\r\nEND:VCARD\r\n";
}

// The field columns as the view shows them, left to right: identifier and width.
QList<std::pair<QString, int>> shownFieldColumns(const DatabaseTab &tab)
{
    QList<std::pair<QString, int>> columns;
    const QHeaderView *header = tab.tableView()->horizontalHeader();
    for (int visual = DatabaseTab::FixedColumnCount; visual < tab.columnCount(); ++visual)
        columns.append({tab.columnIdentifierAt(visual), header->sectionSize(tab.logicalColumnAt(visual))});
    return columns;
}

// Every slot of the table shown exactly once, and each named one under its name.
void expectEveryFieldShownOnce(const DatabaseTab &tab, const char *context)
{
    QStringList ids;
    for (const auto &column : shownFieldColumns(tab))
        ids << column.first;
    for (int slot = 0; slot < tab.database()->columnCount(); ++slot) {
        const QString id = Database::columnIdentifier(slot);
        EXPECT_EQ(ids.count(id), 1) << context << ": slot " << slot;
        const QString name = tab.database()->fieldNameForColumnID(id);
        if (!name.isEmpty()) {
            EXPECT_TRUE(tab.model()->headerData(tab.logicalColumnAt(DatabaseTab::FixedColumnCount + int(ids.indexOf(id))),
                                                Qt::Horizontal, Qt::DisplayRole)
                            .toString()
                            .contains(name))
                << context << ": " << name.toStdString();
        }
    }
}

// The file opened as a user opens it: read, then the window made.
std::unique_ptr<MyDocument> reopen(const QString &file)
{
    auto document = std::make_unique<MyDocument>();
    QString error;
    EXPECT_TRUE(document->readFromFile(file, {}, &error)) << error.toStdString();
    document->showWindows();
    return document;
}

} // namespace

TEST(DatabaseTab, RowsSelectedBeforeASortAreTheOnesDeleteRemoves)
{
    Window w;
    w.click(1, 4);
    w.click(3, 4, Qt::ControlModifier);
    ASSERT_EQ(w.tab->selectedRows(), QList<int>({1, 3}));

    // A double click on "first name" sorts by it and keeps the two selected.
    QTest::mouseDClick(w.view->horizontalHeader()->viewport(), Qt::LeftButton, {}, w.headerCenter(4));
    ASSERT_EQ(w.column("1"), QStringList({"Ann", "Bob", "Cid", "Dan", "Eve"}));
    EXPECT_EQ(w.tab->selectedRows(), QList<int>({0, 1}));
    EXPECT_TRUE(w.document.isDocumentEdited());

    QTest::keyClick(w.view, Qt::Key_Delete);
    EXPECT_EQ(w.column("1"), QStringList({"Cid", "Dan", "Eve"}));

    // Both steps come back with Ctrl+Z, the selection on the same recipients.
    QTest::keyClick(w.view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(w.column("1"), QStringList({"Ann", "Bob", "Cid", "Dan", "Eve"}));
    QTest::keyClick(w.view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(w.column("1"), QStringList({"Eve", "Bob", "Dan", "Ann", "Cid"}));
    EXPECT_FALSE(w.document.isDocumentEdited());

    // A double click on the edge between two headers resizes, never sorts.
    QHeaderView *header = w.view->horizontalHeader();
    const QPoint edge(header->sectionViewportPosition(4) + header->sectionSize(4) - 1, header->height() / 2);
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, edge);
    EXPECT_EQ(w.column("1"), QStringList({"Eve", "Bob", "Dan", "Ann", "Cid"}));
}

TEST(DatabaseTab, AMovedColumnGetsTheEditsRenamesAndCopiesOfItsOwnField)
{
    const TimeZone utc("UTC");
    Window w;
    w.database().setLastSentDate(1, QDateTime(QDate(2024, 3, 1), QTime(9, 30), Qt::UTC));
    QHeaderView *header = w.view->horizontalHeader();
    // "last name" (slot 2) dragged in front of "e-mail".
    header->moveSection(header->visualIndex(5), 3);
    ASSERT_EQ(w.tab->columnIdentifierAt(3), "2");

    w.type(0, 5, "Ekberg");
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.database().entryValue(0, "2") == "Ekberg"; }));
    EXPECT_EQ(w.database().entryValue(0, "0"), "eve@x.org");

    // The first row of the names sheet is the column the view shows first.
    w.action("actionEditFieldNames")->trigger();
    auto *sheet = openSheet<FieldNamesEditor>();
    ASSERT_TRUE(sheet);
    auto *list = sheet->findChild<QTableView *>("tableView");
    list->setCurrentIndex(list->model()->index(0, 1));
    typeIntoCurrentCell(list, "surname");
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.database().fieldNameForColumnID("2") == "surname"; }));
    sheet->accept();
    QApplication::setActiveWindow(w.document.window());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.document.window()));
    EXPECT_EQ(w.database().fieldNames(), QStringList({"e-mail", "first name", "surname"}));
    EXPECT_EQ(w.model->headerData(5, Qt::Horizontal, Qt::DisplayRole), "surname");

    w.click(1, 4);
    w.click(3, 4, Qt::ControlModifier);
    QApplication::clipboard()->clear();
    QTest::keyClick(w.view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(),
              "2\t2024-03-01 09:30\tBerg\tbob@x.org\tBob\n"
              "4\t-\tAas\tann@x.org\tAnn\n");

    // A column selected by its header copies its values, every row.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, w.headerCenter(5));
    QTest::keyClick(w.view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "Ekberg\nBerg\nDahl\nAas\nCole\n");
}

TEST(DatabaseTab, SpaceTogglesTheCheckboxAndTheDateCannotBeTyped)
{
    Window w;
    w.view->setCurrentIndex(w.model->index(2, 1));
    QTest::keyClick(w.view, Qt::Key_Space);
    EXPECT_FALSE(w.database().isEntryActive(2));
    QTest::keyClick(w.view, Qt::Key_Space);
    EXPECT_TRUE(w.database().isEntryActive(2));
    EXPECT_FALSE(w.model->flags(w.model->index(2, 2)) & Qt::ItemIsEditable);
    EXPECT_FALSE(w.model->flags(w.model->index(2, 0)) & Qt::ItemIsEditable);
    EXPECT_FALSE(w.model->flags(w.model->index(2, 1)) & Qt::ItemIsEditable);
    EXPECT_EQ(w.model->data(w.model->index(2, 2), Qt::DisplayRole), "-");
    EXPECT_TRUE(w.document.isDocumentEdited());
}

TEST(DatabaseTab, VCardsDroppedAboveRowThreeStandFromRowThree)
{
    Window w;
    auto *data = new QMimeData;
    data->setData("text/vcard", card("Gus", "gus@x.org") + card("Hal", "hal@x.org"));
    const QRect row3 = w.view->visualRect(w.model->index(3, 3));
    const QPoint above(row3.center().x(), row3.top() + 1);
    QDragEnterEvent enter(above, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.view->viewport(), &enter);
    QDragMoveEvent move(above, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.view->viewport(), &move);
    EXPECT_TRUE(move.isAccepted());
    QDropEvent drop(above, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.view->viewport(), &drop);
    delete data;
    EXPECT_EQ(w.column("0"), QStringList({"eve@x.org", "bob@x.org", "dan@x.org", "gus@x.org", "hal@x.org",
                                          "ann@x.org", "cid@x.org"}));
    EXPECT_EQ(w.database().fieldNames().mid(0, 3), QStringList({"e-mail", "first name", "last name"}))
        << "the table's fields keep their names";
    EXPECT_TRUE(w.document.isDocumentEdited());

    // vCard files dragged from a file manager, below the last row.
    QTemporaryDir dir;
    QFile file(dir.filePath("ivy.vcf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(card("Ivy", "ivy@x.org"));
    file.close();
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(file.fileName()), QUrl::fromLocalFile(dir.filePath("notes.txt"))});
    EXPECT_TRUE(w.model->dropMimeData(&files, Qt::CopyAction, -1, -1, {}));
    EXPECT_EQ(w.column("0").last(), "ivy@x.org");

    w.document.undoManager()->undo();
    w.document.undoManager()->undo();
    EXPECT_EQ(w.database().entryCount(), 5);
}

TEST(DatabaseTab, FindFromTheLastRowKeepsTheSelection)
{
    Window w;
    QTest::keyClick(w.view, Qt::Key_F, Qt::ControlModifier);
    FindPanel *panel = FindPanel::sharedPanel();
    ASSERT_TRUE(panel && panel->isVisible());
    // The one panel keeps the last search, as the user left it.
    panel->findChild<QLineEdit *>("searchString")->clear();
    QTest::keyClicks(panel->findChild<QLineEdit *>("searchString"), "X.ORG");
    w.click(4, 3);
    QTest::mouseClick(panel->findChild<QPushButton *>("nextButton"), Qt::LeftButton);
    EXPECT_EQ(w.tab->selectedRows(), QList<int>({4}));
    QTest::mouseClick(panel->findChild<QPushButton *>("previousButton"), Qt::LeftButton);
    EXPECT_EQ(w.tab->selectedRows(), QList<int>({3}));

    panel->findChild<QLineEdit *>("searchString")->setText("berg");
    QTest::mouseClick(panel->findChild<QPushButton *>("previousButton"), Qt::LeftButton);
    EXPECT_EQ(w.tab->selectedRows(), QList<int>({1}));
    w.view->selectionModel()->clearSelection();
    QTest::mouseClick(panel->findChild<QPushButton *>("previousButton"), Qt::LeftButton);
    EXPECT_TRUE(w.tab->selectedRows().isEmpty()) << "from no selection, back searches row 0 only";
    w.action("actionFindNextRecipient")->trigger();
    EXPECT_EQ(w.tab->selectedRows(), QList<int>({1}));
    panel->close();
}

TEST(DatabaseTab, EveryCommandEditDropAndUndoWaitsForTheSendRun)
{
    Window w;
    w.click(0, 3);
    QTest::keyClick(w.view, Qt::Key_D, Qt::ControlModifier);
    ASSERT_EQ(w.database().entryCount(), 6);
    // A simulated run: it stays active while no event is handled.
    w.document.messageTab().setSubjectText(RichText(QStringLiteral("Subject")));
    w.document.sendUIHandler()->sendViaDummy();
    ASSERT_TRUE(w.document.isRunActive());
    w.document.documentWindow()->tabView()->setCurrentWidget(w.tab);

    emit w.tab->recipientsMenu()->aboutToShow();
    int checked = 0;
    for (QAction *action : w.tab->findChildren<QAction *>()) {
        if (!action->objectName().startsWith("action") || w.tab->editActions().contains(action))
            continue;
        EXPECT_FALSE(action->isEnabled()) << action->objectName().toStdString();
        ++checked;
    }
    EXPECT_GE(checked, 25);
    auto *edit = w.document.window()->findChild<QMenu *>("menuEdit");
    emit edit->aboutToShow();
    EXPECT_FALSE(w.action("actionUndo")->isEnabled());

    // Shortcuts, keys, edits and drops reach nothing either.
    QTest::keyClick(w.view, Qt::Key_Delete);
    QTest::keyClick(w.view, Qt::Key_Z, Qt::ControlModifier);
    w.view->setCurrentIndex(w.model->index(0, 1));
    QTest::keyClick(w.view, Qt::Key_Space);
    EXPECT_FALSE(w.model->setData(w.model->index(0, 3), "new@x.org", Qt::EditRole));
    QMimeData data;
    data.setData("text/vcard", card("Gus", "gus@x.org"));
    EXPECT_FALSE(w.model->canDropMimeData(&data, Qt::CopyAction, 0, 0, {}));
    EXPECT_EQ(w.database().entryCount(), 6);
    EXPECT_TRUE(w.database().isEntryActive(0));
    EXPECT_EQ(w.database().entryValue(0, "0"), "eve@x.org");

    w.document.prepareToQuit();
    w.tab->runStateChanged();
    EXPECT_TRUE(w.action("actionRemoveRecipient")->isEnabled());
    emit edit->aboutToShow();
    EXPECT_TRUE(w.action("actionUndo")->isEnabled());
}

TEST(DatabaseTab, ColumnCommandsNeedAColumnAndRemovingAFieldIsUndone)
{
    RecordingAlertPresenter alerts;
    Window w;
    w.click(0, 3);
    w.action("actionSortBySelectedColumn")->trigger();
    w.action("actionAddSerialNum")->trigger();
    ASSERT_EQ(alerts.shown.size(), 2);
    EXPECT_EQ(alerts.shown.at(0).kind, RecordingAlertPresenter::Sheet);
    EXPECT_EQ(alerts.shown.at(1).window, w.document.window());

    QHeaderView *header = w.view->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, w.headerCenter(4));
    w.action("actionRemoveField")->trigger();
    EXPECT_EQ(header->visualIndex(4), header->count() - 1);
    EXPECT_EQ(w.model->headerData(4, Qt::Horizontal, Qt::DisplayRole), "");
    w.document.undoManager()->undo();
    EXPECT_EQ(header->visualIndex(4), 4);
    EXPECT_EQ(w.model->headerData(4, Qt::Horizontal, Qt::DisplayRole), "first name");
    EXPECT_EQ(w.column("1").first(), "Eve");

    // The address column, shown in brackets; a change outside undo still counts.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, w.headerCenter(5));
    w.document.updateChangeCount(Document::ChangeCleared);
    w.action("actionSetAddressColumn")->trigger();
    EXPECT_EQ(w.database().addressFieldNo(), 2);
    EXPECT_EQ(w.model->headerData(5, Qt::Horizontal, Qt::DisplayRole), "[ last name ]");
    EXPECT_TRUE(w.document.isDocumentEdited());
    w.tab->setAddressColumnToColumn(1);
    EXPECT_EQ(w.database().addressFieldNo(), 1);
}

TEST(DatabaseTab, UndoingAFieldRemovalKeepsLaterEditsAndStamps)
{
    // Only "bob" has an address, so the run sends to row 1 alone.
    Window w({{"eve", "Eve", "Ek"}, {"bob@x.org", "Bob", "Berg"}, {"dan", "Dan", "Dahl"}});
    QHeaderView *header = w.view->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, w.headerCenter(5));
    w.action("actionRemoveField")->trigger();
    ASSERT_EQ(w.database().fieldNames(), QStringList({"e-mail", "first name"}));

    w.type(0, 4, "Anna");
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.database().entryValue(0, "1") == "Anna"; }));

    Settings::setMaxErrorsWhileSending(0);
    Settings::setWriteLogFile(false);
    FakeSmtpServer server;
    useAccount(*w.document.sendUIHandler(), smtpAccount(server.port()));
    w.document.messageTab().setSubjectText(RichText(QStringLiteral("Subject")));
    w.document.sendUIHandler()->sendNow(1);
    ASSERT_TRUE(waitForRunEnd(*w.document.sendUIHandler()));
    const QDateTime stamp = w.database().lastSentDate(1);
    ASSERT_TRUE(stamp.isValid());

    w.click(2, 3);
    w.action("actionFilterBySelectionOff")->trigger();
    ASSERT_FALSE(w.database().isEntryActive(2));
    const Database::EntryList entries = w.database().entryArray();

    w.view->setFocus();
    w.action("actionUndo")->trigger();
    EXPECT_TRUE(w.database().isEntryActive(2));
    w.action("actionUndo")->trigger();
    EXPECT_EQ(w.database().fieldNames(), QStringList({"e-mail", "first name", "last name"}));
    EXPECT_EQ(w.column("2"), QStringList({"Ek", "Berg", "Dahl"}));
    EXPECT_EQ(header->visualIndex(5), 5);
    EXPECT_EQ(w.model->headerData(5, Qt::Horizontal, Qt::DisplayRole), "last name");
    EXPECT_EQ(w.database().entryValue(0, "1"), "Anna");
    EXPECT_EQ(w.database().lastSentDate(1), stamp);
    EXPECT_EQ(w.database().entryArray(), entries) << "the same entries, not earlier copies";

    // Removed again, then the removal undone once more: still nothing later lost.
    w.document.undoManager()->redo();
    EXPECT_TRUE(w.column("2").at(1).isNull());
    EXPECT_EQ(w.database().lastSentDate(1), stamp);
    w.document.undoManager()->undo();
    EXPECT_EQ(w.column("2"), QStringList({"Ek", "Berg", "Dahl"}));
    EXPECT_EQ(w.database().entryValue(0, "1"), "Anna");
    MailDispatcher::abortAndJoinAll();
}

TEST(DatabaseTab, UndoingAFieldRemovalLeavesTheColumnNamedAndFilledSince)
{
    Window w({{"eve@x.org", "Eve", "Ek", "vegan"}, {"bob@x.org", "Bob", "Berg", "late"}});
    w.database().changeFieldNameTo("notes", "3");
    w.removeField(6);
    // The emptied column, now the last, named "phone" and filled; the message gets a «phone» tag.
    const int last = w.tab->columnCount() - 1;
    ASSERT_EQ(w.tab->columnIdentifierAt(last), "3");
    w.nameField(last, "phone");
    w.type(0, 6, "555-1234");
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.database().entryValue(0, "3") == "555-1234"; }));
    w.insertTag("phone");
    ASSERT_EQ(w.bodyTags(), "<phone>");

    w.undo();
    EXPECT_EQ(w.database().fieldNames(), QStringList({"e-mail", "first name", "last name", "phone", "notes"}));
    EXPECT_EQ(w.column("3"), QStringList({"555-1234", ""}));
    EXPECT_EQ(w.column("4"), QStringList({"vegan", "late"}));
    EXPECT_EQ(w.tab->columnIdentifierAt(6), "4") << "where the removed field stood";
    EXPECT_EQ(w.bodyTags(), "<phone>");

    // Redo takes it from where the undo put it, and undo puts it there again.
    w.redo();
    EXPECT_EQ(w.database().fieldNames(), QStringList({"e-mail", "first name", "last name", "phone"}));
    EXPECT_EQ(w.column("4"), QStringList({"", ""}));
    EXPECT_EQ(w.column("3"), QStringList({"555-1234", ""}));
    w.undo();
    EXPECT_EQ(w.column("4"), QStringList({"vegan", "late"}));
    EXPECT_EQ(w.database().fieldNameForColumnID("3"), "phone");
}

TEST(DatabaseTab, UndoingAFieldRemovalNeverGivesTwoFieldsOneName)
{
    Window w({{"eve@x.org", "Eve", "Ek", "vegan"}, {"bob@x.org", "Bob", "Berg", "late"}});
    w.database().changeFieldNameTo("notes", "3");
    w.insertTag("notes");
    w.removeField(6);
    // "first name" takes the removed field's name, and a tag of its own.
    w.nameField(4, "notes");
    w.insertTag("notes");

    w.undo();
    EXPECT_EQ(w.database().fieldNames(), QStringList({"e-mail", "notes", "last name", "notes 2"}));
    EXPECT_EQ(w.database().fieldNameColumnIDMapping().value("notes"), "1");
    EXPECT_EQ(w.column("3"), QStringList({"vegan", "late"}));
    EXPECT_EQ(w.bodyTags(), "<notes 2><notes>") << "the removed field's tag follows it, the later one stays";
    EXPECT_EQ(w.document.undoManager()->redoText().toStdString(), "Remove Field “notes 2”");
    w.redo();
    EXPECT_EQ(w.database().fieldNames(), QStringList({"e-mail", "notes", "last name"}));
    w.undo();
    EXPECT_EQ(w.database().fieldNames(), QStringList({"e-mail", "notes", "last name", "notes 2"}));
}

TEST(DatabaseTab, UndoingTwoFieldRemovalsGivesEachFieldItsOwnTags)
{
    Window w({{"eve@x.org", "Eve", "Oslo"}, {"bob@x.org", "Bob", "Bergen"}});
    w.nameField(4, "First");
    w.nameField(5, "City");
    w.insertTag("First");
    w.insertTag("City");
    w.removeField(5);
    w.removeField(4);
    ASSERT_EQ(w.bodyTags(), "<><>");

    // Each step gives back and takes again the tags of its own field.
    const struct {
        void (Window::*step)() const;
        const char *tags;
    } steps[] = {{&Window::undo, "<First><>"}, {&Window::undo, "<First><City>"}, {&Window::redo, "<First><>"},
                 {&Window::redo, "<><>"},      {&Window::undo, "<First><>"},    {&Window::undo, "<First><City>"}};
    for (const auto &s : steps) {
        (w.*s.step)();
        EXPECT_EQ(w.bodyTags().toStdString(), s.tags);
    }
    EXPECT_EQ(w.database().fieldNames(), QStringList({"e-mail", "First", "City"}));
}

// Tags moved through the clipboard or by dragging after their field left
// the table are still that field's tags, wherever in the document they
// went: undo gives them its name back, redo takes it again, and one pasted
// after the field came back reads its name. A copy pasted into another
// document belongs to that one.
TEST(DatabaseTab, TagsMovedAfterTheirFieldWasRemovedComeBackWithIt)
{
    Window w({{"eve@x.org", "Eve", "Ek"}});
    const auto first = [] { return std::make_shared<SimpleTag>(QStringLiteral("first name")); };
    // A condition that tests the field and puts its tag in its result.
    RichText greeting(QStringLiteral("Hi "));
    DoInsertTagInAttributedString(first(), greeting, greeting.length());
    auto condition = std::make_shared<ConditionTag>(
        QStringLiteral("greeting"),
        QList<ConditionRule>{{QStringLiteral("first name"), ConditionRule::Equals, QStringLiteral("Eve"), greeting}});
    RichText body;
    for (const SimpleTagRef &tag : {first(), std::make_shared<SimpleTag>(QStringLiteral("last name")), first(),
                                    SimpleTagRef(condition)})
        DoInsertTagInAttributedString(tag, body, body.length());
    w.document.messageTab().setBodyText(body);
    w.removeField(4);
    ASSERT_EQ(w.bodyTags().toStdString(), "<><last name><><greeting>");

    MessageTabWidget *message = w.document.messageTabWidget();
    BodyTextView *view = message->bodyView();
    w.document.documentWindow()->tabView()->setCurrentWidget(message);
    view->setFocus();
    const auto select = [view](int from, int to) {
        QTextCursor cursor = view->textCursor();
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        view->setTextCursor(cursor);
    };
    // The first tag cut and pasted at the end, and once more into the subject;
    // the condition cut and pasted before the last-name tag.
    select(0, 1);
    QTest::keyClick(view, Qt::Key_X, Qt::ControlModifier);
    view->moveCursor(QTextCursor::End);
    QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier);
    message->subjectView()->setFocus();
    QTest::keyClick(message->subjectView(), Qt::Key_V, Qt::ControlModifier);
    view->setFocus();
    select(2, 3);
    QTest::keyClick(view, Qt::Key_X, Qt::ControlModifier);
    view->moveCursor(QTextCursor::Start);
    QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(w.bodyTags().toStdString(), "<greeting><last name><><>");
    // The second tag dragged to the front: the drop gets what the view hands
    // a drag (as it hands Copy), and the tag leaves its place. (The offscreen
    // platform runs no drag of its own.)
    select(2, 3);
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    const QMimeData *dragged = QGuiApplication::clipboard()->mimeData();
    QTextCursor front(view->document());
    const QPoint to = view->cursorRect(front).center();
    QDragEnterEvent enter(to, Qt::CopyAction, dragged, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &enter);
    QDragMoveEvent move(to, Qt::CopyAction, dragged, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    QDropEvent drop(to, Qt::CopyAction, dragged, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &drop);
    ASSERT_TRUE(drop.isAccepted());
    select(3, 4);
    QTest::keyClick(view, Qt::Key_Delete);
    ASSERT_EQ(w.bodyTags().toStdString(), "<><greeting><last name><>");

    // A copy in another document.
    MyDocument other;
    other.showWindows();
    BodyTextView *otherView = other.messageTabWidget()->bodyView();
    otherView->setFocus();
    QTest::keyClick(otherView, Qt::Key_V, Qt::ControlModifier);
    other.messageTabWidget()->commitEdits();
    ASSERT_EQ(AttributedTagString::textTagString(other.messageTab().bodyString()).toStdString(), "<>");

    const auto pastedCondition = [&w](int at = 1) {
        w.document.messageTabWidget()->commitEdits();
        return std::dynamic_pointer_cast<ConditionTag>(
            AttributedTagString::tags(w.document.messageTab().bodyString()).value(at));
    };
    const auto subjectTags = [&w] {
        return AttributedTagString::textTagString(w.document.messageTab().subjectString());
    };
    QApplication::setActiveWindow(w.document.window());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.document.window()));
    w.view->setFocus();
    w.undo();
    EXPECT_EQ(w.bodyTags().toStdString(), "<first name><greeting><last name><first name>");
    EXPECT_EQ(subjectTags().toStdString(), "<first name>");
    ASSERT_TRUE(pastedCondition());
    EXPECT_EQ(pastedCondition()->dataArray().value(0).field.toStdString(), "first name") << "the rule of the pasted condition";
    EXPECT_EQ(AttributedTagString::textTagString(pastedCondition()->dataArray().value(0).result).toStdString(), "Hi <first name>");
    EXPECT_EQ(AttributedTagString::textTagString(other.messageTab().bodyString()).toStdString(), "<>") << "the other document's";

    w.redo();
    EXPECT_EQ(w.bodyTags().toStdString(), "<><greeting><last name><>");
    EXPECT_EQ(subjectTags().toStdString(), "<>");
    EXPECT_EQ(pastedCondition()->dataArray().value(0).field.toStdString(), "");

    // Cut while the field is away, pasted after it came back: the field's name.
    view->setFocus();
    select(0, 2);
    QTest::keyClick(view, Qt::Key_X, Qt::ControlModifier);
    w.view->setFocus();
    w.undo();
    view->setFocus();
    view->moveCursor(QTextCursor::End);
    QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(w.bodyTags().toStdString(), "<last name><first name><first name><greeting>");
    EXPECT_EQ(AttributedTagString::textTagString(pastedCondition(3)->dataArray().value(0).result).toStdString(),
              "Hi <first name>");
    EXPECT_EQ(pastedCondition(3)->dataArray().value(0).field.toStdString(), "first name");
}

TEST(DatabaseTab, AFieldRemovalWithNoColumnLeftToComeBackToIsNotUndone)
{
    Window w({{"eve@x.org", "Eve", "Ek"}});
    // A recipient with a value in every column a table can have.
    w.database().addEntryWithData(-1, QStringList(Database::MaxColumnCount, QStringLiteral("x")));
    w.tab->refreshData();
    w.removeField(5);
    w.type(0, 5, "Kim");
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.database().entryValue(0, "2") == "Kim"; }));

    w.undo();
    QPointer<AlertDialog> alert = w.document.window()->findChild<AlertDialog *>();
    ASSERT_TRUE(alert);
    EXPECT_TRUE(alert->text().contains("last name")) << alert->text().toStdString();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(alert));
    saveScreenshot(alert, "recipient-field-not-restored.png");
    alert->okButton()->click();
    EXPECT_EQ(w.database().fieldNames(), QStringList({"e-mail", "first name"}));
    EXPECT_EQ(w.column("2"), QStringList({"Kim", ""}));
    EXPECT_FALSE(w.document.undoManager()->canUndo()) << "gone, not waiting to fail again";
}

TEST(DatabaseTab, FiltersAndPreviewFromTheMenu)
{
    Window w;
    w.click(1, 3);
    w.action("actionFilterBySelectionOff")->trigger();
    EXPECT_FALSE(w.database().isEntryActive(1));
    EXPECT_TRUE(w.document.isDocumentEdited());
    w.action("actionFilterAllOff")->trigger();
    w.action("actionFilterAllOn")->trigger();
    EXPECT_TRUE(w.database().isEntryActive(1));

    w.action("actionFilterByFieldOff")->trigger();
    auto *byField = openSheet<FieldContentsFilter>();
    ASSERT_TRUE(byField);
    EXPECT_EQ(byField->windowModality(), Qt::WindowModal);
    saveScreenshot(byField, "recipient-filter-by-field.png");
    byField->findChild<QComboBox *>("fieldMenu")->setCurrentIndex(1);
    byField->findChild<QComboBox *>("operationMenu")->setCurrentIndex(5);
    byField->findChild<QLineEdit *>("comparatorField")->setText("c");
    QTest::mouseClick(byField->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    QList<bool> active;
    for (int row = 0; row < 5; ++row)
        active << w.database().isEntryActive(row);
    EXPECT_EQ(active, QList<bool>({true, false, true, false, true})) << "Bob and Ann sort before c";

    w.action("actionFilterByDateOn")->trigger();
    auto *byDate = openSheet<SendDateFilter>();
    ASSERT_TRUE(byDate);
    saveScreenshot(byDate, "recipient-filter-by-date.png");
    byDate->findChild<QComboBox *>("rangePopUp")->setCurrentIndex(1);
    byDate->okClicked();
    EXPECT_TRUE(w.database().isEntryActive(1)) << "never sent";

    w.click(3, 4);
    w.action("actionPreviewSelectedEntry")->trigger();
    EXPECT_EQ(w.document.previewTab()->selectedMessage(), 3);
    EXPECT_EQ(w.document.documentWindow()->tabView()->currentWidget(), w.document.previewTab());
}

TEST(DatabaseTab, ImportsAndExportThroughTheMenu)
{
    QTemporaryDir dir;
    ScriptedPanels panels;
    RecordingAlertPresenter alerts;
    Window w;

    QFile csv(dir.filePath("more.csv"));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("first name;e-mail\nFay;fay@x.org\nGus;gus@x.org\n");
    csv.close();
    panels.opened = {csv.fileName()};
    w.action("actionImportCSV")->trigger();
    auto *importer = openSheet<CSVImporter>();
    ASSERT_TRUE(importer);
    importer->findChild<QCheckBox *>("extractFieldNames")->setChecked(true);
    saveScreenshot(importer, "recipient-import-text.png");
    QTest::mouseClick(importer->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    EXPECT_EQ(w.column("0").mid(5), QStringList({"fay@x.org", "gus@x.org"}));
    EXPECT_EQ(w.column("1").mid(5), QStringList({"Fay", "Gus"}));
    EXPECT_EQ(w.model->rowCount(), 7);
    EXPECT_EQ(w.document.undoManager()->count(), 1);

    // Exported, then read back by the same sheet, the table comes back.
    const QString exported = dir.filePath("all.txt");
    panels.saved = exported;
    w.action("actionExportCSV")->trigger();
    EXPECT_TRUE(alerts.shown.isEmpty());
    MyDocument fresh;
    fresh.showWindows();
    panels.opened = {exported};
    fresh.databaseTab()->findChild<QAction *>("actionImportCSV")->trigger();
    importer = openSheet<CSVImporter>();
    ASSERT_TRUE(importer);
    importer->okClicked();
    for (const char *slot : {"0", "1", "2"}) {
        for (int row = 0; row < 7; ++row)
            EXPECT_EQ(fresh.database().entryValue(row, slot), w.database().entryValue(row, slot)) << slot << row;
    }

    // A path that cannot be written is an alert, and nothing else changes.
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    panels.saved = dir.filePath("plain/out.txt");
    w.action("actionExportCSV")->trigger();
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(alerts.shown.first().window, w.document.window());
    EXPECT_TRUE(alerts.shown.first().text.contains(panels.saved)) << alerts.shown.first().text.toStdString();
}

// Values that look quoted, blanks at either end, other scripts and empty
// values: exported, then read back with tabs, every one comes back.
TEST(DatabaseTab, ExportedValuesComeBackWhole)
{
    const QList<QStringList> rows = {{u"\uFEFFmarked"_qs, "\"Bob\" the builder", "\"\""},
                                     {"  both ends  ", u"Müller Ærø 日本"_qs, u"\U0001F600"_qs},
                                     {"", "\"", "a\"b"},
                                     {"x@y.org", "", "\"open"}};
    QTemporaryDir dir;
    ScriptedPanels panels;
    RecordingAlertPresenter alerts;
    Window w(rows);
    panels.saved = dir.filePath("all.txt");
    w.action("actionExportCSV")->trigger();
    EXPECT_TRUE(alerts.shown.isEmpty());

    MyDocument fresh;
    fresh.showWindows();
    panels.opened = {panels.saved};
    fresh.databaseTab()->findChild<QAction *>("actionImportCSV")->trigger();
    auto *importer = openSheet<CSVImporter>();
    ASSERT_TRUE(importer);
    importer->okClicked();
    ASSERT_EQ(fresh.database().entryCount(), rows.size());
    for (int row = 0; row < rows.size(); ++row) {
        for (int slot = 0; slot < 3; ++slot)
            EXPECT_EQ(fresh.database().entryValue(row, Database::columnIdentifier(slot)).toStdString(),
                      rows[row][slot].toStdString());
    }
}

// Last month's rows cleared, this month's contacts imported: the fields stay
// as they are, contacts find them by name in any letter case, the address
// goes to the address column, and no tag of the message is renamed.
TEST(DatabaseTab, ContactsIntoATableWithoutRowsFindTheirFieldsByName)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("gus.vcf");
    QFile cards(file);
    ASSERT_TRUE(cards.open(QIODevice::WriteOnly));
    cards.write(card("Gus", "gus@x.org"));
    cards.close();
    const struct {
        const char *name;
        std::function<void(Window &)> import;
    } paths[] = {
        {"vCard file from the menu",
         [&](Window &w) {
             ScriptedPanels panels;
             panels.opened = {file};
             w.action("actionImportVCard")->trigger();
         }},
        {"vCard dropped on the table",
         [](Window &w) {
             QMimeData data;
             data.setData("text/vcard", card("Gus", "gus@x.org"));
             EXPECT_TRUE(w.model->dropMimeData(&data, Qt::CopyAction, -1, -1, {}));
         }},
    };
    for (const auto &path : paths) {
        // A new project's fields differ from the contacts' labels in letter case only.
        Window fresh(QList<QStringList>{});
        path.import(fresh);
        EXPECT_EQ(fresh.database().fieldNames().mid(0, 3).join(u'|'), "e-mail|first name|last name") << path.name;
        EXPECT_EQ(fresh.column("0").join(u'|'), "gus@x.org") << path.name;
        EXPECT_EQ(fresh.column("1").join(u'|'), "Gus") << path.name;
        EXPECT_EQ(fresh.database().fieldIndexForName("First name"), -1) << path.name;

        Window w(QList<QStringList>{});
        w.database().changeFieldNameTo("Name", "0");
        w.database().changeFieldNameTo("e-mail", "1");
        w.database().setAddressFieldNo(1);
        RichText subject(QStringLiteral("Dear "));
        DoInsertTagInAttributedString(std::make_shared<SimpleTag>(QStringLiteral("Name")), subject, 5);
        w.document.messageTab().setSubjectText(subject);
        path.import(w);
        EXPECT_EQ(w.database().fieldNames().mid(0, 3).join(u'|'), "Name|e-mail|last name") << path.name;
        EXPECT_EQ(w.database().addressFieldNo(), 1) << path.name;
        EXPECT_EQ(w.database().addressForEntry(0), "gus@x.org") << path.name;
        EXPECT_TRUE(w.database().entryValue(0, "0").isEmpty()) << path.name;
        const QList<SimpleTagRef> tags = AttributedTagString::tags(w.document.messageTab().subjectString());
        ASSERT_EQ(tags.size(), 1);
        EXPECT_EQ(tags.first()->tagName(), "Name") << path.name;
    }
}

// A version 2.1 file as older phones write it: a comma in a name is part of
// it, and a person whose card nests agents deeply is still imported.
TEST(DatabaseTab, AVersion21CardKeepsItsCommasAndItsPersonBesideDeepAgents)
{
    QByteArray bytes = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Smith, Jr.;John\r\n";
    for (int level = 0; level < VCard::MaxNesting; ++level)
        bytes += "AGENT:\r\nBEGIN:VCARD\r\nVERSION:2.1\r\nN:Agent;Al\r\nEMAIL:agent@x.org\r\n";
    for (int level = 0; level < VCard::MaxNesting; ++level)
        bytes += "END:VCARD\r\n";
    bytes += "EMAIL:john@x.org\r\nEND:VCARD\r\n";
    QTemporaryDir dir;
    QFile file(dir.filePath("john.vcf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    ScriptedPanels panels;
    panels.opened = {file.fileName()};
    Window w;
    w.action("actionImportVCard")->trigger();
    EXPECT_EQ(w.column("0").mid(5).join(u'|'), "john@x.org");
    EXPECT_EQ(w.column("1").mid(5).join(u'|'), "John");
    EXPECT_EQ(w.column("2").mid(5).join(u'|'), "Smith, Jr.");
}

// Stored tables dragged from the project window: on a new project, whose
// address column is still empty, their addresses become the address column.
TEST(DatabaseTab, StoredTablesDroppedOnANewProjectCanBeSentTo)
{
    DatabaseManager &registry = DatabaseManager::sharedInstance();
    const std::shared_ptr<PlainArrayDatabase> store = registry.mainUserDatabase();
    ASSERT_TRUE(store);
    const auto stored = [&](const QStringList &columns, const QStringList &values) {
        TableRefPtr table = store->newTable();
        TableChangeBatch batch(table);
        for (const QString &column : columns)
            table->newColumn(column);
        const RowRefPtr row = table->newRow();
        for (qsizetype i = 0; i < values.size(); ++i)
            row->setData(values[i], *table->columns().at(i));
        return table;
    };
    const auto drop = [&](Window &w, const TableRefPtr &table) {
        QMimeData data;
        data.setData(DatabaseManager::DraggedTablesType,
                     KeyedArchiver::archivedDataWithRootObject(QVariantList{QVariantMap{
                         {DatabaseManager::DraggedDatabaseUidKey, store->uid()},
                         {DatabaseManager::DraggedTableUidKey, table->uid()}}}));
        EXPECT_TRUE(w.model->dropMimeData(&data, Qt::CopyAction, -1, -1, {}));
    };
    const TableRefPtr members = stored({"E-Mail", "Name"}, {"ann@x.org", "Ann"});
    const TableRefPtr guests = stored({"Name", "Address"}, {"Bob", "bob@x.org"});

    for (const TableRefPtr &table : {members, guests}) {
        Window fresh(QList<QStringList>{});
        drop(fresh, table);
        ASSERT_EQ(fresh.database().entryCount(), 1);
        EXPECT_EQ(fresh.database().addressForEntry(0), table == members ? "ann@x.org" : "bob@x.org");
    }
    // A table whose rows hold addresses keeps its address column.
    Window w;
    drop(w, guests);
    EXPECT_EQ(w.database().addressFieldNo(), 0);
    EXPECT_EQ(w.column("0").first(), "eve@x.org");
    for (const TableRefPtr &table : {members, guests})
        table->removeFromDatabase();
}

TEST(DatabaseTab, ColumnOrderAndWidthsComeBackThroughSaveReopenAndRevert)
{
    using Moves = std::function<void(QHeaderView *)>;
    const struct {
        const char *name;
        Moves moves;
    } cases[] = {
        {"first name to the right", [](QHeaderView *h) { h->moveSection(h->visualIndex(4), 10); }},
        {"slot 4 to the front", [](QHeaderView *h) { h->moveSection(h->visualIndex(7), 3); }},
        {"the last slot to the front", [](QHeaderView *h) { h->moveSection(h->count() - 1, 3); }},
        {"e-mail to the end", [](QHeaderView *h) { h->moveSection(3, h->count() - 1); }},
        {"two swapped", [](QHeaderView *h) { h->swapSections(h->visualIndex(4), h->visualIndex(40)); }},
        {"every field column reversed",
         [](QHeaderView *h) {
             for (int visual = 3; visual < h->count(); ++visual)
                 h->moveSection(h->count() - 1, visual);
         }},
    };
    QTemporaryDir dir;
    for (const auto &c : cases) {
        Window w;
        QHeaderView *header = w.view->horizontalHeader();
        c.moves(header);
        header->resizeSection(4, 61);
        header->resizeSection(60, 222);
        const auto shown = shownFieldColumns(*w.tab);
        const QString file = dir.filePath(QStringLiteral("%1.quorv2").arg(c.name));
        QString error;
        ASSERT_TRUE(w.document.writeToFile(file, &error)) << error.toStdString();

        const std::unique_ptr<MyDocument> reopened = reopen(file);
        EXPECT_EQ(shownFieldColumns(*reopened->databaseTab()), shown) << c.name << ", reopened";
        expectEveryFieldShownOnce(*reopened->databaseTab(), c.name);

        // Saved again from the reopened window, changed and reverted.
        ASSERT_TRUE(reopened->writeToFile(file, &error)) << error.toStdString();
        reopened->database().addEmptyEntry(-1);
        reopened->updateChangeCount(Document::ChangeDone);
        ASSERT_TRUE(reopened->revertToSaved(&error)) << error.toStdString();
        EXPECT_EQ(shownFieldColumns(*reopened->databaseTab()), shown) << c.name << ", reverted";
        EXPECT_EQ(reopened->database().entryCount(), 5);

        // Reverted in the window it was arranged in, after a column moved since.
        header->moveSection(header->count() - 1, 3);
        ASSERT_TRUE(w.document.revertToSaved(&error)) << error.toStdString();
        EXPECT_EQ(shownFieldColumns(*w.tab), shown) << c.name << ", reverted in place";
        expectEveryFieldShownOnce(*w.tab, c.name);
    }
}

TEST(DatabaseTab, StoredColumnLayoutsAreRepairedNeverTrusted)
{
    QStringList repeated{"0", "2", "3", "3"};
    for (int slot = 4; slot < 75; ++slot)
        repeated << QString::number(slot);
    const auto allBut = [&](const QStringList &first) {
        QStringList ids = first;
        for (int slot = 0; slot < 75; ++slot) {
            if (!ids.contains(QString::number(slot)))
                ids << QString::number(slot);
        }
        return ids;
    };
    // The header's own least width may be above the least a file may set.
    const int narrowest = std::max(10, QHeaderView(Qt::Horizontal).minimumSectionSize());
    const struct {
        const char *name;
        QVariantList identifiers;
        QVariantList widths;
        QStringList shown;
        QList<int> firstWidths;
    } cases[] = {
        // The files the earlier count of columns wrote: "first name" is shown again.
        {"a repeat left by a reorder", QVariantList(repeated.cbegin(), repeated.cend()), {40, 41, 42, 43},
         QStringList(repeated.mid(0, 3) + repeated.mid(4)) << "1", {40, 41, 42, 150}},
        {"fixed columns and repeats", {"active", "2", "2"}, {}, allBut({"2"}), {150, 150, 150}},
        {"no slots, numbers and unknown slots",
         {"", "-1", "01", " 2", "2x", "999", "75", 5, QVariantMap(), "1"}, {}, allBut({"1"}), {150}},
        {"widths that are not sizes", {"4", "3", "1", "0"}, {"80", -5, qQNaN(), 1e12, 70.5},
         allBut({"4", "3", "1", "0"}), {150, narrowest, 150, 4000}},
        {"widths without identifiers", {}, {90, 91}, allBut({}), {90, 91, 150}},
        {"nothing stored", {}, {}, allBut({}), {150, 150}},
    };
    QTemporaryDir dir;
    for (const auto &c : cases) {
        Window w;
        QVariantMap part = w.tab->fileData();
        part.insert(DatabaseTab::ColumnIdentifiersKey, c.identifiers);
        part.insert(DatabaseTab::ColumnWidthInfoKey, c.widths);
        const QString file = dir.filePath(QStringLiteral("%1.quorv2").arg(c.name));
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(KeyedArchiver::archivedDataWithRootObject(QVariantMap{{MyDocument::DatabaseKey, part}}));
        out.close();

        const std::unique_ptr<MyDocument> reopened = reopen(file);
        const auto shown = shownFieldColumns(*reopened->databaseTab());
        QStringList ids;
        QList<int> widths;
        for (const auto &[id, width] : shown) {
            ids << id;
            widths << width;
        }
        EXPECT_EQ(ids, c.shown) << c.name;
        EXPECT_EQ(widths.first(c.firstWidths.size()), c.firstWidths) << c.name;
        expectEveryFieldShownOnce(*reopened->databaseTab(), c.name);
        RecipientTableModel *model = reopened->databaseTab()->model();
        const int firstName = reopened->databaseTab()->logicalColumnAt(3 + int(ids.indexOf("1")));
        EXPECT_EQ(model->data(model->index(0, firstName), Qt::DisplayRole), "Eve") << c.name;

        // The same part read again into the open window (a revert) changes nothing.
        reopened->databaseTab()->readFileData(part);
        EXPECT_EQ(shownFieldColumns(*reopened->databaseTab()), shown) << c.name;
    }
}

TEST(DatabaseTab, PicturesOfTheTabAndItsSheets)
{
    Window w;
    w.database().setLastSentDate(0, QDateTime(QDate(2024, 3, 1), QTime(9, 30)));
    w.database().setEntryState(2, false);
    w.click(1, 4);
    saveScreenshot(w.tab, "recipient-tab.png");

    w.action("actionEditFieldNames")->trigger();
    auto *names = openSheet<FieldNamesEditor>();
    ASSERT_TRUE(names);
    saveScreenshot(names, "recipient-field-names.png");
    names->accept();

    w.action("actionFindRecipient")->trigger();
    ASSERT_TRUE(FindPanel::sharedPanel());
    saveScreenshot(FindPanel::sharedPanel(), "recipient-find.png");
    FindPanel::sharedPanel()->close();

    QTemporaryDir dir;
    QFile file(dir.filePath("people.vcf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(card("Ivy", "ivy@x.org") + "BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:group\r\nFN:Friends\r\nEND:VCARD\r\n");
    file.close();
    auto *contacts = new AddressBookSheet(w.tab->commands(), AddressBookSnapshot::read(dir.path()),
                                          w.document.window());
    contacts->displayAsSheet();
    EXPECT_EQ(contacts->findChild<QComboBox *>("abGroupMenu")->count(), 2);
    saveScreenshot(contacts, "recipient-contacts.png");
    contacts->getAddressBookData();
    EXPECT_EQ(w.column("0").last(), "ivy@x.org");
}
