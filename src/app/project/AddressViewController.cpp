#include "AddressViewController.h"

#include "AddressOutlineModel.h"
#include "AddressTableModel.h"
#include "QuestionPresenter.h"
#include "StoredColumnsRemoveCommand.h"
#include "StoredRowAddCommand.h"
#include "StoredRowChangeCommand.h"
#include "StoredRowsRemoveCommand.h"
#include "StoredTableExport.h"
#include "StoredTableImport.h"

#include "AlertPresenter.h"
#include "Alerts.h"
#include "DatabaseManager.h"
#include "DocumentController.h"
#include "Localizer.h"
#include "MyDocument.h"
#include "PlainArrayDatabase.h"
#include "TableCopy.h"

#include <QFileInfo>
#include <QSet>
#include <QUndoStack>
#include <QWidget>

#include <algorithm>

namespace {

QSet<QString> columnUids(const TableRef &table)
{
    QSet<QString> uids;
    for (const ColumnRefPtr &column : table.columns())
        uids.insert(column->uid());
    return uids;
}

} // namespace

AddressViewController::AddressViewController(DatabaseManager &registry, UserDefaults &defaults, QObject *parent)
    : QObject(parent), m_registry(registry), m_layout(defaults), m_outline(new AddressOutlineModel(registry, this)),
      m_rows(new AddressTableModel(this)), m_undo(new QUndoStack(this))
{
    m_rows->setEditor([this](int row, int column, const QVariant &value) { return setCell(row, column, value); });
    connect(m_outline, &AddressOutlineModel::tableRenamed, this, [this](const TableRefPtr &table) {
        if (table == m_table)
            emit tableShown();
    });
}

AddressViewController::~AddressViewController() = default;

void AddressViewController::loadTable(const TableRefPtr &table)
{
    rememberColumnPositions();
    m_table = table;
    showColumns();
}

void AddressViewController::showColumns()
{
    m_rows->setSourceTable(m_table, m_table ? m_layout.orderedColumns(m_table->columns()) : QList<ColumnRefPtr>());
    emit tableShown();
}

void AddressViewController::rememberColumnPositions()
{
    if (!m_table || !m_shownColumns)
        return;
    const QList<ProjectColumnLayout::Shown> shown = m_shownColumns();
    if (!shown.isEmpty())
        m_layout.remember(shown);
}

AddressViewController::Abilities AddressViewController::abilities() const
{
    Abilities abilities;
    if (!m_table)
        return abilities;
    const TableRef::Capabilities can = m_table->capabilities();
    abilities.addRow = can.testFlag(TableRef::Capability::NewRow);
    abilities.removeRow = can.testFlag(TableRef::Capability::RemoveRow);
    abilities.addColumn = can.testFlag(TableRef::Capability::NewColumn);
    abilities.removeColumn = can.testFlag(TableRef::Capability::RemoveColumn);
    abilities.renameColumn = can.testFlag(TableRef::Capability::RenameColumn);
    return abilities;
}

TableRefPtr AddressViewController::storedTable(const QString &uid) const
{
    const std::shared_ptr<PlainArrayDatabase> &store = m_registry.mainUserDatabase();
    return store ? store->tableWithUid(uid) : nullptr;
}

void AddressViewController::tableContentsChanged(const QString &tableUID)
{
    if (!m_table || m_table->uid() != tableUID)
        return;
    const QList<ColumnRefPtr> &shown = m_rows->shownColumns();
    const QList<ColumnRefPtr> columns = m_table->columns();
    QSet<QString> shownUids;
    for (const ColumnRefPtr &column : shown)
        shownUids.insert(column->uid());
    const bool sameColumns = shown.size() == columns.size() &&
                             std::all_of(columns.cbegin(), columns.cend(),
                                         [&](const ColumnRefPtr &column) { return shownUids.contains(column->uid()); });
    if (sameColumns)
        m_rows->reload();
    else
        showColumns();
}

int AddressViewController::addRow()
{
    if (!m_table || !m_table->can(TableRef::Capability::NewRow) || !storedTable(m_table->uid()))
        return -1;
    const int before = m_undo->index();
    m_undo->push(new StoredRowAddCommand(*this, m_table->uid()));
    // Pushing ran the step; a step that made nothing was dropped at once.
    if (m_undo->index() == before)
        return -1;
    return static_cast<const StoredRowAddCommand *>(m_undo->command(m_undo->index() - 1))->rowIndex();
}

bool AddressViewController::removeRows(const QList<int> &rows)
{
    if (!m_table || rows.isEmpty() || !m_table->can(TableRef::Capability::RemoveRow) || !storedTable(m_table->uid()))
        return false;
    m_undo->push(new StoredRowsRemoveCommand(*this, m_table->uid(), rows));
    return true;
}

bool AddressViewController::setCell(int row, int column, const QVariant &value)
{
    const ColumnRefPtr target = m_rows->column(column);
    const RowRefPtr edited = m_table ? m_table->rowAtIndex(row) : nullptr;
    if (!target || !edited || edited->staticData() || !storedTable(m_table->uid()))
        return false;
    const QVariantMap before = edited->rawData();
    QVariantMap after = before;
    QVariantMap data = after.value(QStringLiteral("data")).toMap();
    if (data.value(target->uid()) == value)
        return true;
    data.insert(target->uid(), value);
    after.insert(QStringLiteral("data"), data);
    m_undo->push(new StoredRowChangeCommand(*this, m_table->uid(), before, after));
    return true;
}

void AddressViewController::sortByColumn(int column, bool ascending)
{
    const ColumnRefPtr key = m_rows->column(column);
    if (!m_table || !key)
        return;
    m_table->sortByColumn(*key, ascending);
    m_rows->reload();
}

TableRefPtr AddressViewController::addTable(const QString &name)
{
    const std::shared_ptr<PlainArrayDatabase> &store = m_registry.mainUserDatabase();
    const TableRefPtr table = store ? store->newTable() : nullptr;
    if (!table)
        return nullptr;
    {
        TableChangeBatch batch(table);
        table->setDisplayName(name);
        table->newColumn(QStringLiteral("E-Mail"));
        table->newColumn(QStringLiteral("Name"));
    }
    m_outline->reload();
    emit outlineChanged(table);
    return table;
}

bool AddressViewController::removeTable(const TableRefPtr &table)
{
    if (!table || !table->can(TableRef::Capability::Remove))
        return false;
    const QString question =
        Localizer::localizedString(
            "Project",
            "Remove the table \"%1\"? It holds %2 rows. The table and its file are deleted, and this cannot be undone.")
            .arg(table->displayName(), QString::number(table->numberOfRows()));
    if (!QuestionPresenter::current().confirm(m_window, Localizer::localizedString("Project", "Remove Table"), question,
                                              Localizer::localizedString("Project", "Remove")))
        return false;
    const QSet<QString> columns = columnUids(*table);
    if (m_table && m_table->uid() == table->uid()) {
        m_table.reset();
        showColumns();
    }
    table->removeFromDatabase();
    m_layout.forget(columns);
    m_outline->reload();
    emit outlineChanged(nullptr);
    return true;
}

bool AddressViewController::addColumn(const QString &name)
{
    if (!m_table || !m_table->can(TableRef::Capability::NewColumn) || !m_table->newColumn(name))
        return false;
    showColumns();
    return true;
}

bool AddressViewController::canRenameColumn(int column)
{
    if (m_rows->column(column))
        return true;
    DoDisplayAlertSheet_Loc(QStringLiteral("Project"), QStringLiteral("No Column Selected"),
                            QStringLiteral("No Column Selected description"), m_window);
    return false;
}

bool AddressViewController::renameColumn(int column, const QString &name)
{
    const ColumnRefPtr target = m_rows->column(column);
    if (!m_table || !target || !m_table->can(TableRef::Capability::RenameColumn) || !target->canRename())
        return false;
    const bool renamed = m_table->setNameOfColumn(*target, name);
    showColumns();
    return renamed;
}

bool AddressViewController::removeColumns(const QList<int> &columns)
{
    if (!m_table || !m_table->can(TableRef::Capability::RemoveColumn) || !storedTable(m_table->uid()))
        return false;
    QStringList uids;
    for (int index : columns) {
        if (const ColumnRefPtr column = m_rows->column(index))
            uids.append(column->uid());
    }
    if (uids.isEmpty())
        return false;
    // Where they stood is kept, so undo brings them back to their places.
    rememberColumnPositions();
    m_undo->push(new StoredColumnsRemoveCommand(*this, m_table->uid(), uids));
    return true;
}

TableRefPtr AddressViewController::importCSV_now(const QVariantMap &sheetResult)
{
    const std::shared_ptr<PlainArrayDatabase> &store = m_registry.mainUserDatabase();
    if (!store)
        return nullptr;
    const StoredTableImport::Result result = StoredTableImport::importRows(*store, sheetResult);
    m_outline->reload();
    emit outlineChanged(result.table);
    if (!result.table) {
        alert(Localizer::localizedString("Project", "Import Failed"),
              Localizer::localizedString("Project", "The stored table could not be made: %1").arg(result.error));
    } else if (result.valuesLeftOut > 0) {
        const QString leftOut = Localizer::localizedString(
            "Project", "A stored table has at most %1 columns. %2 values past the last column were not imported.");
        alert(Localizer::localizedString("Project", "Values Left Out"),
              leftOut.arg(QString::number(StoredTableImport::MaxColumns), QString::number(result.valuesLeftOut)));
    }
    return result.table;
}

QList<TableRefPtr> AddressViewController::importCorvantilineFiles(const QStringList &paths)
{
    QList<TableRefPtr> made;
    const std::shared_ptr<PlainArrayDatabase> &store = m_registry.mainUserDatabase();
    if (!store)
        return made;
    QStringList unreadable;
    for (const QString &path : paths) {
        const StoredTableImport::Result result = StoredTableImport::importProjectFile(*store, path);
        if (result.table)
            made.append(result.table);
        else
            unreadable.append(QStringLiteral("\u201C%1\u201D: %2").arg(QFileInfo(path).fileName(), result.error));
    }
    m_outline->reload();
    emit outlineChanged(made.isEmpty() ? nullptr : made.last());
    if (!unreadable.isEmpty()) {
        alert(Localizer::localizedString("Project", "Import Failed"),
              Localizer::localizedString("Project", "These files could not be imported:") + u'\n' +
                  unreadable.join(u'\n'));
    }
    return made;
}

void AddressViewController::importVCard()
{
    qInfo("Here i am: importVCard");
}

bool AddressViewController::exportCSV(const QString &path)
{
    if (!m_table)
        return false;
    const StoredTableExport::Result result = StoredTableExport::exportCSV(*m_table, path);
    if (!result.written) {
        const QString failed = Localizer::localizedString("Project", "The table could not be written to \"%1\": %2");
        alert(Localizer::localizedString("Project", "Export Failed"),
              failed.arg(QFileInfo(path).fileName(), result.error));
    } else if (result.valuesChanged > 0) {
        const QString replaced = Localizer::localizedString(
            "Project", "In %1 values a tab or a line break was replaced by a space, so that every row stays one line.");
        alert(Localizer::localizedString("Project", "Line Breaks Replaced"), replaced.arg(result.valuesChanged));
    }
    return result.written;
}

Document *AddressViewController::createNewMail(const QList<TableRefPtr> &tables)
{
    Document *document = DocumentController::sharedDocumentController().openUntitledDocument(false);
    if (!document)
        return nullptr;
    if (auto *mail = qobject_cast<MyDocument *>(document)) {
        for (const TableRefPtr &table : tables) {
            if (!table)
                continue;
            // The rows take the place of the assistant's default fields.
            mail->setCreateDefaultDoc(false);
            AddTableRefEntriesToDatabase(*table, mail->database(), m_layout.positions());
            mail->updateChangeCount(Document::ChangeDone);
        }
    }
    document->showWindows();
    return document;
}

void AddressViewController::alert(const QString &title, const QString &message) const
{
    AlertPresenter::current().beginAlertSheet(title, message, m_window);
}

void AddressViewController::setWindow(QWidget *window)
{
    m_window = window;
}
