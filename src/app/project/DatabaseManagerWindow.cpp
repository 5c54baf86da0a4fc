#include "DatabaseManagerWindow.h"

#include "ui_DatabaseManager.h"

#include "DatabaseFileListModel.h"

#include "ActionGuard.h"
#include "ApplicationMenus.h"
#include "ApplicationTermination.h"
#include "Alerts.h"
#include "DatabaseManager.h"
#include "DocumentController.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QScreen>

namespace {

DatabaseManagerWindow *&sharedSlot()
{
    static DatabaseManagerWindow *instance = nullptr;
    return instance;
}

} // namespace

DatabaseManagerWindow &DatabaseManagerWindow::sharedInstance()
{
    if (!sharedSlot()) {
        sharedSlot() = new DatabaseManagerWindow(DatabaseManager::sharedInstance(), UserDefaults::standardUserDefaults());
        connect(&ApplicationTermination::instance(), &ApplicationTermination::willTerminate, sharedSlot(),
                &DatabaseManagerWindow::appWillTerminate);
    }
    return *sharedSlot();
}

void DatabaseManagerWindow::releaseSharedInstance()
{
    delete sharedSlot();
    sharedSlot() = nullptr;
}

DatabaseManagerWindow::DatabaseManagerWindow(DatabaseManager &registry, UserDefaults &defaults, QWidget *parent)
    : QWidget(parent, Qt::Window), m_ui(std::make_unique<Ui::DatabaseManagerWindow>()),
      m_model(new DatabaseFileListModel(registry, this)), m_frame(defaults, FramePrefix, ShowOnStartupKey)
{
    m_ui->setupUi(this);
    ApplicationMenus::furnishWindow(this);
    QTreeView *list = m_ui->databaseList;
    list->setModel(m_model);
    list->setAcceptDrops(true);
    list->header()->setSectionResizeMode(DatabaseFileListModel::NameColumn, QHeaderView::ResizeToContents);
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &DatabaseManagerWindow::updateOptionsMenu);
    connect(m_model, &QAbstractItemModel::modelReset, this, &DatabaseManagerWindow::updateOptionsMenu);
    connect(m_model, &DatabaseFileListModel::dropRefused, this, &DatabaseManagerWindow::showAlreadyListed);
    connect(list, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        const QString path = m_model->pathAt(index.row());
        ActionGuard::run([&] { m_model->openNewDocument(path); }, this);
    });

    auto *options = new QMenu(m_ui->optionsButton);
    options->addAction(m_ui->actionEditOriginal);
    options->addAction(m_ui->actionNewMail);
    // Index 2: the item whose mark shows the selected file's test state.
    options->addAction(m_ui->actionUseForTesting);
    m_ui->optionsButton->setMenu(options);

    const auto command = [this](auto *sender, auto signal, void (DatabaseManagerWindow::*action)()) {
        connect(sender, signal, this, [this, action] { ActionGuard::run([&] { (this->*action)(); }, this); });
    };
    command(m_ui->addButton, &QAbstractButton::clicked, &DatabaseManagerWindow::addDatabase);
    command(m_ui->removeButton, &QAbstractButton::clicked, &DatabaseManagerWindow::removeDatabase);
    command(m_ui->actionEditOriginal, &QAction::triggered, &DatabaseManagerWindow::editOriginal);
    command(m_ui->actionNewMail, &QAction::triggered, &DatabaseManagerWindow::newMail);
    command(m_ui->actionUseForTesting, &QAction::triggered, &DatabaseManagerWindow::useForTesting);

    QList<QRect> screens;
    for (QScreen *screen : QGuiApplication::screens())
        screens.append(screen->availableGeometry());
    if (QScreen *primary = QGuiApplication::primaryScreen())
        screens.prepend(primary->availableGeometry());
    const auto placement = m_frame.placement(
        screens, !QGuiApplication::platformName().startsWith(QStringLiteral("wayland")));
    if (placement.kind == RememberedWindowFrame::Placement::Size)
        resize(placement.frame.size());
    else if (placement.kind != RememberedWindowFrame::Placement::Keep)
        setGeometry(placement.frame);
    updateOptionsMenu();
}

DatabaseManagerWindow::~DatabaseManagerWindow() = default;

void DatabaseManagerWindow::showWindow()
{
    show();
    raise();
    activateWindow();
}

void DatabaseManagerWindow::appWillTerminate()
{
    m_frame.store(isVisible(), QRectF(geometry()));
}

QStringList DatabaseManagerWindow::selectedPaths() const
{
    QStringList paths;
    for (const QModelIndex &index : m_ui->databaseList->selectionModel()->selectedRows())
        paths.append(m_model->pathAt(index.row()));
    return paths;
}

void DatabaseManagerWindow::showAlreadyListed()
{
    DoDisplayAlertSheet_Loc(QStringLiteral("Localized-DatabaseManager"), QStringLiteral("Already Listed Error"),
                            QStringLiteral("Already Listed Text"), this);
}

void DatabaseManagerWindow::addDatabase()
{
    const QString path = DocumentController::sharedDocumentController().panels().openFile(this);
    if (path.isEmpty())
        return;
    // The alert's text covers both refusals.
    if (m_model->addFile(path) != DatabaseFileListModel::AddResult::Added)
        showAlreadyListed();
}

void DatabaseManagerWindow::removeDatabase()
{
    m_model->removeFiles(selectedPaths());
}

void DatabaseManagerWindow::useForTesting()
{
    const QStringList paths = selectedPaths();
    if (!paths.isEmpty())
        m_model->toggleTesting(paths.first());
    updateOptionsMenu();
}

void DatabaseManagerWindow::editOriginal()
{
    const QStringList paths = selectedPaths();
    if (!paths.isEmpty())
        m_model->openEditor(paths.first());
}

void DatabaseManagerWindow::newMail()
{
    const QStringList paths = selectedPaths();
    if (!paths.isEmpty())
        m_model->openNewDocument(paths.first());
}

void DatabaseManagerWindow::updateOptionsMenu()
{
    const QStringList paths = selectedPaths();
    m_ui->actionUseForTesting->setChecked(!paths.isEmpty() && m_model->isForTesting(paths.first()));
    for (QAction *action : {m_ui->actionEditOriginal, m_ui->actionNewMail, m_ui->actionUseForTesting})
        action->setEnabled(!paths.isEmpty());
    m_ui->removeButton->setEnabled(!paths.isEmpty());
}
