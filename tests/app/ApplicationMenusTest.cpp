// The menus every window carries: the application's File commands and an
// Edit menu in each window that has no document (the stored tables, the
// table files, the settings, the find panel), their keys working there, and
// the document window's Edit menu acting on the focused text or table.

#include "SendTestSupport.h"

#include "../foundation_ui/RecordingAlertPresenter.h"
#include "AppTestDocuments.h"
#include "CellEditing.h"

#include "ApplicationMenus.h"
#include "AskPasswordView.h"
#include "BodyTextView.h"
#include "DatabaseManagerWindow.h"
#include "DatabaseTab.h"
#include "DocumentWindow.h"
#include "FindPanel.h"
#include "LogTab.h"
#include "MessageTabWidget.h"
#include "MyApplication.h"
#include "ProjectWindow.h"
#include "ProjectWindowController.h"
#include "RecipientCommands.h"
#include "RecipientTableModel.h"
#include "SendMailsProgressWindow.h"
#include "SettingsWindow.h"
#include "SimpleTag.h"
#include "SingleLineTextView.h"
#include "TagPasteboard.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// "Open...\tCtrl+O" as the menu shows it: the text without its mnemonic
// marks and the keys, a submenu with " >", a separator as "-".
QString shown(const QAction *action)
{
    if (action->isSeparator())
        return QStringLiteral("-");
    QString text = action->text().remove(QLatin1Char('&'));
    if (action->menu())
        return text + QStringLiteral(" >");
    if (!text.contains(QLatin1Char('\t')) && !action->shortcut().isEmpty())
        text += QLatin1Char('\t') + action->shortcut().toString();
    return text.replace(QLatin1Char('\t'), QLatin1Char(' '));
}

std::string items(const QMenu *menu)
{
    QStringList texts;
    for (const QAction *action : menu->actions())
        texts.append(shown(action));
    return texts.join(QStringLiteral(" | ")).toStdString();
}

QMenu *menuTitled(QWidget *window, const QString &title)
{
    for (QMenuBar *bar : window->findChildren<QMenuBar *>()) {
        for (QAction *action : bar->actions()) {
            if (action->menu() && action->text().remove(QLatin1Char('&')) == title)
                return action->menu();
        }
    }
    return nullptr;
}

QAction *item(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (!action->isSeparator() && action->text().remove(QLatin1Char('&')).section(QLatin1Char('\t'), 0, 0) == text)
            return action;
    }
    return nullptr;
}

void activate(QWidget *window)
{
    window->show();
    // Through the window system, after the activations other windows asked for.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
}

class WindowMenus : public ::testing::Test {
protected:
    void SetUp() override
    {
        UserDefaults::setStandardFile(dir.filePath("prefs.ini"));
        QFile project(dir.filePath("Spring.quorv2"));
        ASSERT_TRUE(project.open(QIODevice::WriteOnly));
        project.write("FAKE spring");
    }
    void TearDown() override
    {
        if (ProjectWindowController *project = ProjectWindowController::existingInstance())
            project->window()->hide();
        DatabaseManagerWindow::sharedInstance().hide();
        SettingsWindow::closeOpenWindow();
        if (FindPanel *panel = FindPanel::sharedPanel())
            panel->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        UserDefaults::setStandardFile(UserDefaults::defaultStandardFilePath());
    }

    QTemporaryDir dir;
    RecordingAlertPresenter alerts;
    ControllerFakes fakes;
    DocumentController &controller = ControllerFakes::controller();
};

TEST_F(WindowMenus, EveryWindowWithoutADocumentOffersTheApplicationsCommandsAndTheirKeys)
{
    ProjectWindowController::sharedInstance().showWindow();
    DatabaseManagerWindow::sharedInstance().showWindow();
    SettingsWindow::showSettings();
    const struct {
        const char *name;
        std::function<QWidget *()> window;
    } windows[] = {
        {"stored tables", [] { return ProjectWindowController::sharedInstance().window(); }},
        {"table files", [] { return &DatabaseManagerWindow::sharedInstance(); }},
        {"settings", [] { return SettingsWindow::openWindow(); }},
        {"find panel", [] { return FindPanel::show(); }},
    };
    for (const auto &w : windows) {
        SCOPED_TRACE(w.name);
        QWidget *window = w.window();
        ASSERT_TRUE(window);
        QMenu *file = menuTitled(window, "File");
        QMenu *edit = menuTitled(window, "Edit");
        ASSERT_TRUE(file && edit);
        EXPECT_EQ(items(file), "New Mail Project Ctrl+N | Open... Ctrl+O | Open Recent > | - | Close Ctrl+W | - | "
                               "Settings... | - | Quit Ctrl+Q");
        EXPECT_EQ(items(edit), "Undo Ctrl+Z | Redo Ctrl+Shift+Z | - | Cut Ctrl+X | Copy Ctrl+C | Paste Ctrl+V | "
                               "Delete Del | Select All Ctrl+A");

        // The keys work in the window: Ctrl+O asks for a file, Ctrl+N makes a project.
        activate(window);
        fakes.panels.openAnswers = {QString()};
        QTest::keyClick(window, Qt::Key_O, Qt::ControlModifier);
        EXPECT_TRUE(fakes.panels.openAnswers.isEmpty()) << "Ctrl+O asked for a file";
        QTest::keyClick(window, Qt::Key_N, Qt::ControlModifier);
        ASSERT_EQ(controller.documents().size(), 1);
        controller.removeDocument(controller.documents().first());
    }
}

TEST_F(WindowMenus, OpenRecentReopensWhatWasOpenedAndForgetsWhatIsGone)
{
    QWidget *window = ProjectWindowController::sharedInstance().window();
    ProjectWindowController::sharedInstance().showWindow();
    QMenu *file = menuTitled(window, "File");
    ASSERT_TRUE(file);
    QAction *recentItem = item(file, "Open Recent");
    ASSERT_TRUE(recentItem && recentItem->menu());
    QMenu *recent = recentItem->menu();
    const auto refreshed = [recent] {
        emit recent->aboutToShow();
        return items(recent);
    };
    EXPECT_EQ(refreshed(), "Clear Menu");
    EXPECT_FALSE(item(recent, "Clear Menu")->isEnabled());

    fakes.panels.openAnswers = {dir.filePath("Spring.quorv2")};
    item(file, "Open...")->trigger();
    ASSERT_EQ(controller.documents().size(), 1);
    controller.removeDocument(controller.documents().first());
    fakes.panels.openAnswers = {dir.path() + "/./Spring.quorv2"};
    item(file, "Open...")->trigger();
    ASSERT_EQ(controller.documents().size(), 1);
    controller.removeDocument(controller.documents().first());
    ASSERT_EQ(refreshed(), "Spring.quorv2 | - | Clear Menu") << "one file, however its name is spelled";
    item(recent, "Spring.quorv2")->trigger();
    ASSERT_EQ(controller.documents().size(), 1) << "opened again from the menu";
    EXPECT_EQ(controller.documents().first()->fileName(), dir.filePath("Spring.quorv2"));
    controller.removeDocument(controller.documents().first());

    // A file that has gone is said so and leaves the menu.
    ASSERT_TRUE(QFile::remove(dir.filePath("Spring.quorv2")));
    item(recent, "Spring.quorv2")->trigger();
    EXPECT_TRUE(controller.documents().isEmpty());
    EXPECT_EQ(fakes.panels.errors.size(), 1);
    EXPECT_EQ(refreshed(), "Clear Menu");
}

TEST_F(WindowMenus, QuitFromTheStoredTablesWindowAloneEndsTheProgram)
{
    ProjectWindowController::sharedInstance().showWindow();
    QWidget *window = ProjectWindowController::sharedInstance().window();
    for (const bool byKey : {true, false}) {
        SCOPED_TRACE(byKey ? "Ctrl+Q" : "File > Quit");
        ProjectWindowController::sharedInstance().showWindow();
        QTimer stuck;
        stuck.setSingleShot(true);
        QObject::connect(&stuck, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        stuck.start(10000);
        QTimer::singleShot(0, qApp, [&] {
            activate(window);
            if (byKey)
                QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
            else if (QMenu *file = menuTitled(window, "File"); file && item(file, "Quit"))
                item(file, "Quit")->trigger();
        });
        EXPECT_EQ(QCoreApplication::exec(), 0);
    }
}

class DocumentEditMenu : public ::testing::Test {
protected:
    void SetUp() override
    {
        document.showWindows();
        window = document.documentWindow();
        activate(window);
        edit = menuTitled(window, "Edit");
        ASSERT_TRUE(edit);
        for (const char *name : {"Cut", "Copy", "Paste", "Delete", "Select All"}) {
            commands[name] = item(edit, name);
            ASSERT_TRUE(commands[name]) << name;
        }
    }
    // What the menu offers, as it opens, for the focused widget.
    std::string enabled()
    {
        emit edit->aboutToShow();
        QStringList on;
        for (const char *name : {"Cut", "Copy", "Paste", "Delete", "Select All"}) {
            if (commands[name]->isEnabled())
                on.append(name);
        }
        return on.join(QStringLiteral(", ")).toStdString();
    }
    void choose(const char *name)
    {
        emit edit->aboutToShow();
        commands[name]->trigger();
    }

    MyDocument document;
    DocumentWindow *window = nullptr;
    QMenu *edit = nullptr;
    std::map<std::string, QAction *> commands;
};

TEST_F(DocumentEditMenu, TextViewsCopyAndPasteTheirTagsAndTheTableItsRows)
{
    window->tabView()->setCurrentIndex(1);
    BodyTextView *body = document.messageTabWidget()->bodyView();
    SingleLineTextView *subject = document.messageTabWidget()->subjectView();
    body->setFocus();
    QTest::keyClicks(body, "Dear ");
    body->insertTag(std::make_shared<SimpleTag>(QStringLiteral("first name")));
    QGuiApplication::clipboard()->clear();
    EXPECT_EQ(enabled(), "Select All") << "no selection, nothing to paste";

    choose("Select All");
    EXPECT_EQ(enabled(), "Cut, Copy, Delete, Select All");
    choose("Copy");
    const QMimeData *copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(copied);
    EXPECT_TRUE(copied->hasFormat(TagPasteboard::MimeType)) << "the body's own copy, with its tag";
    EXPECT_EQ(copied->text().toStdString(), "Dear <first name>");

    subject->setFocus();
    EXPECT_EQ(enabled(), "Paste");
    choose("Paste");
    const RichText pasted = subject->attributedString();
    EXPECT_EQ(pasted.string().toStdString(), "Dear \uFFFC") << "the tag arrives as a tag";
    choose("Select All");
    choose("Delete");
    EXPECT_TRUE(subject->toPlainText().isEmpty());
    body->setFocus();
    choose("Select All");
    choose("Cut");
    EXPECT_TRUE(body->toPlainText().isEmpty());
    EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat(TagPasteboard::MimeType));

    // The recipient table copies its rows as text and pastes nothing.
    window->tabView()->setCurrentIndex(0);
    document.database().addEntryWithData(-1, {"ann@example.org", "Ann"});
    document.database().addEntryWithData(-1, {"bob@example.org", "Bob"});
    document.databaseTab()->refreshData();
    QTableView *table = document.databaseTab()->tableView();
    table->setFocus();
    choose("Select All");
    EXPECT_EQ(document.databaseTab()->selectedRows(), QList<int>({0, 1}));
    EXPECT_EQ(enabled(), "Copy, Delete, Select All");
    choose("Copy");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), document.databaseTab()->copyText());
    EXPECT_TRUE(QGuiApplication::clipboard()->text().contains("bob@example.org"));
    table->selectionModel()->clearSelection();
    table->selectRow(0);
    choose("Delete");
    EXPECT_EQ(document.database().entryCount(), 1) << "the table's own delete: its selected recipients go";

    // The log is read, not written.
    QPlainTextEdit *log = document.documentWindow()->logTab()->textView();
    window->tabView()->setCurrentIndex(window->tabView()->count() - 1);
    log->setPlainText(QStringLiteral("Sent mail to ( 1 ) ann@example.org"));
    log->setFocus();
    EXPECT_EQ(enabled(), "Select All");
    choose("Select All");
    EXPECT_EQ(enabled(), "Copy, Select All");
}

// Typing in a cell is no step of the table's history, so Ctrl+Z does not
// always undo what was done last: Undo and Redo name the table's step they
// act on. A text's history has no names.
TEST_F(DocumentEditMenu, UndoAndRedoNameTheTablesStepsTextsHaveNone)
{
    // The two items as the menu shows them when it opens, "(off)" when disabled.
    const auto undoRedo = [this] {
        emit edit->aboutToShow();
        QStringList shownItems;
        for (const char *name : {"actionUndo", "actionRedo"}) {
            const auto *action = window->findChild<QAction *>(QLatin1String(name));
            shownItems << shown(action) + (action->isEnabled() ? QString() : QStringLiteral(" (off)"));
        }
        return shownItems.join(QStringLiteral(" | ")).toStdString();
    };
    DatabaseTab *tab = document.databaseTab();
    QTableView *table = tab->tableView();
    document.database().addEntryWithData(-1, {"ann@example.org", "Ann", "Aas"});
    tab->refreshData();
    table->setFocus();
    EXPECT_EQ(undoRedo(), "Undo Ctrl+Z (off) | Redo Ctrl+Shift+Z (off)");

    QMimeData cards;
    cards.setData("text/vcard", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Bob\r\nN:;Bob;;;\r\nEMAIL:bob@example.org\r\nEND:VCARD\r\n");
    ASSERT_TRUE(tab->model()->dropMimeData(&cards, Qt::CopyAction, -1, -1, {}));
    table->setCurrentIndex(tab->model()->index(0, tab->logicalColumnAt(4)));
    typeIntoCurrentCell(table, "Anna");
    ASSERT_TRUE(QTest::qWaitFor([&] { return document.database().entryValue(0, "1") == "Anna"; }));
    EXPECT_EQ(undoRedo(), "Undo Import Ctrl+Z | Redo Ctrl+Shift+Z (off)") << "the cell's typing is no step";

    QHeaderView *header = table->horizontalHeader();
    const int lastName = tab->logicalColumnAt(5);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      {header->sectionViewportPosition(lastName) + header->sectionSize(lastName) / 2,
                       header->height() / 2});
    window->findChild<QAction *>("actionRemoveField")->trigger();
    EXPECT_EQ(undoRedo(), "Undo Remove Field “last name” Ctrl+Z | Redo Ctrl+Shift+Z (off)");
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(undoRedo(), "Undo Import Ctrl+Z | Redo Remove Field “last name” Ctrl+Shift+Z");

    window->tabView()->setCurrentIndex(1);
    BodyTextView *body = document.messageTabWidget()->bodyView();
    body->setFocus();
    QTest::keyClicks(body, "Dear");
    EXPECT_EQ(undoRedo(), "Undo Ctrl+Z | Redo Ctrl+Shift+Z (off)") << "the body's own history";
    window->tabView()->setCurrentIndex(0);
    table->setFocus();
    EXPECT_EQ(undoRedo(), "Undo Import Ctrl+Z | Redo Remove Field “last name” Ctrl+Shift+Z");
}

TEST_F(DocumentEditMenu, FileMenuHoldsTheApplicationsCommandsAroundTheDocumentsOwn)
{
    QMenu *file = menuTitled(window, "File");
    ASSERT_TRUE(file);
    EXPECT_EQ(items(file), "New Mail Project Ctrl+N | Open... Ctrl+O | Open Recent > | - | Close Ctrl+W | "
                           "Save Ctrl+S | Save As... Ctrl+Shift+S | Revert to Saved | - | Print... Ctrl+P | - | "
                           "Settings... | - | Quit Ctrl+Q");
}

TEST_F(WindowMenus, ScreenshotsOfTheMenusOpen)
{
    ProjectWindowController::sharedInstance().showWindow();
    QWidget *project = ProjectWindowController::sharedInstance().window();
    MyDocument document;
    document.showWindows();
    // Edit names the table's steps: one to undo, one to redo.
    document.database().addEntryWithData(-1, {"ann@example.org", "Ann", "Aas"});
    document.databaseTab()->refreshData();
    RecipientCommands *commands = document.databaseTab()->commands();
    ASSERT_TRUE(commands->addSerialNumbers("2"));
    ASSERT_TRUE(commands->removeField("1", 4));
    document.undoManager()->undo();
    document.databaseTab()->tableView()->setFocus();
    SendMailsProgressWindow progress;
    progress.setMessageCount(10);
    progress.setCurrentMessage(3);
    progress.updateDisplay();
    progress.resize(420, 170);
    AskPasswordView prompt(nullptr, QStringLiteral("smtp.example.org"), QStringLiteral("ann"));
    ApplicationMenus::furnishSheet(&prompt);
    const struct {
        QWidget *window;
        const char *menu;
        const char *file;
    } shots[] = {{project, "File", "stored-tables-file-menu.png"},
                 {document.window(), "Edit", "document-edit-menu.png"},
                 {&progress, "File", "progress-sheet-file-menu.png"},
                 {&prompt, "File", "password-prompt-file-menu.png"}};
    for (const auto &shot : shots) {
        SCOPED_TRACE(shot.file);
        activate(shot.window);
        QMenu *menu = menuTitled(shot.window, shot.menu);
        ASSERT_TRUE(menu);
        shot.window->findChild<QMenuBar *>()->setActiveAction(menu->menuAction());
        ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }));
        // The open menu drawn where it stands, on a picture big enough for both.
        const QRect menuRect(menu->pos() - shot.window->mapToGlobal(QPoint(0, 0)), menu->size());
        QPixmap picture(QRect(QPoint(0, 0), shot.window->size()).united(menuRect).size());
        picture.fill(Qt::white);
        {
            QPainter painter(&picture);
            painter.drawPixmap(0, 0, shot.window->grab());
            painter.drawPixmap(menuRect.topLeft(), menu->grab());
        }
        menu->close();
        QLabel holder;
        holder.setPixmap(picture);
        holder.resize(picture.size());
        EXPECT_TRUE(saveScreenshot(&holder, QString::fromLatin1(shot.file)));
    }
}

} // namespace
