#pragma once

// The undo step of a field's removal. The values go from the entries
// themselves and come back into the same entries, so what is written into
// an entry after the step (a cell edit, a last-sent stamp) stays.
//
// Naming a field and typing in a cell are no undo steps, so by the time the
// removal is undone its slot may hold a field or values made since, and
// its name may belong to another field. The undo then never overwrites
// them: the field comes back in a free slot, one that no earlier step still
// fills or names either (or rows coming back later would show another
// field's values under it), and, where its name is taken, under a free one;
// with no slot free it stays removed, and the rows earlier steps bring back
// come without its values. Wherever it came back is where a redo takes it
// from again. The tags it took come back with it, and only those.
//
// The command is pushed after the removal was made, so its first redo()
// does nothing.
//
// Main thread only.

#include "Database.h"

#include "TagRenames.h"

#include <QPointer>
#include <QUndoCommand>

class RecipientCommands;

// What a removal took, and where the field stands when it is in the table.
struct RemovedField {
    QString columnID;
    // A null name stands for none.
    QString name;
    bool wasAddressColumn = false;
    // Only the entries that held a value, with their values.
    Database::EntryList entries;
    QList<QVariant> values;
    // Where the view showed the column when the field was first removed.
    int viewPosition = -1;
    // The tags the removal took, to give back.
    TagRenames tags;
};

class FieldRemovalCommand : public QUndoCommand {
public:
    FieldRemovalCommand(RecipientCommands *owner, RemovedField removed);

    void undo() override;
    void redo() override;

    [[nodiscard]] const RemovedField &removed() const { return m_removed; }

private:
    // Named after the field as it is now: an undo may have put it back
    // under another name.
    void setTextForField(const QString &name);

    QPointer<RecipientCommands> m_owner;
    RemovedField m_removed;
    bool m_done = true;
};
