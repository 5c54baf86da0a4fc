#include "AddressView.h"

#include "ui_ProjectAddressView.h"

#include "AddressOutlineModel.h"
#include "AddressTableModel.h"
#include "AddressViewController.h"
#include "BetterSplitViewResizer.h"
#include "MiddleTextFieldCell.h"
#include "PlainNameEditor.h"

#include "ActionGuard.h"
#include "CSVImporter.h"
#include "RecipientCommands.h" // CSVImporter.h holds it by QPointer
#include "FilePanels.h"
#include "DatabaseRef.h"
#include "Localizer.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPointer>
#include <QSet>

#include <algorithm>

namespace {

// The left pane's limits.
constexpr double MinimumOutlineWidth = 150.0;
constexpr double MaximumOutlineWidth = 350.0;

} // namespace

AddressView::AddressView(Kind kind, DatabaseManager &registry, UserDefaults &defaults, QWidget *parent)
    : QWidget(parent), m_kind(kind), m_ui(std::make_unique<Ui::ProjectAddressView>()),
      m_controller(new AddressViewController(registry, defaults, this)), m_resizer(new BetterSplitViewResizer(this))
{
    m_ui->setupUi(this);
    m_controller->setWindow(this);
    m_resizer->setMinSplitPosition(MinimumOutlineWidth);
    m_resizer->setMaxSplitPosition(MaximumOutlineWidth);
    m_resizer->attach(m_ui->splitView);
    m_ui->splitView->setSizes({200, 560});

    QTreeView *outline = m_ui->outlineView;
    outline->setModel(m_controller->outlineModel());
    outline->setItemDelegate(new MiddleTextFieldCell(outline));
    outline->expandAll();
    connect(outline->selectionModel(), &QItemSelectionModel::currentChanged, this, &AddressView::loadSelectedTable);
    // Read again (a table added, the contacts arrived): open and select as before.
    connect(m_controller->outlineModel(), &QAbstractItemModel::modelReset, this, [this] { outlineChanged(nullptr); });
    connect(outline->selectionModel(), &QItemSelectionModel::selectionChanged, this, &AddressView::updateButtons);

    QTableView *table = m_ui->tableView;
    table->setModel(m_controller->tableModel());
    QHeaderView *header = table->horizontalHeader();
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    header->setDefaultSectionSize(ProjectColumnLayout::DefaultWidth);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    if (kind == Kind::MailProjects) {
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        outline->setEditTriggers(QAbstractItemView::NoEditTriggers);
    }
    connect(header, &QHeaderView::sectionMoved, this, [this] { m_controller->rememberColumnPositions(); });
    connect(header, &QHeaderView::sortIndicatorChanged, this, [this](int column, Qt::SortOrder order) {
        if (column >= 0)
            guarded([&] { m_controller->sortByColumn(column, order == Qt::AscendingOrder); });
    });
    m_controller->setShownColumnsProvider([this] {
        QList<ProjectColumnLayout::Shown> shown;
        const QHeaderView *columns = m_ui->tableView->horizontalHeader();
        for (int visual = 0; visual < columns->count(); ++visual) {
            const int logical = columns->logicalIndex(visual);
            if (const ColumnRefPtr column = m_controller->tableModel()->column(logical))
                shown.append({column->uid(), columns->sectionSize(logical)});
        }
        return shown;
    });
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this, &AddressView::updateButtons);
    connect(m_controller, &AddressViewController::tableShown, this, &AddressView::tableShown);
    connect(m_controller, &AddressViewController::outlineChanged, this, &AddressView::outlineChanged);

    auto *options = new QMenu(m_ui->optionsMenu);
    options->addAction(m_ui->actionEditColumnName);
    options->addSeparator();
    options->addAction(m_ui->actionImportCSV);
    options->addAction(m_ui->actionImportProjectFiles);
    options->addAction(m_ui->actionExportCSV);
    options->addSeparator();
    options->addAction(m_ui->actionNewMail);
    m_ui->optionsMenu->setMenu(options);

    const auto command = [this](QAbstractButton *button, void (AddressView::*action)()) {
        connect(button, &QAbstractButton::clicked, this, [this, action] { guarded([&] { (this->*action)(); }); });
    };
    command(m_ui->addTableButton, &AddressView::addTable);
    command(m_ui->removeTableButton, &AddressView::removeTable);
    command(m_ui->addRowButton, &AddressView::addRow);
    command(m_ui->removeRowButton, &AddressView::removeRow);
    command(m_ui->addColumnButton, &AddressView::addColumn);
    command(m_ui->removeColumnButton, &AddressView::removeColumn);
    command(m_ui->newMailButton, &AddressView::createNewMail);
    const auto menuCommand = [this](QAction *item, void (AddressView::*action)()) {
        connect(item, &QAction::triggered, this, [this, action] { guarded([&] { (this->*action)(); }); });
    };
    menuCommand(m_ui->actionEditColumnName, &AddressView::editColumnName);
    menuCommand(m_ui->actionImportCSV, &AddressView::importCSV);
    menuCommand(m_ui->actionImportProjectFiles, &AddressView::importCorvantilineFile);
    menuCommand(m_ui->actionExportCSV, &AddressView::exportCSV);
    menuCommand(m_ui->actionNewMail, &AddressView::createNewMail);

    const bool editing = kind == Kind::Tables;
    for (QWidget *control : std::initializer_list<QWidget *>{m_ui->addTableButton, m_ui->removeTableButton,
                                                             m_ui->addRowButton, m_ui->removeRowButton,
                                                             m_ui->addColumnButton, m_ui->removeColumnButton,
                                                             m_ui->optionsMenu})
        control->setVisible(editing);
    m_ui->newMailButton->setDefault(!editing);
    updateButtons();
}

AddressView::~AddressView() = default;

void AddressView::guarded(const std::function<void()> &command)
{
    ActionGuard::run(command, window());
}

QList<TableRefPtr> AddressView::selectedTables() const
{
    QModelIndexList selected = m_ui->outlineView->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(), [](const QModelIndex &a, const QModelIndex &b) {
        // Sources before their tables, and in outline order.
        const int sourceA = a.parent().isValid() ? a.parent().row() : a.row();
        const int sourceB = b.parent().isValid() ? b.parent().row() : b.row();
        if (sourceA != sourceB)
            return sourceA < sourceB;
        return a.parent().isValid() == b.parent().isValid() ? a.row() < b.row() : !a.parent().isValid();
    });
    QList<TableRefPtr> tables;
    for (const QModelIndex &index : std::as_const(selected)) {
        if (TableRefPtr table = m_controller->outlineModel()->tableAt(index))
            tables.append(std::move(table));
    }
    return tables;
}

bool AddressView::selectTable(const TableRefPtr &table)
{
    const std::shared_ptr<DatabaseRef> source = table ? table->database() : nullptr;
    const QModelIndex index =
        source ? m_controller->outlineModel()->indexOfTable(source->uid(), table->uid()) : QModelIndex();
    if (!index.isValid())
        return false;
    m_ui->outlineView->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_ui->outlineView->scrollTo(index);
    return true;
}

void AddressView::refresh()
{
    m_controller->outlineModel()->reload();
    if (const TableRefPtr &shown = m_controller->shownTable())
        m_controller->tableContentsChanged(shown->uid());
}

void AddressView::loadSelectedTable()
{
    const QModelIndex current = m_ui->outlineView->selectionModel()->currentIndex();
    guarded([&] { m_controller->loadTable(m_controller->outlineModel()->tableAt(current)); });
}

void AddressView::tableShown()
{
    QHeaderView *header = m_ui->tableView->horizontalHeader();
    // A new table starts unsorted and with its columns where the layout puts them.
    const QSignalBlocker blocker(header);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    const AddressTableModel *model = m_controller->tableModel();
    for (int column = 0; column < model->columnCount(); ++column)
        header->resizeSection(column, m_controller->columnLayout().widthFor(model->column(column)->uid()));
    updateButtons();
}

void AddressView::outlineChanged(const TableRefPtr &select)
{
    const TableRefPtr shown = m_controller->shownTable();
    m_ui->outlineView->expandAll();
    const bool listed = selectTable(select ? select : shown);
    // The shown table may have been removed meanwhile, on the other page.
    if (!select && (!shown || !listed))
        m_controller->loadTable(nullptr);
    updateButtons();
}

void AddressView::updateButtons()
{
    const AddressViewController::Abilities can = m_controller->abilities();
    const bool rowSelected = m_ui->tableView->selectionModel()->hasSelection();
    m_ui->addRowButton->setEnabled(can.addRow);
    m_ui->removeRowButton->setEnabled(can.removeRow && rowSelected);
    m_ui->addColumnButton->setEnabled(can.addColumn);
    m_ui->removeColumnButton->setEnabled(can.removeColumn && rowSelected);
    m_ui->actionEditColumnName->setEnabled(can.renameColumn);
    m_ui->actionExportCSV->setEnabled(m_controller->shownTable() != nullptr);
    const QList<TableRefPtr> tables = selectedTables();
    m_ui->removeTableButton->setEnabled(tables.size() == 1 && tables.first()->can(TableRef::Capability::Remove));
    m_ui->actionNewMail->setEnabled(!tables.isEmpty());
    m_ui->newMailButton->setEnabled(!tables.isEmpty());
}

int AddressView::selectedColumn() const
{
    const QModelIndex current = m_ui->tableView->selectionModel()->currentIndex();
    return current.isValid() ? current.column() : -1;
}

QList<int> AddressView::selectedColumns() const
{
    QSet<int> columns;
    for (const QModelIndex &index : m_ui->tableView->selectionModel()->selectedIndexes())
        columns.insert(index.column());
    return {columns.cbegin(), columns.cend()};
}

QList<int> AddressView::selectedRows() const
{
    QSet<int> rows;
    for (const QModelIndex &index : m_ui->tableView->selectionModel()->selectedIndexes())
        rows.insert(index.row());
    return {rows.cbegin(), rows.cend()};
}

void AddressView::addTable()
{
    auto *editor = new PlainNameEditor(window());
    editor->setWindowTitle(Localizer::localizedString("Project", "New Table"));
    editor->setTarget([this](PanelWindowController &sheet) {
        m_controller->addTable(static_cast<PlainNameEditor &>(sheet).name());
    });
    editor->displayAsSheetForWindow(window());
}

void AddressView::removeTable()
{
    const QList<TableRefPtr> tables = selectedTables();
    if (tables.size() == 1)
        m_controller->removeTable(tables.first());
}

void AddressView::addRow()
{
    const int row = m_controller->addRow();
    if (row < 0)
        return;
    const QModelIndex index = m_controller->tableModel()->index(row, 0);
    m_ui->tableView->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                  QItemSelectionModel::Rows);
    m_ui->tableView->scrollTo(index);
}

void AddressView::removeRow()
{
    m_controller->removeRows(selectedRows());
}

void AddressView::addColumn()
{
    auto *editor = new PlainNameEditor(window());
    editor->setWindowTitle(Localizer::localizedString("Project", "New Column"));
    editor->setTarget([this](PanelWindowController &sheet) {
        m_controller->addColumn(static_cast<PlainNameEditor &>(sheet).name());
    });
    editor->displayAsSheetForWindow(window());
}

void AddressView::editColumnName()
{
    const int column = selectedColumn();
    if (!m_controller->canRenameColumn(column))
        return;
    const QString uid = m_controller->tableModel()->column(column)->uid();
    auto *editor = new PlainNameEditor(window());
    editor->setWindowTitle(Localizer::localizedString("Project", "Rename Column"));
    editor->setName(m_controller->tableModel()->column(column)->displayName());
    editor->setTarget([this, uid](PanelWindowController &sheet) {
        // The columns may have moved while the sheet was up.
        const AddressTableModel *model = m_controller->tableModel();
        for (int i = 0; i < model->columnCount(); ++i) {
            if (model->column(i)->uid() == uid)
                m_controller->renameColumn(i, static_cast<PlainNameEditor &>(sheet).name());
        }
    });
    editor->displayAsSheetForWindow(window());
}

void AddressView::removeColumn()
{
    m_controller->removeColumns(selectedColumns());
}

void AddressView::importCSV()
{
    auto *importer = new CSVImporter(window());
    const QPointer<AddressViewController> controller = m_controller;
    importer->setTarget([controller](const QVariantMap &result) {
        if (controller)
            controller->importCSV_now(result);
    });
    importer->displayAsSheet();
}

void AddressView::importCorvantilineFile()
{
    const QStringList paths = FilePanels::current().openFiles(
        window(), Localizer::localizedString("Project", "Import Project Files"), {QStringLiteral("quorv2")}, true);
    if (!paths.isEmpty())
        m_controller->importCorvantilineFiles(paths);
}

void AddressView::exportCSV()
{
    if (!m_controller->shownTable())
        return;
    const QString path = FilePanels::current().saveFile(
        window(), Localizer::localizedString("Project", "Export as Text"), QStringLiteral("txt"));
    if (!path.isEmpty())
        m_controller->exportCSV(path);
}

void AddressView::createNewMail()
{
    m_controller->createNewMail(selectedTables());
}
