#include "MailDispatchFilter.h"

#include "Values.h"

RecipientRows::RecipientRows(const Database::EntryList &entries, Database::ColumnMap mapping, int addressFieldNo)
    : m_mapping(std::move(mapping))
    , m_addressFieldNo(addressFieldNo)
{
    m_entries.reserve(entries.size());
    for (const Database::EntryRef &entry : entries)
        m_entries.append(std::make_shared<Database::Entry>(entry ? *entry : Database::Entry()));
}

std::shared_ptr<const RecipientRows> RecipientRows::fromDatabase(const Database &database)
{
    return std::make_shared<const RecipientRows>(database.entryArray(), database.fieldNameColumnIDMapping(),
                                                 database.addressFieldNo());
}

bool RecipientRows::isEntryActive(int row) const
{
    return row >= 0 && row < m_entries.size() && Database::entryActiveFlag(*m_entries.at(row));
}

QString RecipientRows::addressForEntry(int row) const
{
    if (m_addressFieldNo < 0 || row < 0 || row >= m_entries.size())
        return {};
    const QVariant value = m_entries.at(row)->value(Database::columnIdentifier(m_addressFieldNo));
    return isStringValue(value) ? value.toString() : QString();
}

MailDispatchFilter::MailDispatchFilter()
    : m_matcher(BlacklistManager::sharedManager().matcher())
{
}

MailDispatchFilter::MailDispatchFilter(std::shared_ptr<const BlacklistMatcher> matcher)
    : m_matcher(std::move(matcher))
{
}

bool MailDispatchFilter::testForAddress(const RecipientRows &rows, int row) const
{
    if (!rows.isEntryActive(row))
        return false;
    return !m_matcher || !m_matcher->isAddressInList(rows.addressForEntry(row));
}
