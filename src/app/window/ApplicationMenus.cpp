#include "ApplicationMenus.h"

#include "StandardEditing.h"

#include "DatabaseManagerWindow.h"
#include "DocumentController.h"
#include "MyApplication.h"
#include "RecentDocuments.h"

#include "ActionGuard.h"
#include "MenuText.h"
#include "Settings.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include <algorithm>
#include <functional>

namespace ApplicationMenus {

namespace {

using StandardEditing::Command;

QString text(const char *source)
{
    return QCoreApplication::translate("ApplicationMenus", source);
}

QAction *commandAction(QWidget *window, const char *name, const QString &title, const QKeySequence &keys,
                       std::function<void()> command)
{
    auto *action = new QAction(title, window);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(keys);
    QPointer<QWidget> guarded(window);
    QObject::connect(action, &QAction::triggered, window,
                     [guarded, command = std::move(command)] { ActionGuard::run(command, guarded.data()); });
    return action;
}

// Names repeat across folders: those show their whole path.
QString recentTitle(const QString &path, const QStringList &paths)
{
    const QString name = QFileInfo(path).fileName();
    const auto sameName = [&name](const QString &other) { return QFileInfo(other).fileName() == name; };
    const bool repeated = std::count_if(paths.cbegin(), paths.cend(), sameName) > 1;
    return literalMenuText(repeated ? QDir::toNativeSeparators(path) : name);
}

void rebuildRecentMenu(QMenu *menu)
{
    menu->clear();
    const QStringList paths = RecentDocuments::standard().paths();
    for (const QString &path : paths) {
        QAction *open = menu->addAction(recentTitle(path, paths));
        open->setToolTip(QDir::toNativeSeparators(path));
        QObject::connect(open, &QAction::triggered, menu, [path, menu] {
            ActionGuard::run([&] {
                if (!DocumentController::sharedDocumentController().openDocumentWithContentsOfFile(path, true)
                    && !QFileInfo::exists(path))
                    RecentDocuments::standard().forgetDocument(path);
            }, menu->window());
        });
    }
    if (!paths.isEmpty())
        menu->addSeparator();
    QAction *clear = menu->addAction(text("Clear Menu"));
    clear->setObjectName(QStringLiteral("actionClearRecent"));
    clear->setEnabled(!paths.isEmpty());
    QObject::connect(clear, &QAction::triggered, menu, [] { RecentDocuments::standard().clear(); });
}

QMenu *recentMenu(QWidget *window)
{
    auto *menu = new QMenu(text("Open &Recent"), window);
    menu->setObjectName(QStringLiteral("menuOpenRecent"));
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] { rebuildRecentMenu(menu); });
    rebuildRecentMenu(menu);
    return menu;
}

// The application's commands, in the order the File menu shows them; the
// window's Close and its own items go after Open Recent.
struct FileCommands {
    QAction *newMail, *open, *settings, *quit;
    QMenu *recent;
};

FileCommands fileCommands(QWidget *window)
{
    auto &documents = DocumentController::sharedDocumentController();
    return {
        commandAction(window, "actionNew", text("&New Mail Project"), QKeySequence(QStringLiteral("Ctrl+N")),
                      [&documents] { documents.newDocument(); }),
        commandAction(window, "actionOpen", text("&Open..."), QKeySequence(QStringLiteral("Ctrl+O")),
                      [&documents] { documents.openDocument(); }),
        commandAction(window, "actionSettings", text("S&ettings..."), {},
                      [] { Settings::showSettings(QCoreApplication::instance()); }),
        commandAction(window, "actionQuit", text("&Quit"), QKeySequence(QStringLiteral("Ctrl+Q")),
                      [] { MyApplication::terminate(); }),
        recentMenu(window),
    };
}

// A key the text views and tables handle themselves, shown beside the item:
// registering it as well would make it ambiguous where a view offers its own.
QString withKeyShown(const QString &title, const char *keys)
{
    return title + QLatin1Char('\t') + QKeySequence(QLatin1String(keys)).toString(QKeySequence::NativeText);
}

QAction *editAction(QMenu *edit, QWidget *window, Command command, const char *name, const QString &title,
                    const char *keys)
{
    auto *action = new QAction(withKeyShown(title, keys), edit);
    action->setObjectName(QLatin1String(name));
    QPointer<QWidget> guarded(window);
    QObject::connect(action, &QAction::triggered, edit, [guarded, command] {
        if (guarded)
            ActionGuard::run([&] { StandardEditing::perform(command, guarded->focusWidget()); }, guarded.data());
    });
    QObject::connect(edit, &QMenu::aboutToShow, action, [action, guarded, command] {
        action->setEnabled(guarded && StandardEditing::canPerform(command, guarded->focusWidget()));
    });
    edit->addAction(action);
    return action;
}

QMenuBar *menuBarOf(QWidget *window)
{
    if (auto *main = qobject_cast<QMainWindow *>(window))
        return main->menuBar();
    auto *bar = new QMenuBar(window);
    if (QLayout *layout = window->layout())
        layout->setMenuBar(bar);
    return bar;
}

QMenu *addMenu(QMenuBar *bar, const char *name, const QString &title)
{
    QMenu *menu = bar->addMenu(title);
    menu->setObjectName(QLatin1String(name));
    return menu;
}

} // namespace

void fillFileMenu(QMenu *file, QWidget *window)
{
    const FileCommands commands = fileCommands(window);
    QAction *close = commandAction(window, "actionClose", text("&Close"), QKeySequence(QStringLiteral("Ctrl+W")),
                                   [window] { window->close(); });
    QAction *windowItems = file->actions().value(0);
    file->insertAction(windowItems, commands.newMail);
    file->insertAction(windowItems, commands.open);
    file->insertMenu(windowItems, commands.recent);
    file->insertSeparator(windowItems);
    file->insertAction(windowItems, close);
    file->addSeparator();
    file->addAction(commands.settings);
    file->addSeparator();
    file->addAction(commands.quit);
}

void fillEditMenu(QMenu *edit, QWidget *window)
{
    if (edit->isEmpty()) {
        editAction(edit, window, Command::Undo, "actionUndo", text("&Undo"), "Ctrl+Z");
        editAction(edit, window, Command::Redo, "actionRedo", text("&Redo"), "Ctrl+Shift+Z");
    }
    edit->addSeparator();
    editAction(edit, window, Command::Cut, "actionCut", text("Cu&t"), "Ctrl+X");
    editAction(edit, window, Command::Copy, "actionCopy", text("&Copy"), "Ctrl+C");
    editAction(edit, window, Command::Paste, "actionPaste", text("&Paste"), "Ctrl+V");
    editAction(edit, window, Command::Delete, "actionDelete", text("&Delete"), "Del");
    editAction(edit, window, Command::SelectAll, "actionSelectAll", text("Select &All"), "Ctrl+A");
}

void fillWindowMenu(QMenu *menu)
{
    QWidget *window = menu->parentWidget() ? menu->parentWidget()->window() : menu;
    menu->addAction(commandAction(window, "actionProjectWindow", text("&Project Window"), {},
                                  [] { MyApplication::showProjectWindow(); }));
    menu->addAction(commandAction(window, "actionTableFiles", text("&Table Files"), {},
                                  [] { DatabaseManagerWindow::sharedInstance().showWindow(); }));
}

QMenuBar *furnishWindow(QWidget *window)
{
    QMenuBar *bar = menuBarOf(window);
    fillFileMenu(addMenu(bar, "menuFile", text("&File")), window);
    fillEditMenu(addMenu(bar, "menuEdit", text("&Edit")), window);
    fillWindowMenu(addMenu(bar, "menuWindow", text("&Window")));
    return bar;
}

void furnishSheet(QWidget *sheet)
{
    const FileCommands commands = fileCommands(sheet);
    QMenu *file = addMenu(menuBarOf(sheet), "menuFile", text("&File"));
    file->addAction(commands.newMail);
    file->addAction(commands.open);
    file->addMenu(commands.recent);
    file->addSeparator();
    file->addAction(commands.settings);
    file->addSeparator();
    file->addAction(commands.quit);
}

} // namespace ApplicationMenus
