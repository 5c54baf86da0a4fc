#include "ProjectFixture.h"

#include "AddressOutlineModel.h"
#include "AddressTableModel.h"
#include "AddressView.h"
#include "AddressViewController.h"
#include "BetterSplitViewResizer.h"
#include "DatabaseManagerWindow.h"
#include "PlainNameEditor.h"
#include "ProjectSubviewManager.h"
#include "ProjectWindow.h"
#include "ProjectWindowController.h"
#include "RememberedWindowFrame.h"
#include "ViewSwitchBar.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QPointer>
#include <QSplitter>
#include <QSplitterHandle>
#include <QTest>
#include <QTreeView>
#include <QUndoGroup>
#include <QUndoStack>

namespace {

using Placement = RememberedWindowFrame::Placement;

class ProjectWindowTest : public ProjectFixture {
protected:
    QVariantList storedFrame() const
    {
        QVariantList values;
        for (const char *key : {"ProjectWindow_posx", "ProjectWindow_posy", "ProjectWindow_width", "ProjectWindow_height"})
            values.append(defaults->objectForKey(QString::fromLatin1(key)));
        return values;
    }
};

TEST_F(ProjectWindowTest, FrameIsStoredTruncatedOnlyWhileVisibleAndComesBackOnAScreen)
{
    RememberedWindowFrame frame(*defaults, "ProjectWindow", "showProjectOnStartup");
    const QList<QRect> screens{QRect(0, 0, 1920, 1050), QRect(1920, 0, 1280, 1000)};
    EXPECT_EQ(frame.placement(screens, true).kind, Placement::Keep) << "nothing remembered yet";

    frame.store(true, QRectF(100.7, 200.2, 640.9, 480));
    EXPECT_EQ(storedFrame(), (QVariantList{100, 200, 640, 480}));
    EXPECT_TRUE(defaults->boolForKey("showProjectOnStartup"));
    frame.store(false, QRectF(5, 5, 300, 300));
    EXPECT_FALSE(defaults->boolForKey("showProjectOnStartup"));
    EXPECT_EQ(storedFrame(), (QVariantList{100, 200, 640, 480})) << "a hidden window keeps the frame it had";

    const struct {
        QRect stored;
        bool positionsHonoured;
        Placement::Kind kind;
        QRect applied;
    } cases[] = {
        {QRect(100, 200, 640, 480), true, Placement::Frame, QRect(100, 200, 640, 480)},
        {QRect(3000, 100, 640, 480), true, Placement::Frame, QRect(3000, 100, 640, 480)}, // the second screen
        {QRect(5000, -900, 640, 480), true, Placement::Centred, QRect(640, 285, 640, 480)},
        {QRect(-4000, 90, 4000, 3000), true, Placement::Centred, QRect(0, 0, 1920, 1050)},
        {QRect(5000, -900, 640, 480), false, Placement::Size, QRect(5000, -900, 640, 480)},
    };
    for (const auto &c : cases) {
        frame.store(true, c.stored);
        const Placement placement = frame.placement(screens, c.positionsHonoured);
        EXPECT_EQ(placement.kind, c.kind) << c.stored.x();
        EXPECT_EQ(placement.frame, c.applied) << c.stored.x();
    }
    defaults->removeObjectForKey("ProjectWindow_posy");
    EXPECT_EQ(frame.placement(screens, true).kind, Placement::Keep) << "a partial frame is not used";
}

TEST_F(ProjectWindowTest, WindowReopensWhereItWasAndStaysReachable)
{
    const QRect shown(60, 40, 760, 500);
    {
        ProjectWindowController controller(*registry, *defaults);
        controller.showWindow();
        controller.window()->setGeometry(shown);
        controller.appWillTerminate();
    }
    EXPECT_TRUE(defaults->boolForKey("showProjectOnStartup"));
    {
        ProjectWindowController controller(*registry, *defaults);
        EXPECT_EQ(controller.window()->geometry(), shown);
        controller.appWillTerminate(); // never shown
    }
    EXPECT_FALSE(defaults->boolForKey("showProjectOnStartup"));
    EXPECT_EQ(storedFrame(), (QVariantList{60, 40, 760, 500}));

    // The monitor it was on has gone.
    defaults->setInteger(9000, "ProjectWindow_posx");
    ProjectWindowController controller(*registry, *defaults);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.intersects(controller.window()->geometry())) << "centred on the screen";
}

TEST_F(ProjectWindowTest, PagesAreMadeOnceKeepTheirStateAndTheirOwnUndo)
{
    const TableRefPtr table = storedTable("Members", {"E-Mail"}, {{"ann@example.org"}});
    ProjectWindow window(*registry, *defaults);
    window.show();
    ProjectSubviewManager *pages = window.subviewManager();
    AddressView *tables = pages->activeViewController();
    ASSERT_NE(tables, nullptr);
    EXPECT_EQ(pages->activeTag(), ProjectSubviewManager::TablesTag);
    EXPECT_EQ(pages->page(ProjectSubviewManager::MailProjectsTag), nullptr) << "made on first use";
    tables->selectTable(table);
    ASSERT_EQ(tables->controller()->shownTable(), table);
    tables->controller()->addRow();
    EXPECT_EQ(window.undoGroup()->activeStack(), tables->controller()->undoManager());

    QAbstractButton *first = window.switchBar()->button(ProjectSubviewManager::TablesTag);
    QAbstractButton *second = window.switchBar()->button(ProjectSubviewManager::MailProjectsTag);
    QTest::mouseClick(second, Qt::LeftButton);
    AddressView *projects = pages->activeViewController();
    ASSERT_NE(projects, tables);
    EXPECT_TRUE(second->isChecked());
    EXPECT_FALSE(first->isChecked());
    EXPECT_EQ(projects->kind(), AddressView::Kind::MailProjects);
    EXPECT_EQ(projects->controller()->shownTable(), nullptr);
    EXPECT_EQ(window.undoGroup()->activeStack(), projects->controller()->undoManager());
    EXPECT_FALSE(window.undoGroup()->canUndo()) << "the other page's step is not this page's";

    QTest::mouseClick(first, Qt::LeftButton);
    EXPECT_EQ(pages->activeViewController(), tables);
    EXPECT_EQ(tables->controller()->shownTable(), table) << "the page as it was left";
    EXPECT_TRUE(window.undoGroup()->canUndo());
    window.undoGroup()->undo();
    EXPECT_EQ(table->numberOfRows(), 1);
}

TEST_F(ProjectWindowTest, ATableRemovedOnOnePageIsShownOnNeither)
{
    const TableRefPtr members = storedTable("Members", {"E-Mail"}, {{"ann@example.org"}});
    ProjectWindow window(*registry, *defaults);
    window.show();
    ProjectSubviewManager *pages = window.subviewManager();
    window.switchBar()->switchView(ProjectSubviewManager::MailProjectsTag);
    AddressView *projects = pages->activeViewController();
    projects->selectTable(members);
    ASSERT_EQ(projects->controller()->shownTable(), members);

    window.switchBar()->switchView(ProjectSubviewManager::TablesTag);
    AddressView *tables = pages->activeViewController();
    tables->selectTable(members);
    questions.answers = {true};
    tables->findChild<QAbstractButton *>("removeTableButton")->click();
    ASSERT_EQ(tables->controller()->shownTable(), nullptr);

    window.switchBar()->switchView(ProjectSubviewManager::MailProjectsTag);
    EXPECT_EQ(projects->controller()->shownTable(), nullptr);
    EXPECT_EQ(projects->controller()->tableModel()->columnCount(), 0);
    EXPECT_TRUE(projects->selectedTables().isEmpty());
    EXPECT_FALSE(projects->findChild<QAbstractButton *>("newMailButton")->isEnabled());
}

TEST_F(ProjectWindowTest, SheetCallsItsTargetOnceAfterEndingAndNeverOnCancel)
{
    QWidget window;
    window.show();
    for (const bool ok : {true, false}) {
        auto *editor = new PlainNameEditor(&window);
        QPointer<PlainNameEditor> alive(editor);
        QStringList calls;
        editor->setTarget([&](PanelWindowController &sheet) {
            calls.append(static_cast<PlainNameEditor &>(sheet).name() + (sheet.isVisible() ? " while shown" : ""));
        });
        editor->displayAsSheetForWindow(&window);
        ASSERT_TRUE(editor->isVisible());
        EXPECT_EQ(editor->windowModality(), Qt::WindowModal);
        QTest::keyClicks(editor->findChild<QLineEdit *>("nameField"), "Newsletter");
        auto *buttons = editor->findChild<QDialogButtonBox *>("buttons");
        buttons->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
        EXPECT_EQ(calls, ok ? QStringList{"Newsletter"} : QStringList{});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(alive.isNull()) << "the sheet lets itself go";
    }
}

TEST_F(ProjectWindowTest, DividerStaysBetweenItsLimitsAndOnlyTheTableWidens)
{
    BetterSplitViewResizer limits;
    limits.setMinSplitPosition(150);
    limits.setMaxSplitPosition(350);
    EXPECT_EQ(limits.constrainSplitPosition(100), 150);
    EXPECT_EQ(limits.constrainSplitPosition(400), 350);
    EXPECT_EQ(limits.constrainSplitPosition(200), 200);

    AddressView page(AddressView::Kind::Tables, *registry, *defaults);
    page.resize(1000, 500);
    page.show();
    auto *split = page.findChild<QSplitter *>("splitView");
    QSplitterHandle *divider = split->handle(1);
    const auto drag = [&](int by) {
        const QPoint grip(divider->width() / 2, 20);
        QTest::mousePress(divider, Qt::LeftButton, {}, grip);
        QTest::mouseMove(divider, grip + QPoint(by, 0));
        QTest::mouseRelease(divider, Qt::LeftButton, {}, grip + QPoint(by, 0));
        return split->widget(0)->width();
    };
    EXPECT_EQ(drag(-500), 150);
    EXPECT_EQ(drag(600), 350);
    EXPECT_EQ(divider->x(), 350) << "the divider stays at the pane's edge";
    drag(-100);
    const int left = split->widget(0)->width();
    const int right = split->widget(1)->width();
    page.resize(1300, 500);
    QCoreApplication::processEvents();
    EXPECT_EQ(split->widget(0)->width(), left);
    EXPECT_EQ(split->widget(1)->width(), right + 300);
}

TEST_F(ProjectWindowTest, ScreenshotsOfTheWindowItsPagesItsSheetAndTheTableFiles)
{
    const TableRefPtr table = storedTable("Members", {"E-Mail", "Name", "City"},
                                          {{"ann@example.org", "Ann Archer", "Oslo"},
                                           {"bob@example.org", "Bob Baker", "Turku"},
                                           {"cy@example.org", "Cy Cole", "Bergen"}});
    storedTable("Volunteers", {"E-Mail"}, {});
    ProjectWindow window(*registry, *defaults);
    window.resize(860, 520);
    window.show();
    window.subviewManager()->activeViewController()->selectTable(table);
    saveScreenshot(&window, "project-window.png");

    window.switchBar()->switchView(ProjectSubviewManager::MailProjectsTag);
    window.subviewManager()->activeViewController()->selectTable(table);
    saveScreenshot(&window, "project-window-mail-projects.png");

    auto *editor = new PlainNameEditor(&window);
    editor->setWindowTitle("New Table");
    editor->setName("Newsletter readers");
    editor->displayAsSheetForWindow(&window);
    saveScreenshot(editor, "project-name-editor.png");
    editor->cancelClicked();

    registry->addDatabaseFile(path("Spring mailing.quorv2"));
    registry->addDatabaseFile(path("Tests.quorv2"));
    registry->toggleTestingModeForDatabase(1);
    DatabaseManagerWindow files(*registry, *defaults);
    files.resize(620, 300);
    files.show();
    saveScreenshot(&files, "table-files-window.png");
}

} // namespace
