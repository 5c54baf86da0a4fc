#pragma once

// Turns a tagged text into one recipient's text. Bound to the rows and the
// field mapping of a recipient table as they were when it was made (the
// lists are shared, not copied), so it may be used on a worker thread while
// the table's owner goes on; each thread uses its own personaliser.

#include "ContentIdNames.h"
#include "MessageData.h"

#include "Database.h"
#include "RichText.h"

#include <memory>

class Personalizer {
public:
    explicit Personalizer(const Database &database);
    Personalizer(Database::EntryList entries, Database::ColumnMap mapping);

    void setAddressNumber(int row) { m_addressNo = row; }
    [[nodiscard]] int addressNumber() const { return m_addressNo; }
    void setUseLocalPath(bool useLocalPath) { m_useLocalPath = useLocalPath; }
    [[nodiscard]] bool useLocalPath() const { return m_useLocalPath; }
    // A null string: no message id.
    void setMessageId(const QString &messageId) { m_messageId = messageId; }
    [[nodiscard]] const QString &messageId() const { return m_messageId; }
    // The names of the message's inline files in content-id references;
    // none: each file's plain name.
    void setContentIdNames(std::shared_ptr<const ContentIdNames> names) { m_contentIdNames = std::move(names); }
    [[nodiscard]] const ContentIdNames *contentIdNames() const { return m_contentIdNames.get(); }

    [[nodiscard]] int entryCount() const { return int(m_entries.size()); }
    [[nodiscard]] const Database::ColumnMap &mapping() const { return m_mapping; }

    // The text for the current row: each tag's value followed by the tag
    // character itself. Throws AppException (invalid argument, "Address id
    // not in valid range") when the row is not in the table.
    [[nodiscard]] RichText personalizeAttributedString(const RichText &text) const;
    // The same for explicit data; entry, mapping and message data may each be null.
    [[nodiscard]] static RichText personalizeAttributedString(const RichText &text, const DatabaseEntry *entry,
                                                              const Database::ColumnMap *mapping,
                                                              const MessageData *messageData);
    // An HTML source the author wrote, for the current row, as a string:
    // the source stays as written, each tag gives its value as HTML
    // (SimpleTag::getHTMLSourceValueForData), the tags themselves go.
    [[nodiscard]] QString personalizeHTMLSource(const RichText &source) const;
    [[nodiscard]] static QString personalizeHTMLSource(const RichText &source, const DatabaseEntry *entry,
                                                       const Database::ColumnMap *mapping,
                                                       const MessageData *messageData);

private:
    // The row's message data; throws as personalizeAttributedString does.
    [[nodiscard]] MessageData currentMessageData() const;

    Database::EntryList m_entries;
    Database::ColumnMap m_mapping;
    int m_addressNo = 0;
    bool m_useLocalPath = false;
    QString m_messageId;
    std::shared_ptr<const ContentIdNames> m_contentIdNames;
};
