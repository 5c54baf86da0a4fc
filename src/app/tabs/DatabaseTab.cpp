#include "DatabaseTab.h"

#include "Database.h"
#include "Localizer.h"
#include "Values.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QLocale>
#include <QTableView>
#include <QVBoxLayout>

#include <cmath>

namespace {

// Widths come from files; a column must stay visible and grabbable.
constexpr double MinColumnWidth = 10;
constexpr double MaxColumnWidth = 4000;

const QStringList DefaultFieldNames = {QStringLiteral("e-mail"), QStringLiteral("first name"),
                                       QStringLiteral("last name")};

} // namespace

// Columns are identified as the table view's columns are: the model keeps
// the identifier and header of each logical column, the header view their
// order and widths.
class DatabaseTab::Model : public QAbstractTableModel {
public:
    explicit Model(QObject *parent) : QAbstractTableModel(parent)
    {
        m_ids = {RowIndexColumn, Database::ActiveKey, Database::LastSentKey};
        m_headers = {QStringLiteral("#"), QString(), Localizer::localizedString("Localized-Database", "Last Sent")};
        for (int i = 0; i < LoadedFieldColumnCount; ++i) {
            m_ids << Database::columnIdentifier(i);
            m_headers << QString();
        }
    }

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : m_rows; }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_ids.size()); }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!m_database || !index.isValid() || index.row() >= m_database->entryCount())
            return {};
        const int row = index.row();
        const QString &id = m_ids.at(index.column());
        if (id == Database::ActiveKey)
            return role == Qt::CheckStateRole ? QVariant(m_database->isEntryActive(row) ? Qt::Checked : Qt::Unchecked)
                                              : QVariant();
        if (role != Qt::DisplayRole)
            return {};
        if (id == RowIndexColumn)
            return row + 1;
        if (id == Database::LastSentKey) {
            const QDateTime sent = m_database->lastSentDate(row);
            return sent.isValid() ? QLocale().toString(sent.toLocalTime(), QLocale::ShortFormat) : QString();
        }
        return m_database->entryValue(row, id);
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= m_ids.size())
            return QAbstractTableModel::headerData(section, orientation, role);
        return m_headers.at(section);
    }

    void setDatabase(Database *database)
    {
        beginResetModel();
        m_database = database;
        m_rows = database ? database->entryCount() : 0;
        endResetModel();
    }

    void appendColumn(const QString &id)
    {
        const int column = int(m_ids.size());
        beginInsertColumns({}, column, column);
        m_ids << id;
        m_headers << QString();
        endInsertColumns();
    }

    void setIdentifier(int column, const QString &id) { m_ids[column] = id; }
    [[nodiscard]] const QString &identifier(int column) const { return m_ids.at(column); }
    void setHeader(int column, const QString &header) { m_headers[column] = header; }

    // Rows inserted or removed in place, never a reset: a reset would
    // forget the header view's widths and column order.
    void reload()
    {
        const int rows = m_database ? m_database->entryCount() : 0;
        if (rows > m_rows) {
            beginInsertRows({}, m_rows, rows - 1);
            m_rows = rows;
            endInsertRows();
        } else if (rows < m_rows) {
            beginRemoveRows({}, rows, m_rows - 1);
            m_rows = rows;
            endRemoveRows();
        }
        if (m_rows > 0)
            emit dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1));
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    }

private:
    Database *m_database = nullptr;
    QStringList m_ids;
    QStringList m_headers;
    int m_rows = 0;
};

DatabaseTab::DatabaseTab(QWidget *parent)
    : QWidget(parent), m_tableView(new QTableView(this)), m_model(new Model(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tableView);
    m_tableView->setModel(m_model);
    m_tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tableView->verticalHeader()->hide();
    m_tableView->horizontalHeader()->setSectionsMovable(true);
    for (int column = FixedColumnCount; column < m_model->columnCount(); ++column)
        m_tableView->setColumnWidth(column, FieldColumnWidth);
}

DatabaseTab::~DatabaseTab() = default;

void DatabaseTab::setDatabase(Database *database)
{
    m_database = database;
    m_model->setDatabase(database);
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
    if (m_database)
        m_database->setAddressFieldNo(fieldIndex);
}

int DatabaseTab::columnCount() const
{
    return m_model->columnCount();
}

QString DatabaseTab::columnIdentifierAt(int visualIndex) const
{
    const int logical = m_tableView->horizontalHeader()->logicalIndex(visualIndex);
    return logical < 0 ? QString() : m_model->identifier(logical);
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
    // Columns only grow: a removed field's column stays, empty.
    while (m_model->columnCount() < m_database->columnCount() + FixedColumnCount) {
        m_model->appendColumn(Database::columnIdentifier(m_model->columnCount() - FixedColumnCount));
        m_tableView->setColumnWidth(m_model->columnCount() - 1, FieldColumnWidth);
    }
    const QString addressID = Database::columnIdentifier(m_database->addressFieldNo());
    for (int column = 0; column < m_model->columnCount(); ++column) {
        const QString &id = m_model->identifier(column);
        const QString name = m_database->fieldNameForColumnID(id);
        if (name.isNull())
            continue;
        m_model->setHeader(column, id == addressID ? QStringLiteral("[ %1 ]").arg(name) : name);
    }
    m_model->reload();
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
    QHeaderView *header = m_tableView->horizontalHeader();
    const int fieldColumns = m_model->columnCount() - FixedColumnCount;

    const QVariant widthInfo = data->value(ColumnWidthInfoKey);
    if (widthInfo.typeId() == QMetaType::QVariantList) {
        const QVariantList widths = widthInfo.toList();
        for (int i = 0; i < std::min<qsizetype>(widths.size(), fieldColumns); ++i) {
            if (!isNumberValue(widths.at(i)))
                continue;
            const double width = doubleValue(widths.at(i));
            if (!std::isfinite(width))
                continue;
            header->resizeSection(header->logicalIndex(i + FixedColumnCount),
                                  int(std::clamp(width, MinColumnWidth, MaxColumnWidth)));
        }
    }
    const QVariant identifierInfo = data->value(ColumnIdentifiersKey);
    if (identifierInfo.typeId() == QMetaType::QVariantList || identifierInfo.typeId() == QMetaType::QStringList) {
        const QVariantList identifiers = identifierInfo.toList();
        for (int i = 0; i < std::min<qsizetype>(identifiers.size(), fieldColumns); ++i) {
            if (isStringValue(identifiers.at(i)) && !identifiers.at(i).toString().isEmpty())
                m_model->setIdentifier(header->logicalIndex(i + FixedColumnCount), identifiers.at(i).toString());
        }
    }
    if (m_database)
        m_database->readFileData(*data);
    refreshData();
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
