#include "PlainArrayRow.h"

#include "KeyedArchiver.h"
#include "PlainArrayTableCache.h"

#include <algorithm>

std::shared_ptr<PlainArrayRow> PlainArrayRow::fromRawData(const QVariantMap &raw)
{
    const QVariant data = raw.value(DataKey);
    return std::make_shared<PlainArrayRow>(raw.value(UidKey).toString(),
                                           data.typeId() == QMetaType::QVariantMap ? data.toMap() : QVariantMap());
}

PlainArrayRow::PlainArrayRow(const QString &uid, const QVariantMap &data) : m_cells(cellsOf(data)), m_uid(uid)
{
}

PlainArrayRow::Cells PlainArrayRow::cellsOf(const QVariantMap &data)
{
    Cells cells;
    cells.reserve(data.size());
    for (auto it = data.constBegin(); it != data.constEnd(); ++it)
        cells.append({it.key(), it.value()});
    return cells;
}

namespace {

bool sharesCharacters(const QString &a, const QString &b)
{
    return a.constData() == b.constData() && a.size() == b.size();
}

} // namespace

bool PlainArrayRow::isCellOf(Cells::const_iterator cell, const QString &columnUid) const
{
    return cell != m_cells.cend() && (sharesCharacters(cell->first, columnUid) || cell->first == columnUid);
}

PlainArrayRow::Cells::const_iterator PlainArrayRow::findCell(const QString &columnUid) const
{
    // A row's keys are nearly always the very strings of its table's column
    // uids: in a row of a few cells, finding the shared characters is
    // cheaper than comparing uids that begin alike for a dozen characters.
    if (m_cells.size() <= 16) {
        for (auto cell = m_cells.cbegin(); cell != m_cells.cend(); ++cell) {
            if (sharesCharacters(cell->first, columnUid))
                return cell;
        }
    }
    return std::lower_bound(m_cells.cbegin(), m_cells.cend(), columnUid,
                            [](const auto &cell, const QString &uid) { return cell.first < uid; });
}

std::shared_ptr<PlainArrayTableCache> PlainArrayRow::editableMaster() const
{
    std::shared_ptr<PlainArrayTableCache> master = m_master.lock();
    return master && !master->isReadOnly() ? master : nullptr;
}

bool PlainArrayRow::staticData() const
{
    return !editableMaster();
}

QVariant PlainArrayRow::dataForColumn(const ColumnRef &column) const
{
    const QString uid = column.uid();
    const auto cell = findCell(uid);
    return isCellOf(cell, uid) ? cell->second : QVariant(QStringLiteral(""));
}

bool PlainArrayRow::setData(const QVariant &value, const ColumnRef &column)
{
    const std::shared_ptr<PlainArrayTableCache> master = editableMaster();
    if (!master)
        return false;
    const QString uid = column.uid();
    const auto cell = findCell(uid);
    if (isCellOf(cell, uid))
        m_cells[cell - m_cells.cbegin()].second = value;
    else
        m_cells.insert(cell - m_cells.cbegin(), {uid, value});
    master->contentsChanged();
    return true;
}

QVariantMap PlainArrayRow::rawData() const
{
    QVariantMap data;
    for (const auto &[uid, value] : m_cells)
        data.insert(uid, value);
    return {{DataKey, data}, {UidKey, m_uid}};
}

bool PlainArrayRow::setRawData(const QVariantMap &raw)
{
    const std::shared_ptr<PlainArrayTableCache> master = editableMaster();
    if (!master)
        return false;
    const std::shared_ptr<PlainArrayRow> copy = fromRawData(raw);
    m_cells = copy->m_cells;
    m_uid = copy->m_uid;
    master->contentsChanged();
    return true;
}

void PlainArrayRow::encodeWithCoder(KeyedArchiver &coder) const
{
    coder.encodeDictionary(m_cells, DataKey);
    coder.encodeSharedString(m_uid, UidKey);
}
