#pragma once

// One undo step of the recipient table: the entry list before and after,
// the field names and address column before and after, and values changed
// inside shared entries (active flags, serial numbers, cleaned addresses).
// The command is pushed after the change is made, so its first redo() does
// nothing.
//
// Main thread only.

#include "Database.h"

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
    // Renames only the slots whose names differ, so only they notify.
    void applyTo(Database &database) const;
    friend bool operator==(const FieldNamesState &, const FieldNamesState &) = default;
};

// Values under one key changed in the given entries. `after` is either one
// value per entry or empty, when every entry took `afterValue`. An invalid
// value stands for no value.
struct EntryValueChanges {
    QString key;
    Database::EntryList entries;
    QList<QVariant> before;
    QList<QVariant> after;
    QVariant afterValue;

    [[nodiscard]] bool isEmpty() const { return entries.isEmpty(); }
    void apply(bool forward) const;
};

class EntryListSnapshotCommand : public QUndoCommand {
public:
    struct Step {
        std::optional<Database::EntryList> entriesBefore;
        std::optional<Database::EntryList> entriesAfter;
        std::optional<FieldNamesState> fieldsBefore;
        std::optional<FieldNamesState> fieldsAfter;
        QList<EntryValueChanges> values;
        // Same entries (or copies) row for row: the view's rows stay put.
        bool orderKept = false;
        // A removed field's column: where the view showed it before.
        QString movedColumnID;
        int movedColumnPosition = -1;
    };

    EntryListSnapshotCommand(RecipientCommands *owner, Step step);

    void undo() override;
    void redo() override;

    [[nodiscard]] const Step &step() const { return m_step; }

private:
    QPointer<RecipientCommands> m_owner;
    Step m_step;
    bool m_done = true;
};
