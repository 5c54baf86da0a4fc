#pragma once

// The recipient table of one project document: entries (one per recipient)
// keyed by column identifiers, numbered column slots that may carry a field
// name, the address slot and the reverse mapping from name to slot.
//
// Entries keep their identity: the list holds shared entry objects, so a
// copy of the list taken for undo and a last-sent stamp written later reach
// the same entry. During a send run the worker thread reads entries, the
// address slot and the name mapping without a lock; every change happens on
// the main thread while no run is active.

#include "Person.h"
#include "VCard.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <memory>

// One recipient, with the keys and values of its stored form. A table has
// tens of thousands of these, so the string values under column identifiers
// (nearly all of an entry) are held as slot numbers and texts in slot order;
// any other key or value is kept in a map beside them. Copies share both
// parts until one of them changes.
class DatabaseEntry {
public:
    DatabaseEntry() = default;
    explicit DatabaseEntry(const QVariantMap &map);

    [[nodiscard]] bool isEmpty() const { return m_texts.isEmpty() && m_others.isEmpty(); }
    [[nodiscard]] qsizetype size() const { return m_texts.size() + m_others.size(); }
    [[nodiscard]] bool contains(const QString &key) const;
    // An invalid variant when the key is missing, as QVariantMap::value.
    [[nodiscard]] QVariant value(const QString &key) const;
    void insert(const QString &key, const QVariant &value);
    void remove(const QString &key);
    // remove() that answers what was there (an invalid variant for nothing).
    QVariant take(const QString &key);
    // The stored form.
    [[nodiscard]] QVariantMap toMap() const;
    // The string under the slot's identifier; null when there is none. For
    // walks over a whole table, without the copies value() makes.
    [[nodiscard]] const QString *slotText(int slot) const;
    // Whether one of the string values contains the text.
    [[nodiscard]] bool anyTextContains(const QString &text, Qt::CaseSensitivity cs) const;
    // Sets used[slot] for every slot below used.size() that holds a value.
    void markUsedSlots(QList<bool> &used) const;
    // Calls f(slot, text) for every string value under a slot, in slot
    // order: walks over a whole table (export, search) without a lookup
    // per slot.
    template <typename F>
    void forEachSlotText(F &&f) const
    {
        for (const Text &value : m_texts)
            f(value.slot, value.text);
    }

    friend bool operator==(const DatabaseEntry &a, const DatabaseEntry &b)
    {
        return a.m_texts == b.m_texts && a.m_others == b.m_others;
    }
    friend bool operator==(const DatabaseEntry &a, const QVariantMap &b) { return a.toMap() == b; }

private:
    struct Text {
        int slot;
        QString text;
        friend bool operator==(const Text &, const Text &) = default;
    };
    // The slot of a canonical column identifier below Database::MaxColumnCount, else -1.
    [[nodiscard]] static int slotOfKey(QStringView key);
    [[nodiscard]] QList<Text>::const_iterator findText(int slot) const;
    void removeText(int slot);

    QList<Text> m_texts;
    QVariantMap m_others;
};


class Database {
public:
    using Entry = DatabaseEntry;
    using EntryRef = std::shared_ptr<Entry>;
    using EntryList = QList<EntryRef>;
    // Column identifier to column identifier, or column identifier to name.
    using ColumnMap = QMap<QString, QString>;

    // Reserved entry keys and the keys of the stored document part.
    static inline const QString ActiveKey = QStringLiteral("active");
    static inline const QString LastSentKey = QStringLiteral("lastSent");
    static inline const QString AddressColumnKey = QStringLiteral("AddressColumn Num");
    static inline const QString AddressArrayKey = QStringLiteral("Address Array");
    // The key under which an older database file keeps the table part.
    static inline const QString DatabasePartKey = QStringLiteral("Database");

    static constexpr int DefaultColumnCount = 75;
    // Slot numbers come from stored files; one identifier such as "99999999"
    // must not make a table of a hundred million slots. No slot at or past
    // this bound is named, counted or filled.
    static constexpr int MaxColumnCount = 10000;

    Database();
    Q_DISABLE_COPY_MOVE(Database)

    // "%i" of the slot number.
    [[nodiscard]] static QString columnIdentifier(int slot);
    // The leading decimal number of the identifier; -1 when there is none or
    // it is negative (0 only for exactly "0").
    [[nodiscard]] static int columnIndexFromIdentifier(const QString &identifier);

    void postUpdatedNotification();

    // Entry access. Indexes outside the table read as nothing (a null
    // string, an invalid date, inactive) and writes to them are dropped.
    [[nodiscard]] QString entryValue(int index, const QString &columnID) const;
    // An invalid date stores the current time.
    void setLastSentDate(int index, const QDateTime &date = {});
    [[nodiscard]] QDateTime lastSentDate(int index) const;
    void setEntryState(int index, bool active);
    [[nodiscard]] static bool entryActiveFlag(const QVariantMap &entry);
    [[nodiscard]] static bool entryActiveFlag(const Entry &entry);
    [[nodiscard]] bool isEntryActive(int index) const;
    [[nodiscard]] QString addressForEntry(int index) const;

    // The values taken out of the entries by removeColumn, for whoever would
    // put them back: only entries that held one, in table order.
    struct RemovedValues {
        EntryList entries;
        QList<QVariant> values;
    };
    void removeColumn(const QString &columnID, RemovedValues *removed = nullptr);
    // Appends a copy of the entry without its last-sent date at the end.
    void cloneEntry(int index);
    void removeEntry(int index);
    // Inserting at a negative index or past the end appends.
    void addEntryWithDict(int index, const QVariantMap &entry);
    void addEntryWithData(int index, const QStringList &data);
    void addEmptyEntry(int index);
    [[nodiscard]] int entryCount() const;
    // Appends new entries holding only the string values of the mapped
    // slots; the entries come out active and never sent.
    void appendEntryArray(const QVariantList &entries, const ColumnMap &mapping);
    // Copies of the given entries.
    void setEntryArray(const QList<QVariantMap> &entries);
    // The given entry objects themselves (undo restores a list taken from entryArray()).
    void setEntryArray(const EntryList &entries);
    [[nodiscard]] const EntryList &entryArray() const { return m_entries; }

    // Old identifier to name in; old identifier to the identifier used here
    // out. An old column without a name is named after its position ("1"
    // for slot 0). Each name goes to a field as fieldsForImportedNames
    // finds it, else to a new field under a name no field has.
    ColumnMap createRequiredFieldNames(const QVariantMap &oldNames);
    // For the column names of one import, the identifier of the field each
    // column fills: the field of that exact name, else one whose name
    // differs only in letter case. A field takes one column at most, or one
    // column's values would overwrite another's; exact names choose first.
    // Null where the column needs a field of its own.
    [[nodiscard]] QStringList fieldsForImportedNames(const QStringList &names) const;
    // Where the numbers of each name stopped, for a run of calls below in
    // which no name is freed: each number is then tried about once, and
    // thousands of fields of one name are named in linear time.
    using NameCounts = QHash<QString, int>;
    // The name itself when no field has it, else "name 2", "name 3", ...
    [[nodiscard]] QString freeFieldName(const QString &name, NameCounts *counts = nullptr) const;
    // The same over any set of names taken.
    [[nodiscard]] static QString uniqueName(const QString &name, const std::function<bool(const QString &)> &taken,
                                            NameCounts *counts = nullptr);
    // The names of one import's columns, each once: a name met again
    // becomes "name 2", "name 3", ..., so that each column has a field of
    // its own, and the same columns find the same fields on the next import.
    [[nodiscard]] static QStringList uniqueNames(const QStringList &names);
    // Names the first slot that has no name and holds no value in any entry
    // and answers its identifier; null when every slot up to MaxColumnCount
    // is taken. A slot named "" still counts as free by name, so without the
    // value test the next field would land on the values put in it. The
    // slots marked in `reserved` are passed over as well.
    QString addField(const QString &name, const QList<bool> &reserved = {});
    // addField for each name in turn, in time linear in the names and the
    // table, each under a name no field has; null identifiers for the names
    // no slot was left for.
    QStringList addFields(const QStringList &names);
    [[nodiscard]] const ColumnMap &fieldNameColumnIDMapping() const { return m_fieldNameIDMapping; }
    // How many slots carry the name (the mapping keeps one of them).
    [[nodiscard]] int slotsNamed(const QString &name) const { return m_fieldNameCounts.value(name); }
    void refreshFieldNameColumnIDMapping();
    void setAddressFieldNo(int slot) { m_addressFieldNo = slot; }
    [[nodiscard]] int addressFieldNo() const { return m_addressFieldNo; }
    // A null name removes the slot's name; an empty one frees the slot but
    // keeps it in the stored names.
    void changeFieldNameTo(const QString &name, const QString &columnID);
    // Gives each slot its name where it has another (a null name: none),
    // each through the empty name first where it had one: named straight
    // after another slot of the list that still has that name, a field
    // would take over that one's tags ("a, b" becoming "b, c").
    void changeFieldNamesTo(const QList<std::pair<int, QString>> &names);
    [[nodiscard]] int fieldIndexForName(const QString &name) const;
    [[nodiscard]] QString columnIDForFieldIndex(int fieldIndex) const;
    [[nodiscard]] QString fieldNameForColumnID(const QString &columnID) const;
    [[nodiscard]] QString fieldNameAtIndex(int fieldIndex) const;
    [[nodiscard]] int columnCount() const { return m_columnCount; }
    // Grows the slot count (never past MaxColumnCount), for values put in
    // slots by position.
    void ensureColumnCount(int count)
    {
        if (count > m_columnCount)
            m_columnCount = count < MaxColumnCount ? count : MaxColumnCount;
    }
    [[nodiscard]] int fieldCount() const;
    // The field list: names of the named slots in slot order.
    [[nodiscard]] QStringList fieldNames() const;

    // Reads an older database file (typed archive, else keyed archive) and
    // appends its entries under matching or new fields. False, with a reason
    // for the log, when nothing could be imported.
    bool importDatabaseFile(const QString &path, QString *reason = nullptr);

    // Contacts from vCard data or the contacts folder. Fields are found and
    // made by the names of properties and labels as the user sees them
    // ("Email (work)"), so a second import of the same people makes no new
    // fields. Only the fields made post notifications.
    // Names slots 0, 1 and 2 after the e-mail, first-name and last-name
    // properties and makes slot 0 the address column.
    void setupFieldNamesForABImport();
    // One entry per person of the data, in file order from the index on
    // (below 0: at the end); group cards give none.
    VCardImportSummary addEntries(int index, const QByteArray &vCardData);
    // The address goes to slot 0: every address joined by ", " when
    // collating, else the primary one. With a group, its name is a field too.
    void addEntry(int index, const Person &person, const Person *group, bool collateAddresses);
    // A value for a field that no free slot is left for is not stored.
    // Making a field costs time in proportion to the fields there are, so
    // one call of addEntries or addEntry makes at most
    // MaxNewFieldsPerContactImport; later new fields are left out.
    static constexpr int MaxNewFieldsPerContactImport = 1000;
    void addPropertyValue(const QString &value, const QString &name, QVariantMap &entry);
    void addMultiStringProperty(const Person::MultiValue &values, const QString &name, QVariantMap &entry);
    void addDictionaryProperty(const Person::Dictionary &dictionary, const QString &name, QVariantMap &entry);
    void addMultiDictionaryProperty(const Person::MultiValue &values, const QString &name, QVariantMap &entry);

    void readFileData(const QVariantMap &data);
    [[nodiscard]] QVariantMap fileData() const;
    // The same for a keyed archive, with the entries made one at a time as
    // they are written (a LazyList) instead of all at once.
    [[nodiscard]] QVariantMap archiveData() const;

    // Address clean-up (DatabaseAddressVerification.cpp). Both only ever
    // switch entries off and post "Database->Updated" when they changed any.
    // Strips line breaks, blanks and commas from every address and switches
    // off entries whose address has no "@", more than one, or no address at
    // all. Answers the number of entries changed.
    int checkEMailAddressSyntax();
    // Of the active entries whose addresses are equal under
    // compareEMailAddresses, the first in table order stays active. Answers
    // the number switched off.
    int disableDoublettes();

    // Names slot k after item k (DatabaseFieldNameUtils.cpp); an empty item
    // gives the slot its position ("1" for slot 0), so an unnamed imported
    // column never leaves its values in a slot that counts as free.
    void setFieldNamesFromArray(const QStringList &names);

    // The first entry from start on, in steps of +1 or -1 and without
    // wrapping around, with a string value that contains the text in any
    // letter case; -1 when there is none (SearchableDatabase.cpp).
    [[nodiscard]] int findNextOccurenceOf(const QString &text, int start) const;
    [[nodiscard]] int findPrevOccurenceOf(const QString &text, int start) const;
    [[nodiscard]] int findNextOccurenceOf(const QString &text, int start, int step) const;

private:
    // The slot number of a canonical identifier below MaxColumnCount, else -1.
    [[nodiscard]] static int slotOfIdentifier(const QString &identifier);
    [[nodiscard]] bool isValidIndex(int index) const { return index >= 0 && index < m_entries.size(); }
    void insertEntry(int index, EntryRef entry);
    // The field names as the first item of the stored entry list holds them.
    [[nodiscard]] QVariantMap storedNames() const;
    // Slot numbers of the named slots, in slot order.
    [[nodiscard]] QList<int> namedSlots() const;
    // Per slot up to MaxColumnCount: named, or holding a value in any entry.
    [[nodiscard]] QList<bool> takenSlots() const;
    // addField with the taken slots known; marks the slot it hands out.
    // searchFrom: no slot before it is free (moved past the slot handed out).
    QString addField(const QString &name, QList<bool> &taken, int &searchFrom);
    // The mapping after one slot's name changed, without a rebuild.
    void updateFieldNameColumnIDMapping(const QString &oldName, const QString &newName, const QString &columnID);
    [[nodiscard]] QVariantMap entryForPerson(const Person &person, const Person *group, bool collateAddresses);
    // Fields the running contacts import may still make (negative: no limit)
    // and the values it left out.
    int m_contactFieldBudget = -1;
    int m_contactValuesLeftOut = 0;

    EntryList m_entries;
    ColumnMap m_fieldNames;
    int m_addressFieldNo = -1;
    int m_columnCount = DefaultColumnCount;
    ColumnMap m_fieldNameIDMapping;
    // How many slots carry each non-empty name.
    QHash<QString, int> m_fieldNameCounts;
};

// The order of duplicate search: entries without an address first, then
// addresses compared exactly but for letter case, so "user010@x.org" and
// "user10@x.org" stay two recipients. -1, 0 or +1.
[[nodiscard]] int compareEMailAddresses(const DatabaseEntry &a, const DatabaseEntry &b, const QString &columnID);
