#include "BlacklistSettings.h"

#include "BoundedFile.h"
#include "SettingsPanels.h"

#include "AlertPresenter.h"
#include "BlacklistManager.h"
#include "Localizer.h"
#include "MessageTemplate.h"

#include <QHash>

BlacklistSettings::BlacklistSettings(BlacklistManager &manager, QObject *parent)
    : QAbstractTableModel(parent), m_manager(manager), m_rows(manager.addressList())
{
}

const QStringList &BlacklistSettings::importSuffixes()
{
    static const QStringList suffixes{"csv", "txt", "tab", "TEXT", "tsv"};
    return suffixes;
}

int BlacklistSettings::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int BlacklistSettings::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant BlacklistSettings::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    if (index.column() == NumberColumn && role == Qt::DisplayRole)
        return QString::number(index.row() + 1);
    if (index.column() == NumberColumn && role == Qt::TextAlignmentRole)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (index.column() == AddressColumn && (role == Qt::DisplayRole || role == Qt::EditRole))
        return m_rows.at(index.row());
    return {};
}

QVariant BlacklistSettings::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == NumberColumn ? Localizer::localizedString("Localized-Settings", "BLACKLIST_NUMBER_COLUMN")
                                   : Localizer::localizedString("Localized-Settings", "BLACKLIST_ADDRESS_COLUMN");
}

Qt::ItemFlags BlacklistSettings::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.column() == AddressColumn)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool BlacklistSettings::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || index.column() != AddressColumn || index.row() >= m_rows.size())
        return false;
    const QString address = value.toString();
    const int row = index.row();
    if (address == m_rows.at(row))
        return true;
    const int at = managerIndex(row);
    if (at < 0)
        return false;
    m_manager.replaceAddressAtIndex(at, address);
    m_manager.refreshSet();
    m_rows[row] = address;
    emit dataChanged(index, index);
    return true;
}

int BlacklistSettings::addAddress()
{
    const int row = int(m_rows.size());
    beginInsertRows({}, row, row);
    m_manager.addAddresses({QStringLiteral("")});
    m_rows.append(QStringLiteral(""));
    endInsertRows();
    return row;
}

void BlacklistSettings::removeAddresses(const QList<int> &rows)
{
    // Equal entries are alike: any of them may go for a row that shows one.
    QHash<QString, int> wanted;
    QList<bool> removedRow(m_rows.size(), false);
    for (const int row : rows) {
        if (row >= 0 && row < m_rows.size() && !removedRow[row]) {
            removedRow[row] = true;
            ++wanted[m_rows.at(row)];
        }
    }
    if (wanted.isEmpty())
        return;
    QList<int> indexes;
    const QStringList &entries = m_manager.addressList();
    for (int i = 0; i < entries.size(); ++i) {
        const auto it = wanted.find(entries.at(i));
        if (it != wanted.end() && *it > 0) {
            --*it;
            indexes.append(i);
        }
    }
    beginResetModel();
    m_manager.removeAddressesAtIndexes(indexes);
    m_manager.refreshSet();
    QStringList kept;
    kept.reserve(m_rows.size() - indexes.size());
    for (qsizetype row = 0; row < m_rows.size(); ++row) {
        if (!removedRow[row])
            kept.append(m_rows.at(row));
    }
    m_rows = std::move(kept);
    endResetModel();
}

int BlacklistSettings::managerIndex(int row) const
{
    return int(m_manager.addressList().indexOf(m_rows.at(row)));
}

void BlacklistSettings::addAddressesFromFile(QWidget *window)
{
    const QString path = SettingsPanels::current().openFile(window, importSuffixes());
    if (path.isEmpty())
        return;
    QString error;
    if (!importFile(path, &error)) {
        AlertPresenter::current().beginAlertSheet(
            Localizer::localizedString("Localized-Settings", "BLACKLIST_IMPORT_FAILED_TITLE"),
            Localizer::localizedString("Localized-Settings", "BLACKLIST_IMPORT_FAILED_MESSAGE").arg(path)
                + QStringLiteral("\n\n") + error,
            window);
    }
}

bool BlacklistSettings::importFile(const QString &path, QString *error)
{
    const std::optional<QByteArray> bytes = BoundedFile::read(path, MaxImportBytes, error);
    if (!bytes)
        return false;
    m_manager.addAddresses(linesOf(MessageTemplate::decodeText(*bytes)));
    reloadAll();
    return true;
}

QStringList BlacklistSettings::linesOf(const QString &text)
{
    if (text.isEmpty())
        return {};
    // A file edited on several systems mixes its line ends: each of CR LF,
    // LF and CR ends a line, so no entry holds two addresses.
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\n' && c != u'\r')
            continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    lines.append(text.mid(start));
    if (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void BlacklistSettings::reloadAll()
{
    beginResetModel();
    m_rows = m_manager.addressList();
    endResetModel();
}
