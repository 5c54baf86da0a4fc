#include "RecipientCommands.h"

#include "RecipientExport.h"
#include "RecipientImport.h"
#include "RecipientSort.h"

#include "AddressBookSnapshot.h"
#include "BlacklistManager.h"
#include "DatabaseManager.h"
#include "TableCopy.h"
#include "VCard.h"

#include "FileIO.h"
#include "Localizer.h"
#include "MessageTab.h"
#include "Values.h"

#include <QFileInfo>
#include <QUndoStack>

#include <algorithm>

namespace {

using Localizer::localizedString;

// Rows inside the table, each once, in ascending order.
QList<int> validRows(const QList<int> &rows, int count)
{
    QList<int> valid;
    valid.reserve(rows.size());
    for (int row : rows) {
        if (row >= 0 && row < count)
            valid.append(row);
    }
    std::sort(valid.begin(), valid.end());
    valid.erase(std::unique(valid.begin(), valid.end()), valid.end());
    return valid;
}

} // namespace

RecipientCommands::RecipientCommands(Database *database, QUndoStack *undoStack, QObject *parent)
    : QObject(parent), m_database(database), m_undoStack(undoStack)
{
    if (undoStack && undoStack->count() == 0)
        undoStack->setUndoLimit(UndoLimit);
}

bool RecipientCommands::isFieldColumn(const QString &columnID) const
{
    const int slot = Database::columnIndexFromIdentifier(columnID);
    return slot >= 0 && slot < Database::MaxColumnCount && Database::columnIdentifier(slot) == columnID;
}

bool RecipientCommands::isFreeSlot(const QString &columnID) const
{
    const Database::EntryList &entries = m_database->entryArray();
    return m_database->fieldNameForColumnID(columnID).isEmpty()
           && std::none_of(entries.cbegin(), entries.cend(),
                           [&](const Database::EntryRef &entry) { return entry->contains(columnID); });
}

void RecipientCommands::push(Step step, const QString &name)
{
    auto *command = new EntryListSnapshotCommand(this, std::move(step));
    command->setText(name);
    push(command);
}

void RecipientCommands::push(QUndoCommand *command)
{
    if (m_undoStack) {
        m_undoStack->push(command);
    } else {
        delete command;
        emit documentEdited();
    }
}

bool RecipientCommands::changeEntries(const QString &name, const std::function<void()> &change, bool fields,
                                      bool orderKept)
{
    if (isLocked())
        return false;
    const Database::EntryList before = m_database->entryArray();
    std::optional<FieldNamesState> fieldsBefore;
    if (fields)
        fieldsBefore = FieldNamesState::of(*m_database);
    change();
    const Database::EntryList after = m_database->entryArray();
    Step step;
    step.orderKept = orderKept;
    if (before != after) {
        step.entriesBefore = before;
        step.entriesAfter = after;
        step.rowsOut = rowsTakenOut(before, after);
    }
    if (fields)
        step.fields = FieldNamesChange::between(*fieldsBefore, FieldNamesState::of(*m_database));
    if (!step.entriesBefore && !step.fields)
        return false;
    if (step.fields) {
        const QList<SlotRename> renames = step.fields->renames();
        // Values some rows already held in a slot the step named (rows read
        // by position): no undo takes them, since they were there before.
        QHash<int, int> named;
        for (const SlotRename &rename : renames) {
            if (rename.from.isEmpty() && !rename.to.isEmpty())
                named.insert(rename.slot, 0);
        }
        if (!named.isEmpty()) {
            for (const Database::EntryRef &entry : before) {
                entry->forEachSlotText([&](int slot, const QString &text) {
                    if (named.contains(slot)) {
                        step.unnamed[slot].entries.append(entry);
                        step.unnamed[slot].values.append(text);
                    }
                });
            }
        }
        moveFields(renames, step, true, m_database->addressFieldNo());
    }
    push(std::move(step), name);
    emit entriesReplaced(before, orderKept);
    m_database->postUpdatedNotification();
    return true;
}

int RecipientCommands::changeValues(const QString &name, const QStringList &keys, const std::function<void()> &change)
{
    if (isLocked())
        return 0;
    const Database::EntryList entries = m_database->entryArray();
    QList<QList<QVariant>> before(keys.size());
    for (qsizetype k = 0; k < keys.size(); ++k) {
        before[k].reserve(entries.size());
        for (const Database::EntryRef &entry : entries)
            before[k].append(entry->value(keys.at(k)));
    }
    change();
    Step step;
    step.orderKept = true;
    QSet<const Database::Entry *> changed;
    for (qsizetype k = 0; k < keys.size(); ++k) {
        EntryValueChanges values{keys.at(k), {}, {}, {}, {}};
        for (qsizetype i = 0; i < entries.size(); ++i) {
            QVariant now = entries.at(i)->value(keys.at(k));
            if (now == before.at(k).at(i))
                continue;
            values.entries.append(entries.at(i));
            values.before.append(before.at(k).at(i));
            values.after.append(std::move(now));
            changed.insert(entries.at(i).get());
        }
        if (!values.isEmpty())
            step.values.append(std::move(values));
    }
    if (step.values.isEmpty())
        return 0;
    push(std::move(step), name);
    emit entriesReplaced(entries, true);
    m_database->postUpdatedNotification();
    return int(changed.size());
}

void RecipientCommands::moveFields(const QList<SlotRename> &renames, Step &step, bool forward, int addressWas)
{
    // All taken before any is given: a name may go from one slot to another.
    QList<HeldField> taken(renames.size());
    // By slot, the field leaving the table from it.
    QHash<int, qsizetype> leaving;
    for (qsizetype i = 0; i < renames.size(); ++i) {
        const SlotRename &rename = renames.at(i);
        if (m_message)
            taken[i].tags = m_message->takeTags(rename.from);
        if (!rename.from.isEmpty() && rename.to.isEmpty())
            leaving.insert(rename.slot, i);
    }
    // Values written under a leaving field since the step are kept for its
    // return; one walk over the table for all of them.
    if (!leaving.isEmpty()) {
        QList<int> found;
        for (const Database::EntryRef &entry : m_database->entryArray()) {
            found.clear();
            entry->forEachSlotText([&](int slot, const QString &) {
                if (leaving.contains(slot))
                    found.append(slot);
            });
            for (int slot : std::as_const(found)) {
                Database::RemovedValues &values = taken[leaving.value(slot)].values;
                values.entries.append(entry);
                values.values.append(entry->take(Database::columnIdentifier(slot)));
            }
        }
    }
    for (qsizetype i = 0; i < renames.size(); ++i) {
        const SlotRename &rename = renames.at(i);
        HeldField &field = taken[i];
        const QString id = Database::columnIdentifier(rename.slot);
        const Database::RemovedValues unnamed = step.unnamed.value(rename.slot);
        if (rename.to.isEmpty()) {
            HeldField &kept = step.held[rename.slot];
            kept.tags.append(field.tags);
            kept.values.entries.append(field.values.entries);
            kept.values.values.append(field.values.values);
            for (qsizetype k = 0; k < unnamed.entries.size(); ++k) {
                if (!unnamed.entries.at(k)->contains(id))
                    unnamed.entries.at(k)->insert(id, unnamed.values.at(k));
            }
            // The address column goes back to where the step found it (or
            // left it, for a redo), if a field stands there, else nowhere.
            if (m_database->addressFieldNo() == rename.slot && !rename.from.isEmpty()) {
                putAddressColumn(*m_database, forward ? step.fields->addressLeft : step.fields->addressFound);
                kept.address = true;
                kept.addressPutAt = m_database->addressFieldNo();
            }
            continue;
        }
        const HeldField back = step.held.take(rename.slot);
        // Over the address column the step itself chose: this field was
        // chosen after it.
        if (back.address && addressWas == back.addressPutAt)
            m_database->setAddressFieldNo(rename.slot);
        field.tags.append(back.tags);
        if (m_message)
            m_message->giveTags(field.tags, rename.to);
        // A value the row held before the step, put back by its undo, gives
        // way to what the field held.
        QHash<const Database::Entry *, QVariant> before;
        for (qsizetype k = 0; k < unnamed.entries.size(); ++k)
            before.insert(unnamed.entries.at(k).get(), unnamed.values.at(k));
        for (qsizetype k = 0; k < back.values.entries.size(); ++k) {
            const Database::EntryRef &entry = back.values.entries.at(k);
            const auto held = before.constFind(entry.get());
            if (!entry->contains(id) || (held != before.cend() && entry->value(id) == *held))
                entry->insert(id, back.values.values.at(k));
        }
    }
}

void RecipientCommands::applyStep(Step &step, bool forward)
{
    const Database::EntryList shown = m_database->entryArray();
    if (!forward) {
        for (auto it = step.values.crbegin(); it != step.values.crend(); ++it)
            it->apply(false);
    }
    if (step.entriesBefore)
        m_database->setEntryArray(forward ? *step.entriesAfter : *step.entriesBefore);
    if (step.fields) {
        const int addressWas = m_database->addressFieldNo();
        moveFields(step.fields->apply(*m_database, forward), step, forward, addressWas);
    }
    if (forward) {
        for (const EntryValueChanges &values : step.values)
            values.apply(true);
    }
    emit entriesReplaced(shown, step.orderKept);
    m_database->postUpdatedNotification();
}

int RecipientCommands::addRecipient(int row)
{
    const int at = row >= 0 && row <= m_database->entryCount() ? row : m_database->entryCount();
    const bool added = changeEntries(localizedString("Localized-Database", "STEP_ADD_RECIPIENT"),
                                     [&] { m_database->addEmptyEntry(at); }, false);
    return added ? at : -1;
}

bool RecipientCommands::removeRecipients(const QList<int> &rows)
{
    const QList<int> valid = validRows(rows, m_database->entryCount());
    if (valid.isEmpty())
        return false;
    return changeEntries(
        localizedString("Localized-Database", "STEP_REMOVE_RECIPIENTS"),
        [&] {
            const Database::EntryList &entries = m_database->entryArray();
            Database::EntryList kept;
            kept.reserve(entries.size() - valid.size());
            qsizetype next = 0;
            for (qsizetype row = 0; row < entries.size(); ++row) {
                if (next < valid.size() && valid.at(next) == row)
                    ++next;
                else
                    kept.append(entries.at(row));
            }
            m_database->setEntryArray(kept);
        },
        false);
}

bool RecipientCommands::duplicateRecipients(const QList<int> &rows)
{
    const QList<int> valid = validRows(rows, m_database->entryCount());
    if (valid.isEmpty())
        return false;
    return changeEntries(
        localizedString("Localized-Database", "STEP_DUPLICATE_RECIPIENTS"),
        [&] {
            for (auto it = valid.crbegin(); it != valid.crend(); ++it)
                m_database->cloneEntry(*it);
        },
        false);
}

bool RecipientCommands::sortByColumn(const QString &columnID)
{
    if (isLocked())
        return false;
    if (columnID.isEmpty()) {
        emit alert(QStringLiteral("NO_COLUMN_SELECTED_TITLE"), QStringLiteral("NO_COLUMN_SELECTED_TEXT"), {});
        return false;
    }
    return changeEntries(localizedString("Localized-Database", "STEP_SORT"),
                         [&] { m_database->setEntryArray(RecipientSort::sortedEntries(*m_database, columnID)); },
                         false);
}

bool RecipientCommands::addSerialNumbers(const QString &columnID)
{
    if (isLocked())
        return false;
    // Numbers under "active" would switch the first recipient off and every
    // other on; under "lastSent" they would erase every date.
    if (!isFieldColumn(columnID)) {
        emit alert(QStringLiteral("NO_COLUMN_SELECTED_SERNUM_TITLE"), QStringLiteral("NO_COLUMN_SELECTED_SERNUM_TEXT"),
                   {});
        return false;
    }
    return changeValues(localizedString("Localized-Database", "STEP_NUMBER_ROWS"), {columnID}, [&] {
               const Database::EntryList &entries = m_database->entryArray();
               for (qsizetype i = 0; i < entries.size(); ++i)
                   entries.at(i)->insert(columnID, QString::number(i));
           }) > 0;
}

int RecipientCommands::filterMatching(const std::function<bool(const Database::Entry &)> &matches, bool state)
{
    if (isLocked())
        return 0;
    EntryValueChanges changes{Database::ActiveKey, {}, {}, {}, state};
    const Database::EntryList entries = m_database->entryArray();
    for (const Database::EntryRef &entry : entries) {
        // One lookup of the flag: this runs for every recipient.
        QVariant flag = entry->value(Database::ActiveKey);
        const bool active = !flag.isValid() || boolValue(flag);
        if (active == state || !matches(*entry))
            continue;
        changes.entries.append(entry);
        changes.before.append(std::move(flag));
    }
    if (changes.isEmpty())
        return 0;
    changes.apply(true);
    const int count = int(changes.entries.size());
    Step step;
    step.orderKept = true;
    step.values.append(std::move(changes));
    push(std::move(step), state ? localizedString("Localized-Database", "STEP_SWITCH_ON")
                                : localizedString("Localized-Database", "STEP_SWITCH_OFF"));
    emit entriesReplaced(entries, true);
    m_database->postUpdatedNotification();
    return count;
}

int RecipientCommands::filterByBlacklist(const BlacklistMatcher &blacklist, bool state)
{
    const int addressSlot = m_database->addressFieldNo();
    if (addressSlot < 0)
        return 0;
    return filterMatching(
        [&](const Database::Entry &entry) {
            const QString *address = entry.slotText(addressSlot);
            return address && blacklist.isAddressInList(*address);
        },
        state);
}

int RecipientCommands::filterRows(const QList<int> &rows, bool state)
{
    const QList<int> valid = validRows(rows, m_database->entryCount());
    QSet<const Database::Entry *> chosen;
    for (int row : valid)
        chosen.insert(m_database->entryArray().at(row).get());
    return filterMatching([&](const Database::Entry &entry) { return chosen.contains(&entry); }, state);
}

int RecipientCommands::filterAll(bool state)
{
    return filterMatching([](const Database::Entry &) { return true; }, state);
}

int RecipientCommands::checkAddressSyntax()
{
    if (m_database->addressFieldNo() < 0)
        return 0;
    return changeValues(localizedString("Localized-Database", "STEP_CLEAN_UP_ADDRESSES"),
                        {Database::columnIdentifier(m_database->addressFieldNo()), Database::ActiveKey},
                        [&] { m_database->checkEMailAddressSyntax(); });
}

int RecipientCommands::disableRepeatedAddresses()
{
    return changeValues(localizedString("Localized-Database", "STEP_SWITCH_OFF_REPEATED"), {Database::ActiveKey},
                        [&] { m_database->disableDoublettes(); });
}

bool RecipientCommands::setAddressColumn(int slot)
{
    if (isLocked())
        return false;
    if (slot < 0) {
        emit alert(QStringLiteral("NO_COLUMN_SELECTED_TITLE"), QStringLiteral("NO_COLUMN_SELECTED_TEXT"), {});
        return false;
    }
    if (slot == m_database->addressFieldNo() || slot >= Database::MaxColumnCount)
        return false;
    m_database->setAddressFieldNo(slot);
    emit documentEdited();
    m_database->postUpdatedNotification();
    return true;
}

bool RecipientCommands::editCell(int row, const QString &columnID, const QVariant &value)
{
    if (isLocked() || row < 0 || row >= m_database->entryCount())
        return false;
    const Database::EntryRef &entry = m_database->entryArray().at(row);
    if (columnID == Database::ActiveKey) {
        if (value.typeId() != QMetaType::Bool)
            return false;
        if (Database::entryActiveFlag(*entry) == value.toBool())
            return true;
        m_database->setEntryState(row, value.toBool());
        emit documentEdited();
        return true;
    }
    if (!isFieldColumn(columnID))
        return false;
    const QString newValue = value.toString();
    const QString oldValue = m_database->entryValue(row, columnID);
    if (oldValue == newValue && (!oldValue.isNull() || newValue.isEmpty()))
        return true;
    // The first row's values often stand for the fields in the message; a
    // value that names a field is that field's, and its tags stay.
    if (row == 0 && !oldValue.isEmpty() && m_database->fieldIndexForName(oldValue) < 0)
        emit tagNameChanged(oldValue, newValue);
    entry->insert(columnID, newValue);
    emit documentEdited();
    return true;
}

RecipientCommands::Rename RecipientCommands::renameField(const QString &columnID, const QString &name)
{
    if (isLocked() || !isFieldColumn(columnID))
        return Rename::Refused;
    if (name.trimmed().isEmpty()) {
        emit alert(QStringLiteral("FIELD_NAME_REFUSED_TITLE"), QStringLiteral("FIELD_NAME_EMPTY_TEXT"), {});
        return Rename::Refused;
    }
    const QString current = m_database->fieldNameForColumnID(columnID);
    if (!current.isNull() && current == name)
        return Rename::Unchanged;
    const QString holder = m_database->fieldNameColumnIDMapping().value(name);
    if (!holder.isNull() && holder != columnID) {
        emit alert(QStringLiteral("FIELD_NAME_REFUSED_TITLE"), QStringLiteral("FIELD_NAME_DUPLICATE_TEXT"), name);
        return Rename::Refused;
    }
    // Redone over this field, such a step would show its values under it.
    if (redoStepsUse(Database::columnIndexFromIdentifier(columnID)))
        endRedoSteps();
    m_database->changeFieldNameTo(name, columnID);
    emit documentEdited();
    return Rename::Renamed;
}

void RecipientCommands::reportImport(qint64 droppedValues, int skippedCards, bool tooLarge,
                                     const QStringList &unreadable)
{
    QStringList details = unreadable;
    if (tooLarge)
        details << localizedString("Localized-Database", "IMPORT_DETAIL_TOO_LARGE");
    if (skippedCards > 0)
        details << localizedString("Localized-Database", "IMPORT_DETAIL_SKIPPED_CARDS").arg(skippedCards);
    if (droppedValues > 0)
        details << localizedString("Localized-Database", "IMPORT_DETAIL_DROPPED_VALUES").arg(droppedValues);
    if (!details.isEmpty())
        emit alert(QStringLiteral("IMPORT_INCOMPLETE_TITLE"), QStringLiteral("IMPORT_INCOMPLETE_TEXT"),
                   details.join(u'\n'));
}

int RecipientCommands::importProjectFiles(const QStringList &paths)
{
    if (isLocked())
        return 0;
    const int count = m_database->entryCount();
    QStringList unreadable;
    changeEntries(
        localizedString("Localized-Database", "STEP_IMPORT"),
        [&] {
            for (const QString &path : paths) {
                QString reason;
                if (!m_database->importDatabaseFile(path, &reason))
                    unreadable << localizedString("Localized-Database", "IMPORT_DETAIL_UNREADABLE")
                                      .arg(QFileInfo(path).fileName(), reason);
            }
        },
        true);
    reportImport(0, 0, false, unreadable);
    return m_database->entryCount() - count;
}

int RecipientCommands::importVCardFiles(const QStringList &paths)
{
    if (isLocked())
        return 0;
    QList<QByteArray> files;
    QStringList unreadable;
    for (const QString &path : paths) {
        QString reason;
        std::optional<QByteArray> data = FileIO::readFileLimited(path, VCard::MaxInputBytes, &reason);
        if (data)
            files << std::move(*data);
        else
            unreadable << localizedString("Localized-Database", "IMPORT_DETAIL_UNREADABLE")
                                      .arg(QFileInfo(path).fileName(), reason);
    }
    VCardImportSummary cards;
    RecipientImport::Summary summary;
    changeEntries(
        localizedString("Localized-Database", "STEP_IMPORT"),
        [&] {
            summary = RecipientImport::insertContacts(*m_database, -1, false, [&](Database &target, int) {
                for (const QByteArray &data : std::as_const(files)) {
                    const VCardImportSummary read = target.addEntries(-1, data);
                    cards.addedEntries += read.addedEntries;
                    cards.skippedCards += read.skippedCards;
                    cards.droppedValues += read.droppedValues;
                    cards.tooLarge = cards.tooLarge || read.tooLarge;
                }
            });
        },
        true);
    reportImport(summary.droppedValues + cards.droppedValues, cards.skippedCards, cards.tooLarge, unreadable);
    return summary.addedEntries;
}

int RecipientCommands::importVCardData(const QByteArray &data, int row)
{
    if (isLocked())
        return 0;
    VCardImportSummary cards;
    RecipientImport::Summary summary;
    changeEntries(
        localizedString("Localized-Database", "STEP_IMPORT"),
        [&] {
            summary = RecipientImport::insertContacts(*m_database, row, true, [&](Database &target, int index) {
                cards = target.addEntries(index, data);
            });
        },
        true);
    reportImport(summary.droppedValues + cards.droppedValues, cards.skippedCards, cards.tooLarge, {});
    return summary.addedEntries;
}

int RecipientCommands::importContacts(const AddressBookSnapshot &contacts, const QString &groupName,
                                      bool collateAddresses)
{
    if (isLocked())
        return 0;
    RecipientImport::Summary summary;
    changeEntries(
        localizedString("Localized-Database", "STEP_IMPORT"),
        [&] {
            summary = RecipientImport::insertContacts(*m_database, -1, true, [&](Database &target, int) {
                if (groupName.isNull()) {
                    for (const Person &person : contacts.people())
                        target.addEntry(-1, person, nullptr, collateAddresses);
                    return;
                }
                // Two groups may share a name: the members of both come in.
                for (const AddressBookSnapshot::Group &group : contacts.groups()) {
                    if (group.name != groupName)
                        continue;
                    Person card;
                    card.setKind(Person::Kind::Group);
                    card.setFormattedName(group.name);
                    for (int member : group.members)
                        target.addEntry(-1, contacts.people().at(member), &card, collateAddresses);
                }
            });
        },
        true);
    reportImport(summary.droppedValues, 0, false, {});
    return summary.addedEntries;
}

int RecipientCommands::importRows(const QList<QStringList> &rows, bool firstRowTitles, qint64 droppedFields)
{
    if (isLocked())
        return 0;
    RecipientImport::Summary summary;
    changeEntries(localizedString("Localized-Database", "STEP_IMPORT"),
                  [&] { summary = RecipientImport::appendRows(*m_database, rows, firstRowTitles); }, true);
    reportImport(summary.droppedValues + droppedFields, 0, false, {});
    return summary.addedEntries;
}

int RecipientCommands::importDraggedTables(const QByteArray &archive)
{
    if (isLocked())
        return 0;
    const int count = m_database->entryCount();
    const QList<TableRefPtr> tables = DatabaseManager::sharedInstance().tablesFromDraggedData(archive);
    changeEntries(
        localizedString("Localized-Database", "STEP_IMPORT"),
        [&] {
            for (const TableRefPtr &table : tables)
                AddTableRefEntriesToDatabase(*table, *m_database);
        },
        true);
    return m_database->entryCount() - count;
}

bool RecipientCommands::exportText(const QString &path)
{
    if (isLocked())
        return false;
    const RecipientExport::Result result = RecipientExport::writeText(*m_database, path);
    if (!result.ok) {
        emit alert(QStringLiteral("EXPORT_FAILED_TITLE"), QStringLiteral("EXPORT_FAILED_TEXT"),
                   QStringLiteral("%1\n%2").arg(path, result.error));
        return false;
    }
    if (result.changedValues > 0)
        emit alert(QStringLiteral("EXPORT_VALUES_CHANGED_TITLE"), QStringLiteral("EXPORT_VALUES_CHANGED_TEXT"),
                   localizedString("Localized-Database", "EXPORT_DETAIL_CHANGED_VALUES").arg(result.changedValues));
    return true;
}
