#include "BlacklistSettings.h"

#include "BoundedFile.h"
#include "SettingsPanels.h"

#include "AlertPresenter.h"
#include "BlacklistManager.h"
#include "Localizer.h"
#include "MessageTemplate.h"

BlacklistSettings::BlacklistSettings(BlacklistManager &manager, QObject *parent)
    : QAbstractTableModel(parent), m_manager(manager)
{
}

const QStringList &BlacklistSettings::importSuffixes()
{
    static const QStringList suffixes{"csv", "txt", "tab", "TEXT", "tsv"};
    return suffixes;
}

int BlacklistSettings::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_manager.addressCount();
}

int BlacklistSettings::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant BlacklistSettings::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_manager.addressCount())
        return {};
    if (index.column() == NumberColumn && role == Qt::DisplayRole)
        return QString::number(index.row() + 1);
    if (index.column() == NumberColumn && role == Qt::TextAlignmentRole)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (index.column() == AddressColumn && (role == Qt::DisplayRole || role == Qt::EditRole))
        return m_manager.addressAtIndex(index.row());
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
    if (role != Qt::EditRole || index.column() != AddressColumn || index.row() >= m_manager.addressCount())
        return false;
    m_manager.replaceAddressAtIndex(index.row(), value.toString());
    // The entry may have moved anywhere: a row-only update would leave the
    // others showing, and the next edit reaching, entries that moved.
    reloadAll();
    return true;
}

int BlacklistSettings::addAddress()
{
    m_manager.addAddresses({QStringLiteral("")});
    reloadAll();
    // Empty entries sort first, and the new one after those there were.
    int row = 0;
    while (row + 1 < m_manager.addressCount() && m_manager.addressAtIndex(row + 1).isEmpty())
        ++row;
    return row;
}

void BlacklistSettings::removeAddresses(const QList<int> &rows)
{
    m_manager.removeAddressesAtIndexes(rows);
    reloadAll();
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
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (lines.size() < 2)
        lines = text.split(u'\n');
    if (lines.size() < 2)
        lines = text.split(u'\r');
    if (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void BlacklistSettings::reloadAll()
{
    beginResetModel();
    endResetModel();
}
