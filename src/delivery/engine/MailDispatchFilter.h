#pragma once

// The recipients of a send run as the worker reads them, and the filter
// that decides which of them get a message.

#include "BlacklistManager.h"
#include "Database.h"

#include <memory>

// The rows of a recipient table, taken on the main thread at the start of a
// run. The entries are copies of their own: the last-sent stamps that the
// main thread writes into the live entries during the run never reach them.
class RecipientRows {
public:
    RecipientRows() = default;
    RecipientRows(const Database::EntryList &entries, Database::ColumnMap mapping, int addressFieldNo);
    // Main thread.
    [[nodiscard]] static std::shared_ptr<const RecipientRows> fromDatabase(const Database &database);

    [[nodiscard]] int entryCount() const { return int(m_entries.size()); }
    [[nodiscard]] const Database::EntryList &entries() const { return m_entries; }
    [[nodiscard]] const Database::ColumnMap &mapping() const { return m_mapping; }
    // As the table answers them: rows outside read as inactive, without address.
    [[nodiscard]] bool isEntryActive(int row) const;
    [[nodiscard]] QString addressForEntry(int row) const;

private:
    Database::EntryList m_entries;
    Database::ColumnMap m_mapping;
    int m_addressFieldNo = -1;
};

class MailDispatchFilter {
public:
    // The blacklist as last saved, held for the whole run.
    MailDispatchFilter();
    explicit MailDispatchFilter(std::shared_ptr<const BlacklistMatcher> matcher);

    // Active and not blacklisted; an inactive row is refused without
    // asking the blacklist. Any thread.
    [[nodiscard]] bool testForAddress(const RecipientRows &rows, int row) const;

private:
    std::shared_ptr<const BlacklistMatcher> m_matcher;
};
