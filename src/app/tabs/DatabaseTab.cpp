#include "DatabaseTab.h"

#include "ColumnLayout.h"
#include "RecipientCommands.h"
#include "RecipientTableModel.h"

#include "FindPanel.h"

#include "MyDocument.h"

#include "Database.h"

#include "Alerts.h"
#include "Localizer.h"
#include "Values.h"

#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QMenu>
#include <QTableView>
#include <QVBoxLayout>

namespace {

const QStringList DefaultFieldNames = {QStringLiteral("e-mail"), QStringLiteral("first name"),
                                       QStringLiteral("last name")};

bool isSlotIdentifier(const QString &id)
{
    const int slot = Database::columnIndexFromIdentifier(id);
    return slot >= 0 && slot < Database::MaxColumnCount && Database::columnIdentifier(slot) == id;
}

} // namespace

DatabaseTab::DatabaseTab(QWidget *parent)
    : QWidget(parent), m_tableView(new QTableView(this)), m_model(new RecipientTableModel(LoadedFieldColumnCount, this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tableView);
    m_tableView->setModel(m_model);
    m_tableView->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                                 | QAbstractItemView::AnyKeyPressed);
    m_tableView->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_tableView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tableView->setWordWrap(false);
    m_tableView->verticalHeader()->hide();
    m_tableView->setDragDropMode(QAbstractItemView::DropOnly);
    m_tableView->setDragDropOverwriteMode(false);
    m_tableView->setDropIndicatorShown(true);
    m_tableView->setAcceptDrops(true);
    m_model->setEditor([this](int row, const QString &id, const QVariant &value) {
        return m_commands && m_commands->editCell(row, id, value);
    });
    m_model->setDropper([this](const QMimeData *data, int row) { return acceptDrop(data, row); });
    m_model->setLocked([this] { return isRunActive(); });

    QHeaderView *header = m_tableView->horizontalHeader();
    header->setSectionsMovable(true);
    // Bold headers stand for the selected columns, not for the current cell's.
    header->setHighlightSections(false);
    // A click on a header selects the column for the column commands
    // without touching the selected rows, so that a sort by double click
    // keeps them.
    disconnect(header, SIGNAL(sectionPressed(int)), m_tableView, SLOT(selectColumn(int)));
    disconnect(header, SIGNAL(sectionEntered(int)), m_tableView, SLOT(_q_selectColumn(int)));
    connect(header, &QHeaderView::sectionClicked, this, [this](int logical) {
        selectColumn(logical, QApplication::keyboardModifiers() & (Qt::ControlModifier | Qt::MetaModifier));
    });
    // A double click on a section's edge resizes it and is reported apart.
    connect(header, &QHeaderView::sectionDoubleClicked, this, &DatabaseTab::tableHeaderDoubleClicked);
    connect(m_tableView, &QAbstractItemView::pressed, this, [this] {
        m_selectedColumns.clear();
        m_model->setSelectedColumns({});
    });
    for (int column = FixedColumnCount; column < m_model->columnCount(); ++column)
        m_tableView->setColumnWidth(column, FieldColumnWidth);
    sizeFixedColumns();
    createActions();
    m_tableView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_tableView, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        runStateChanged();
        m_menu->popup(m_tableView->viewport()->mapToGlobal(at));
    });
}

DatabaseTab::~DatabaseTab() = default;

void DatabaseTab::sizeFixedColumns()
{
    const QFontMetrics metrics = m_tableView->fontMetrics();
    const QFontMetrics headerMetrics = m_tableView->horizontalHeader()->fontMetrics();
    const auto headerWidth = [&](int column) {
        return headerMetrics.horizontalAdvance(m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString())
               + 24;
    };
    m_tableView->setColumnWidth(0, std::max(metrics.horizontalAdvance(QStringLiteral("0000000")) + 12, headerWidth(0)));
    m_tableView->setColumnWidth(1, std::max(metrics.height() + 16, headerWidth(1)));
    m_tableView->setColumnWidth(2, std::max(metrics.horizontalAdvance(QStringLiteral("0000-00-00 00:00")) + 16,
                                            headerWidth(2)));
    m_tableView->verticalHeader()->setDefaultSectionSize(metrics.height() + 6);
    m_tableView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
}

void DatabaseTab::setDatabase(Database *database)
{
    m_database = database;
    m_model->setDatabase(database);
    setUpCommands();
}

void DatabaseTab::setDocument(MyDocument *document)
{
    m_document = document;
    setUpCommands();
}

void DatabaseTab::setUpCommands()
{
    delete m_commands;
    m_commands = nullptr;
    if (!m_database)
        return;
    m_commands = new RecipientCommands(m_database, m_document ? m_document->undoManager() : nullptr, this);
    m_commands->setRunActiveQuery([this] { return isRunActive(); });
    m_commands->setMessage(m_document ? &m_document->messageTab() : nullptr);
    connect(m_commands, &RecipientCommands::entriesReplaced, m_model, &RecipientTableModel::entriesReplaced);
    connect(m_commands, &RecipientCommands::documentEdited, this, &DatabaseTab::documentEdited);
    connect(m_commands, &RecipientCommands::fieldColumnPlacement, this, &DatabaseTab::placeFieldColumn);
    connect(m_commands, &RecipientCommands::alert, this, &DatabaseTab::showAlert);
    connect(m_commands, &RecipientCommands::tagNameChanged, this,
            [this](const QString &oldName, const QString &newName) {
        if (!m_document)
            return;
        m_document->messageTab().tagNameChanged(oldName, newName);
    });
}

bool DatabaseTab::isRunActive() const
{
    return m_document && m_document->isRunActive();
}

void DatabaseTab::runStateChanged()
{
    const bool enabled = !isRunActive();
    for (QAction *action : std::as_const(m_tableActions))
        action->setEnabled(enabled);
}

void DatabaseTab::showAlert(const QString &titleKey, const QString &textKey, const QString &detail)
{
    if (detail.isEmpty())
        DoDisplayAlertSheet_Loc(QStringLiteral("Localized-Database"), titleKey, textKey, window());
    else
        DoDisplayExtendedAlertSheet(Localizer::localizedString(QStringLiteral("Localized-Database"), titleKey),
                                    Localizer::localizedString(QStringLiteral("Localized-Database"), textKey), detail,
                                    window());
}

int DatabaseTab::dataFieldCount() const
{
    return m_database ? m_database->fieldCount() : 0;
}

QString DatabaseTab::dataFieldName(int index) const
{
    return m_database ? m_database->fieldNameAtIndex(index) : QString();
}

int DatabaseTab::addressCount() const
{
    return m_database ? m_database->entryCount() : 0;
}

QString DatabaseTab::addressForRow(int row) const
{
    return m_database ? m_database->addressForEntry(row) : QString();
}

void DatabaseTab::setAddressColumnToColumn(int fieldIndex)
{
    // The table takes a slot; a field index counts named slots only.
    if (!m_database)
        return;
    const QString id = m_database->columnIDForFieldIndex(fieldIndex);
    if (!id.isNull())
        m_database->setAddressFieldNo(Database::columnIndexFromIdentifier(id));
}

int DatabaseTab::columnCount() const
{
    return m_model->columnCount();
}

int DatabaseTab::logicalColumnAt(int visualIndex) const
{
    if (visualIndex < 0 || visualIndex >= m_model->columnCount())
        return -1;
    return m_tableView->horizontalHeader()->logicalIndex(visualIndex);
}

QString DatabaseTab::columnIdentifierAt(int visualIndex) const
{
    const int logical = logicalColumnAt(visualIndex);
    return logical < 0 ? QString() : m_model->identifier(logical);
}

int DatabaseTab::logicalColumnOf(const QString &columnID) const
{
    return m_model->columnOf(columnID);
}

QList<int> DatabaseTab::selectedRows() const
{
    QList<int> rows;
    const QItemSelection selection = m_tableView->selectionModel()->selection();
    for (const QItemSelectionRange &range : selection) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

QList<int> DatabaseTab::selectedColumns() const
{
    QList<int> columns = m_selectedColumns;
    const QHeaderView *header = m_tableView->horizontalHeader();
    std::sort(columns.begin(), columns.end(),
              [header](int a, int b) { return header->visualIndex(a) < header->visualIndex(b); });
    return columns;
}

QString DatabaseTab::selectedColumnIdentifier() const
{
    const QList<int> columns = selectedColumns();
    return columns.isEmpty() ? QString() : m_model->identifier(columns.first());
}

int DatabaseTab::selectedFieldColumn() const
{
    const QString id = selectedColumnIdentifier();
    return isSlotIdentifier(id) ? Database::columnIndexFromIdentifier(id) : -1;
}

void DatabaseTab::selectColumn(int logicalColumn, bool addToSelection)
{
    if (logicalColumn < 0 || logicalColumn >= m_model->columnCount())
        return;
    if (!addToSelection)
        m_selectedColumns = {logicalColumn};
    else if (m_selectedColumns.contains(logicalColumn))
        m_selectedColumns.removeAll(logicalColumn);
    else
        m_selectedColumns.append(logicalColumn);
    m_model->setSelectedColumns(QSet<int>(m_selectedColumns.cbegin(), m_selectedColumns.cend()));
}

bool DatabaseTab::createAssistantDoc(Database &database)
{
    for (int row = 0; row < database.entryCount(); ++row) {
        for (int slot = 0; slot < DefaultFieldNames.size(); ++slot) {
            if (!database.entryValue(row, Database::columnIdentifier(slot)).isEmpty())
                return false;
        }
    }
    for (int slot = 0; slot < DefaultFieldNames.size(); ++slot)
        database.changeFieldNameTo(DefaultFieldNames.at(slot), Database::columnIdentifier(slot));
    database.setAddressFieldNo(0);
    database.postUpdatedNotification();
    return true;
}

void DatabaseTab::createAssistantDoc()
{
    if (m_database)
        createAssistantDoc(*m_database);
}

void DatabaseTab::willBeSelected()
{
    refreshData();
}

void DatabaseTab::databaseUpdatedNotification()
{
    refreshData();
}

void DatabaseTab::fieldNameChangedNotification()
{
    refreshData();
}

void DatabaseTab::refreshData()
{
    if (!m_database)
        return;
    addMissingColumns();
    const QString addressID = Database::columnIdentifier(m_database->addressFieldNo());
    for (int column = 0; column < m_model->columnCount(); ++column) {
        const QString &id = m_model->identifier(column);
        if (!isSlotIdentifier(id))
            continue;
        const QString name = m_database->fieldNameForColumnID(id);
        if (name.isNull())
            continue;
        m_model->setHeader(column, id == addressID ? QStringLiteral("[ %1 ]").arg(name) : name);
    }
    m_model->reload();
}

void DatabaseTab::addMissingColumns()
{
    // By identifier, not by the number of columns: once columns carry stored
    // identifiers, their count no longer says which slots are shown.
    // Columns only grow: a removed field's column stays, empty.
    for (int slot = 0; slot < m_database->columnCount(); ++slot) {
        const QString id = Database::columnIdentifier(slot);
        if (m_model->columnOf(id) >= 0)
            continue;
        m_model->appendColumn(id);
        m_tableView->setColumnWidth(m_model->columnCount() - 1, FieldColumnWidth);
    }
}

void DatabaseTab::placeFieldColumn(const QString &columnID, int visualPosition)
{
    const int logical = logicalColumnOf(columnID);
    if (logical < 0)
        return;
    QHeaderView *header = m_tableView->horizontalHeader();
    const int last = header->count() - 1;
    const int to = visualPosition < FixedColumnCount || visualPosition > last ? last : visualPosition;
    header->moveSection(header->visualIndex(logical), to);
}

QVariantMap DatabaseTab::fileData() const
{
    return withColumnLayout(m_database ? m_database->fileData() : QVariantMap());
}

QVariantMap DatabaseTab::archiveData() const
{
    return withColumnLayout(m_database ? m_database->archiveData() : QVariantMap());
}

QVariantMap DatabaseTab::withColumnLayout(const QVariantMap &tablePart) const
{
    QVariantList widths;
    QStringList identifiers;
    const QHeaderView *header = m_tableView->horizontalHeader();
    for (int visual = 0; visual < m_model->columnCount(); ++visual) {
        const int logical = header->logicalIndex(visual);
        const QString &id = m_model->identifier(logical);
        // The slot identifiers are digits and sort before the fixed columns' names.
        if (id.compare(QLatin1String("a")) >= 0)
            continue;
        widths << QVariant(float(header->sectionSize(logical)));
        identifiers << id;
    }
    QVariantMap data;
    data.insert(ColumnWidthInfoKey, widths);
    data.insert(ColumnIdentifiersKey, identifiers);
    for (auto it = tablePart.constBegin(); it != tablePart.constEnd(); ++it)
        data.insert(it.key(), it.value());
    return data;
}

void DatabaseTab::readFileData(const std::optional<QVariantMap> &data)
{
    if (!data)
        return;
    // The table first: its slots decide which columns there are to arrange,
    // also those beyond the ones the window was loaded with.
    if (m_database) {
        m_database->readFileData(*data);
        addMissingColumns();
    }
    applyColumnLayout(data->value(ColumnIdentifiersKey), data->value(ColumnWidthInfoKey));
    refreshData();
}

void DatabaseTab::applyColumnLayout(const QVariant &identifiers, const QVariant &widths)
{
    // The field columns are given their identifiers in the stored order, in
    // the places the view shows field columns; fixed columns keep theirs.
    QHeaderView *header = m_tableView->horizontalHeader();
    QList<int> columns;
    QStringList shown;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (isSlotIdentifier(m_model->identifier(logical))) {
            columns << logical;
            shown << m_model->identifier(logical);
        }
    }
    const QList<ColumnLayout::Column> layout = ColumnLayout::restored(identifiers, widths, shown);
    QStringList ids;
    ids.reserve(layout.size());
    for (const ColumnLayout::Column &column : layout)
        ids << column.id;
    if (!m_model->setIdentifiers(columns, ids))
        return;
    for (qsizetype i = 0; i < layout.size(); ++i) {
        if (layout.at(i).width)
            header->resizeSection(columns.at(i), *layout.at(i).width);
        else if (ids.at(i) != shown.at(i))
            header->resizeSection(columns.at(i), FieldColumnWidth);
    }
    // Selected columns are logical ones, which may now show other fields.
    m_selectedColumns.clear();
    m_model->setSelectedColumns({});
}

void DatabaseTab::readDataString(const QString &string)
{
    if (!m_database)
        return;
    const QStringList parts = string.split(QStringLiteral("/#+D2+#/"));
    const int addressColumn = intValue(parts.first());
    if (addressColumn >= 0 && addressColumn < m_database->columnCount())
        m_database->setAddressFieldNo(addressColumn);

    QList<QStringList> columns;
    if (parts.size() > 1) {
        const QStringList pieces = parts.at(1).split(QStringLiteral("/#+D3+#/"));
        // The piece after the last separator is no column.
        for (qsizetype c = 0; c + 1 < pieces.size(); ++c)
            columns << pieces.at(c).split(QStringLiteral("/#+D4+#/"));
    }
    qsizetype rows = 0;
    for (const QStringList &column : columns)
        rows = std::max(rows, column.size());
    for (qsizetype row = 0; row < rows; ++row) {
        QStringList values;
        values.reserve(columns.size());
        for (const QStringList &column : columns)
            values << column.value(row, QStringLiteral(""));
        m_database->addEntryWithData(int(row), values);
    }
    refreshData();
}

bool DatabaseTab::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_watchedWindow && event->type() == QEvent::WindowActivate)
        FindPanel::setTarget(this);
    return QWidget::eventFilter(watched, event);
}

void DatabaseTab::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_watchedWindow != window()) {
        if (m_watchedWindow)
            m_watchedWindow->removeEventFilter(this);
        m_watchedWindow = window();
        m_watchedWindow->installEventFilter(this);
    }
    if (window()->isActiveWindow() || !FindPanel::target())
        FindPanel::setTarget(this);
}
