#include "EntryListSnapshotCommand.h"

#include "RecipientCommands.h"

FieldNamesState FieldNamesState::of(const Database &database)
{
    FieldNamesState state;
    state.addressSlot = database.addressFieldNo();
    for (int slot = 0; slot < database.columnCount(); ++slot) {
        const QString name = database.fieldNameForColumnID(Database::columnIdentifier(slot));
        if (!name.isNull())
            state.names.insert(slot, name);
    }
    return state;
}

void FieldNamesState::applyTo(Database &database) const
{
    const FieldNamesState now = of(database);
    QList<int> slotsToCheck = names.keys();
    for (auto it = now.names.constBegin(); it != now.names.constEnd(); ++it) {
        if (!names.contains(it.key()))
            slotsToCheck.append(it.key());
    }
    for (int slot : slotsToCheck) {
        const QString wanted = names.value(slot);
        const QString current = now.names.value(slot);
        if (wanted.isNull() != current.isNull() || wanted != current)
            database.changeFieldNameTo(wanted, Database::columnIdentifier(slot));
    }
    database.setAddressFieldNo(addressSlot);
}

void EntryValueChanges::apply(bool forward) const
{
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QVariant &value = forward ? (after.isEmpty() ? afterValue : after.at(i)) : before.at(i);
        if (value.isValid())
            entries.at(i)->insert(key, value);
        else
            entries.at(i)->remove(key);
    }
}

EntryListSnapshotCommand::EntryListSnapshotCommand(RecipientCommands *owner, Step step)
    : m_owner(owner), m_step(std::move(step))
{
}

void EntryListSnapshotCommand::undo()
{
    m_done = false;
    if (m_owner)
        m_owner->applyStep(m_step, false);
}

void EntryListSnapshotCommand::redo()
{
    // Pushed after the change was made.
    if (m_done)
        return;
    m_done = true;
    if (m_owner)
        m_owner->applyStep(m_step, true);
}
