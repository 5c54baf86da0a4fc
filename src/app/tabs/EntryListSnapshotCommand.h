#pragma once

// One undo step of the recipient table: the entry list before and after,
// the field names and address column the step changed, and values changed
// inside shared entries (active flags, serial numbers, cleaned addresses).
// A field's removal has a step of its own (FieldRemovalCommand). A step
// never holds copies of entries: what is written into an entry after its
// step (a cell edit, a send run's last-sent stamp) stays through its undo
// and redo, except values under a field that the step's undo takes out of
// the table: the step keeps those, and the field's tags, until it gives
// the field back.
// The command is pushed after the change is made, so its first redo() does
// nothing.
//
// Main thread only.

#include "Database.h"

#include "TagRenames.h"

#include <QMap>
#include <QPointer>
#include <QUndoCommand>

#include <optional>

class RecipientCommands;

// The names of the column slots (an empty name is a name; a missing one is
// none) and the address slot.
struct FieldNamesState {
    QMap<int, QString> names;
    int addressSlot = -1;

    [[nodiscard]] static FieldNamesState of(const Database &database);
    friend bool operator==(const FieldNamesState &, const FieldNamesState &) = default;
};

// One slot's name as a step changed it (a null name stands for none).
struct SlotRename {
    int slot = -1;
    QString from;
    QString to;
};

// What one step did to the field names: only the slots it renamed, and the
// address slot only if it moved it. Undo and redo set those and nothing
// else, and only where they still find what the step left: a rename or an
// address column chosen outside undo after the step, or a field another
// undo put back in one of those slots, survives the step's undo and redo.
// A name that another field took since is given as a free one. A null name
// stands for none.
struct FieldNamesChange {
    QMap<int, QString> before;
    QMap<int, QString> after;
    std::optional<int> addressBefore;
    std::optional<int> addressAfter;
    // The address slot the step found and the one it left, moved or not:
    // where a field that the step's undo (redo) takes out of the table
    // leaves the address column.
    int addressFound = -1;
    int addressLeft = -1;

    // None when the two states are equal.
    [[nodiscard]] static std::optional<FieldNamesChange> between(const FieldNamesState &before,
                                                                 const FieldNamesState &after);
    // The slots the step renamed, as it did.
    [[nodiscard]] QList<SlotRename> renames() const;
    // Answers the slots it renamed. A name another field has by then is
    // given as a free one ("n 2"), which the change keeps in its place.
    QList<SlotRename> apply(Database &database, bool forward);
};

// What a field that a step took out of the table took with it: its tags,
// and the values written under it since into rows the table keeps (a
// later field in its slot must not show them).
struct HeldField {
    TagRenames tags;
    Database::RemovedValues values;
    // It was the address column, which went to `addressPutAt` (-1: none):
    // found there still when the field comes back, it comes back with it.
    bool address = false;
    int addressPutAt = -1;
};

// Values under one key changed in the given entries. `after` is either one
// value per entry or empty, when every entry took `afterValue`. An invalid
// value stands for no value. Undo and redo change a cell only where it
// still holds what the other way left there.
struct EntryValueChanges {
    QString key;
    Database::EntryList entries;
    QList<QVariant> before;
    QList<QVariant> after;
    QVariant afterValue;

    [[nodiscard]] bool isEmpty() const { return entries.isEmpty(); }
    void apply(bool forward) const;
};

// Makes the slot the address column where a field stands there, else
// leaves none: on a slot without a field, the next field made there would
// silently become the address column.
void putAddressColumn(Database &database, int slot);

// Positions in `before` of the entries that `after` does not hold.
[[nodiscard]] QList<int> rowsTakenOut(const Database::EntryList &before, const Database::EntryList &after);

class EntryListSnapshotCommand : public QUndoCommand {
public:
    struct Step {
        std::optional<Database::EntryList> entriesBefore;
        std::optional<Database::EntryList> entriesAfter;
        std::optional<FieldNamesChange> fields;
        QList<EntryValueChanges> values;
        // Same entries (or copies) row for row: the view's rows stay put.
        bool orderKept = false;
        // Positions in entriesBefore of the rows the step took out of the
        // table, which its undo brings back. Whatever rows earlier undos
        // bring back are those of the steps before, so an undo that needs
        // to know them reads these and not every step's whole list.
        QList<int> rowsOut;
        // By slot, what the fields this step last took out of the table
        // took with them, for the step applied the other way to give back.
        QMap<int, HeldField> held;
        // By slot, the values rows held in a slot the step named before it
        // did, under no field: taking the field out again leaves them there.
        QMap<int, Database::RemovedValues> unnamed;
    };

    EntryListSnapshotCommand(RecipientCommands *owner, Step step);

    void undo() override;
    void redo() override;

    [[nodiscard]] const Step &step() const { return m_step; }
    // The field this step knew in slot `from` now stands in slot `to` (or,
    // for a `to` below 0, can never come back): its values, name changes,
    // tags and held values go there from now on (or go). Answers whether this step made
    // the field (named the slot), before which the slot held another one.
    bool followField(int from, int to);

private:
    QPointer<RecipientCommands> m_owner;
    Step m_step;
    bool m_done = true;
};
