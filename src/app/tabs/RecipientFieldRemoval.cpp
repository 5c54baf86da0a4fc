// Removing a field, and bringing it back without touching what was made since.

#include "RecipientCommands.h"

#include "FieldRemovalCommand.h"

#include "MessageTab.h"

#include <QSet>
#include <QUndoStack>

#include <algorithm>
#include <optional>

bool RecipientCommands::removeField(const QString &columnID, int viewPosition)
{
    // A free slot has nothing to remove.
    if (isLocked() || !isFieldColumn(columnID) || isFreeSlot(columnID))
        return false;

    // The values go from the entries themselves and undo puts them back into
    // the same entries: copies restored by an undo would take back every
    // edit and every last-sent stamp written since.
    RemovedField removed;
    removed.viewPosition = viewPosition;
    takeField(columnID, removed);
    push(new FieldRemovalCommand(this, std::move(removed)));
    return true;
}

void RecipientCommands::takeField(const QString &columnID, RemovedField &removed)
{
    const Database::EntryList shown = m_database->entryArray();
    removed.columnID = columnID;
    removed.name = m_database->fieldNameForColumnID(columnID);
    removed.wasAddressColumn = m_database->addressFieldNo() == Database::columnIndexFromIdentifier(columnID);
    Database::RemovedValues values;
    m_database->removeColumn(columnID, &values);
    removed.entries = std::move(values.entries);
    removed.values = std::move(values.values);
    if (m_message)
        removed.tags = m_message->takeTags(removed.name);
    emit entriesReplaced(shown, true);
    emit fieldColumnPlacement(columnID, -1);
}

bool RecipientCommands::restoreField(const QUndoCommand *step, RemovedField &removed)
{
    const Database::EntryList shown = m_database->entryArray();
    const QString ownID = removed.columnID;
    const bool ownSlotFree = isFreeSlot(ownID);
    QString name = removed.name;
    if (!name.isEmpty())
        name = m_database->freeFieldName(name);
    QString id = ownID;
    if (ownSlotFree) {
        const QString current = m_database->fieldNameForColumnID(id);
        if (current.isNull() != name.isNull() || current != name)
            m_database->changeFieldNameTo(name, id);
    } else {
        // Not where a row that an earlier undo brings back has a value.
        id = m_database->addField(name.isNull() ? QStringLiteral("") : name, slotsHeldBefore(step));
        if (id.isNull()) {
            emit alert(QStringLiteral("FIELD_RESTORE_REFUSED_TITLE"), QStringLiteral("FIELD_RESTORE_NO_SLOT_TEXT"),
                       removed.name);
            // Those rows come back without the field's values, never with
            // them under a field made in its slot since.
            followField(step, Database::columnIndexFromIdentifier(ownID), -1);
            return false;
        }
    }
    // An entry that holds a value there now got it after the removal.
    for (qsizetype i = 0; i < removed.entries.size(); ++i) {
        const Database::EntryRef &entry = removed.entries.at(i);
        if (!entry->contains(id))
            entry->insert(id, removed.values.at(i));
    }
    const int slot = Database::columnIndexFromIdentifier(id);
    if (id != ownID)
        followField(step, Database::columnIndexFromIdentifier(ownID), slot);
    if (removed.wasAddressColumn && m_database->addressFieldNo() < 0)
        m_database->setAddressFieldNo(slot);
    if (m_message)
        m_message->giveTags(removed.tags, name);
    removed.tags = {};
    // A redo takes the values again, wherever the field is by then.
    removed.columnID = id;
    removed.entries.clear();
    removed.values.clear();
    emit entriesReplaced(shown, true);
    emit fieldColumnPlacement(id, removed.viewPosition);
    m_database->postUpdatedNotification();
    return true;
}

int RecipientCommands::indexOf(const QUndoCommand *step) const
{
    if (!m_undoStack)
        return -1;
    for (int i = std::min(m_undoStack->index(), m_undoStack->count() - 1); i >= 0; --i) {
        if (m_undoStack->command(i) == step)
            return i;
    }
    return -1;
}

void RecipientCommands::followField(const QUndoCommand *step, int from, int to)
{
    const int at = indexOf(step);
    if (at < 0)
        return;
    const QString fromID = Database::columnIdentifier(from);
    const QString toID = to < 0 ? QString() : Database::columnIdentifier(to);
    // Rows that earlier steps took out of the table take the field along;
    // those in the table hold what was made since, which stays.
    std::optional<QSet<const Database::Entry *>> current;
    const auto moveValues = [&](const EntryListSnapshotCommand::Step &older) {
        for (int row : older.rowsOut) {
            const Database::EntryRef &entry = older.entriesBefore->at(row);
            if (!entry->contains(fromID))
                continue;
            if (!current) {
                current.emplace();
                for (const Database::EntryRef &shown : m_database->entryArray()) {
                    if (shown->contains(fromID))
                        current->insert(shown.get());
                }
            }
            if (current->contains(entry.get()))
                continue;
            if (toID.isNull())
                entry->remove(fromID);
            else if (!entry->contains(toID))
                entry->insert(toID, entry->take(fromID));
        }
    };
    for (int i = at - 1; i >= 0; --i) {
        // The stack hands its commands out as const; these are ours.
        QUndoCommand *command = const_cast<QUndoCommand *>(m_undoStack->command(i));
        if (const auto *removal = dynamic_cast<const FieldRemovalCommand *>(command)) {
            if (removal->removed().columnID == fromID)
                break;
            continue;
        }
        auto *older = dynamic_cast<EntryListSnapshotCommand *>(command);
        if (!older)
            continue;
        moveValues(older->step());
        if (older->followField(from, to))
            break;
    }
}

QList<bool> RecipientCommands::slotsHeldBefore(const QUndoCommand *step) const
{
    QList<bool> held(Database::MaxColumnCount, false);
    const auto mark = [&held](int slot) {
        if (slot >= 0 && slot < held.size())
            held[slot] = true;
    };
    for (int i = indexOf(step) - 1; i >= 0; --i) {
        const QUndoCommand *command = m_undoStack->command(i);
        if (const auto *removal = dynamic_cast<const FieldRemovalCommand *>(command)) {
            mark(Database::columnIndexFromIdentifier(removal->removed().columnID));
            continue;
        }
        const auto *older = dynamic_cast<const EntryListSnapshotCommand *>(command);
        if (!older)
            continue;
        const EntryListSnapshotCommand::Step &earlier = older->step();
        // The rows in the table are the table's to count.
        for (int row : earlier.rowsOut)
            earlier.entriesBefore->at(row)->markUsedSlots(held);
        for (const EntryValueChanges &values : earlier.values)
            mark(Database::columnIndexFromIdentifier(values.key));
        if (earlier.fields) {
            for (auto it = earlier.fields->after.constBegin(); it != earlier.fields->after.constEnd(); ++it)
                mark(it.key());
        }
    }
    return held;
}

bool RecipientCommands::redoStepsUse(int slot) const
{
    if (!m_undoStack || slot < 0)
        return false;
    const QString id = Database::columnIdentifier(slot);
    for (int i = m_undoStack->index(); i < m_undoStack->count(); ++i) {
        const auto *later = dynamic_cast<const EntryListSnapshotCommand *>(m_undoStack->command(i));
        if (!later)
            continue;
        const EntryListSnapshotCommand::Step &step = later->step();
        if (step.fields && step.fields->after.contains(slot))
            return true;
        for (const EntryValueChanges &values : step.values) {
            if (values.key == id)
                return true;
        }
    }
    return false;
}

namespace {

// Pushed to end the steps to redo, as a new step would, without being one.
class RedoEnd : public QUndoCommand {
public:
    RedoEnd() { setObsolete(true); }
    void undo() override {}
    void redo() override {}
};

} // namespace

void RecipientCommands::endRedoSteps()
{
    if (!m_undoStack || !m_undoStack->canRedo())
        return;
    m_undoStack->push(new RedoEnd);
    // A pushed command that is obsolete is dropped without a word from the
    // stack (Qt 6.4), and the Redo item listens for these.
    emit m_undoStack->canRedoChanged(false);
    emit m_undoStack->redoTextChanged(QString());
}
