#include "PlainArrayRow.h"

#include "KeyedArchiver.h"
#include "PlainArrayTableCache.h"

std::shared_ptr<PlainArrayRow> PlainArrayRow::fromRawData(const QVariantMap &raw)
{
    const QVariant data = raw.value(DataKey);
    return std::make_shared<PlainArrayRow>(raw.value(UidKey).toString(),
                                           data.typeId() == QMetaType::QVariantMap ? data.toMap() : QVariantMap());
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
    return m_data.value(column.uid(), QStringLiteral(""));
}

bool PlainArrayRow::setData(const QVariant &value, const ColumnRef &column)
{
    const std::shared_ptr<PlainArrayTableCache> master = editableMaster();
    if (!master)
        return false;
    m_data.insert(column.uid(), value);
    master->contentsChanged();
    return true;
}

QVariantMap PlainArrayRow::rawData() const
{
    return {{DataKey, m_data}, {UidKey, m_uid}};
}

bool PlainArrayRow::setRawData(const QVariantMap &raw)
{
    const std::shared_ptr<PlainArrayTableCache> master = editableMaster();
    if (!master)
        return false;
    const std::shared_ptr<PlainArrayRow> copy = fromRawData(raw);
    m_data = copy->m_data;
    m_uid = copy->m_uid;
    master->contentsChanged();
    return true;
}

void PlainArrayRow::encodeWithCoder(KeyedArchiver &coder) const
{
    coder.encodeObject(m_data, DataKey);
    coder.encodeObject(m_uid, UidKey);
}
