#include "EntryListSnapshotCommand.h"

#include "RecipientCommands.h"

#include <QHash>
#include <QSet>

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

std::optional<FieldNamesChange> FieldNamesChange::between(const FieldNamesState &before,
                                                          const FieldNamesState &after)
{
    FieldNamesChange change;
    const auto record = [&](int slot) {
        const QString was = before.names.value(slot);
        const QString is = after.names.value(slot);
        if (was.isNull() != is.isNull() || was != is) {
            change.before.insert(slot, was);
            change.after.insert(slot, is);
        }
    };
    for (auto it = before.names.constBegin(); it != before.names.constEnd(); ++it)
        record(it.key());
    for (auto it = after.names.constBegin(); it != after.names.constEnd(); ++it) {
        if (!before.names.contains(it.key()))
            record(it.key());
    }
    if (before.addressSlot != after.addressSlot) {
        change.addressBefore = before.addressSlot;
        change.addressAfter = after.addressSlot;
    }
    if (change.before.isEmpty() && !change.addressBefore)
        return std::nullopt;
    change.addressFound = before.addressSlot;
    change.addressLeft = after.addressSlot;
    return change;
}

void putAddressColumn(Database &database, int slot)
{
    const bool field = slot >= 0 && !database.fieldNameForColumnID(Database::columnIdentifier(slot)).isEmpty();
    database.setAddressFieldNo(field ? slot : -1);
}

QList<int> rowsTakenOut(const Database::EntryList &before, const Database::EntryList &after)
{
    // Most steps add or remove rows in one place or keep their order: the
    // common ends and one walk find them, by pointer, without a lookup per row.
    const qsizetype common = std::min(before.size(), after.size());
    qsizetype head = 0;
    while (head < common && before.at(head) == after.at(head))
        ++head;
    qsizetype tail = 0;
    while (tail < common - head && before.at(before.size() - 1 - tail) == after.at(after.size() - 1 - tail))
        ++tail;
    const qsizetype beforeEnd = before.size() - tail;
    const qsizetype afterEnd = after.size() - tail;
    QList<int> out;
    if (afterEnd == head) {
        for (qsizetype i = head; i < beforeEnd; ++i)
            out.append(int(i));
        return out;
    }
    qsizetype kept = head;
    for (qsizetype i = head; i < beforeEnd; ++i) {
        if (kept < afterEnd && before.at(i) == after.at(kept))
            ++kept;
        else
            out.append(int(i));
    }
    if (kept == afterEnd)
        return out;
    // Rows added, or the order changed (a sort): by identity.
    QSet<const Database::Entry *> staying;
    staying.reserve(afterEnd - head);
    for (qsizetype i = head; i < afterEnd; ++i)
        staying.insert(after.at(i).get());
    out.clear();
    for (qsizetype i = head; i < beforeEnd; ++i) {
        if (!staying.contains(before.at(i).get()))
            out.append(int(i));
    }
    return out;
}

namespace {

// A slot without a name is free whether its name is missing or empty.
bool sameField(const QString &a, const QString &b)
{
    return a.isEmpty() ? b.isEmpty() : a == b;
}

bool differ(const QString &a, const QString &b)
{
    return a.isNull() != b.isNull() || a != b;
}

} // namespace

QList<SlotRename> FieldNamesChange::renames() const
{
    QList<SlotRename> renamed;
    for (auto it = after.constBegin(); it != after.constEnd(); ++it)
        renamed.append({it.key(), before.value(it.key()), it.value()});
    return renamed;
}

QList<SlotRename> FieldNamesChange::apply(Database &database, bool forward)
{
    const QMap<int, QString> &left = forward ? before : after;
    QMap<int, QString> &names = forward ? after : before;
    QList<SlotRename> renamed;
    QHash<QString, int> going;
    for (auto it = names.constBegin(); it != names.constEnd(); ++it) {
        const QString current = database.fieldNameForColumnID(Database::columnIdentifier(it.key()));
        // Only slots whose names differ are renamed, so only they notify.
        if (sameField(current, left.value(it.key())) && differ(current, it.value())) {
            renamed.append({it.key(), current, it.value()});
            if (!current.isEmpty())
                ++going[current];
        }
    }
    // A name that another field took since stays that field's: this one
    // comes under a free name, which its tags follow, and the step keeps it
    // so that the other way finds what it left.
    QSet<QString> given;
    const auto taken = [&](const QString &name) {
        return given.contains(name) || database.slotsNamed(name) > going.value(name);
    };
    QList<std::pair<int, QString>> newNames;
    for (SlotRename &rename : renamed) {
        if (!rename.to.isEmpty()) {
            const QString name = Database::uniqueName(rename.to, taken);
            if (name != rename.to) {
                rename.to = name;
                names.insert(rename.slot, name);
            }
            given.insert(name);
        }
        newNames.append({rename.slot, rename.to});
    }
    database.changeFieldNamesTo(newNames);
    if (addressBefore && database.addressFieldNo() == (forward ? *addressBefore : *addressAfter))
        putAddressColumn(database, forward ? *addressAfter : *addressBefore);
    return renamed;
}

void EntryValueChanges::apply(bool forward) const
{
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QVariant &written = after.isEmpty() ? afterValue : after.at(i);
        // A cell edited since holds what the user wrote there, which stays.
        if (entries.at(i)->value(key) != (forward ? before.at(i) : written))
            continue;
        const QVariant &value = forward ? written : before.at(i);
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

bool EntryListSnapshotCommand::followField(int from, int to)
{
    const QString fromID = Database::columnIdentifier(from);
    if (to < 0) {
        m_step.values.removeIf([&](const EntryValueChanges &values) { return values.key == fromID; });
        m_step.held.remove(from);
        m_step.unnamed.remove(from);
    } else {
        const QString toID = Database::columnIdentifier(to);
        for (EntryValueChanges &values : m_step.values) {
            if (values.key == fromID)
                values.key = toID;
        }
        if (m_step.held.contains(from) && !m_step.held.contains(to))
            m_step.held.insert(to, m_step.held.take(from));
        if (m_step.unnamed.contains(from) && !m_step.unnamed.contains(to))
            m_step.unnamed.insert(to, m_step.unnamed.take(from));
    }
    for (HeldField &field : m_step.held) {
        if (field.addressPutAt == from)
            field.addressPutAt = to;
    }
    if (!m_step.fields)
        return false;
    FieldNamesChange &names = *m_step.fields;
    for (int *slot : {&names.addressFound, &names.addressLeft}) {
        if (*slot == from)
            *slot = to;
    }
    const bool made = names.after.contains(from) && !names.after.value(from).isEmpty()
                      && names.before.value(from).isEmpty();
    if (to < 0) {
        names.before.remove(from);
        names.after.remove(from);
        return made;
    }
    // A step that named the target slot as well keeps what it knew of it.
    if (names.after.contains(from) && !names.after.contains(to)) {
        names.before.insert(to, names.before.take(from));
        names.after.insert(to, names.after.take(from));
    }
    for (std::optional<int> *slot : {&names.addressBefore, &names.addressAfter}) {
        if (*slot == from)
            *slot = to;
    }
    return made;
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
