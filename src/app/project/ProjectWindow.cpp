#include "ProjectWindow.h"

#include "ui_Project.h"

#include "AddressView.h"
#include "ApplicationMenus.h"
#include "AddressViewController.h"
#include "ProjectSubviewManager.h"
#include "ViewSwitchBar.h"

#include <QUndoGroup>
#include <QUndoStack>

ProjectWindow::ProjectWindow(DatabaseManager &registry, UserDefaults &defaults, QWidget *parent)
    : QMainWindow(parent), m_ui(std::make_unique<Ui::ProjectWindow>()), m_undoGroup(new QUndoGroup(this))
{
    m_ui->setupUi(this);
    m_subviews = new ProjectSubviewManager(
        m_ui->placeholderView,
        [this, &registry, &defaults](int tag) {
            const auto kind = tag == ProjectSubviewManager::MailProjectsTag ? AddressView::Kind::MailProjects
                                                                            : AddressView::Kind::Tables;
            auto *page = new AddressView(kind, registry, defaults);
            m_undoGroup->addStack(page->controller()->undoManager());
            return page;
        },
        this);
    connect(m_subviews, &ProjectSubviewManager::activeViewChanged, this,
            [this](AddressView *page) {
                page->refresh();
                m_undoGroup->setActiveStack(page->controller()->undoManager());
            });

    ViewSwitchBar *bar = m_ui->switchBar;
    bar->addSwitchButton(m_ui->tablesButton, ProjectSubviewManager::TablesTag);
    bar->addSwitchButton(m_ui->mailProjectsButton, ProjectSubviewManager::MailProjectsTag);
    connect(bar, &ViewSwitchBar::switchRequested, m_subviews, &ProjectSubviewManager::switchView);

    QAction *undo = m_undoGroup->createUndoAction(this, tr("&Undo"));
    undo->setShortcut(QKeySequence::Undo);
    QAction *redo = m_undoGroup->createRedoAction(this, tr("&Redo"));
    redo->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+Z")));
    m_ui->menuEdit->addAction(undo);
    m_ui->menuEdit->addAction(redo);
    ApplicationMenus::fillFileMenu(m_ui->menuFile, this);
    ApplicationMenus::fillEditMenu(m_ui->menuEdit, this);
    ApplicationMenus::fillWindowMenu(m_ui->menuWindow);

    m_subviews->loadView(ProjectSubviewManager::TablesTag);
}

ProjectWindow::~ProjectWindow() = default;

ViewSwitchBar *ProjectWindow::switchBar() const
{
    return m_ui->switchBar;
}
