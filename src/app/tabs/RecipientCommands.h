#pragma once

// Every command of the recipient tab over the document's table, without
// widgets: the tab passes rows and column identifiers in, tests call the
// same members.
//
// - Each change to the entry list, each change of values in many entries
//   at once (filters, serial numbers, address clean-up) and each field
//   removal is one undo step on the document's stack, pushed only when
//   something changed, and named for the Edit menu ("Import", "Remove
//   Field “City”"): typing is no step, so what Undo undoes is not always
//   what was done last. The pushed step is what marks the document changed;
//   changes outside undo (cell edits, renames, the address column) emit
//   documentEdited().
// - Undo and redo put every value back under its own field, wherever that
//   field is by then, or nowhere; never under a field made since. A field
//   that a step takes out of the table takes its tags in the message along
//   and gives back exactly those. A name another field has by then is given
//   back as a free one ("n 2"), which the tags follow. The address column
//   goes with its field; where that leaves the table, back to where the
//   step found it, never to a slot without a field. A cell written since a
//   step keeps what was written.
// - While a send run is active every command refuses and changes nothing.
// - Policy that the user hears of (a missing column, an import that left
//   values out, an export that failed) comes out through alert().
//
// Main thread only.

#include "Database.h"
#include "EntryListSnapshotCommand.h"
#include "FieldRemovalCommand.h"

#include <QObject>
#include <QPointer>

#include <functional>

class AddressBookSnapshot;
class BlacklistMatcher;
class MessageTab;
class QUndoStack;

class RecipientCommands : public QObject {
    Q_OBJECT
public:
    // Each step may hold a copy of a long entry list (16 MB per million
    // rows); older steps are dropped.
    static constexpr int UndoLimit = 32;

    // Not owned. The stack gets the limit when it is still empty.
    RecipientCommands(Database *database, QUndoStack *undoStack, QObject *parent = nullptr);

    [[nodiscard]] Database *database() const { return m_database; }
    [[nodiscard]] QUndoStack *undoStack() const { return m_undoStack; }

    // The document's message, whose tags follow the fields that leave the
    // table and come back; not owned, and it outlives the commands.
    void setMessage(MessageTab *message) { m_message = message; }

    // Whether a send run is active; the table is read-only while it is.
    void setRunActiveQuery(std::function<bool()> query) { m_runActive = std::move(query); }
    [[nodiscard]] bool isLocked() const { return m_runActive && m_runActive(); }

    // Entry list. Rows outside the table are ignored.
    // The new entry at the row (appended for -1); its row, or -1.
    int addRecipient(int row);
    bool removeRecipients(const QList<int> &rows);
    // Copies without their last-sent dates appended, the last selected first.
    bool duplicateRecipients(const QList<int> &rows);
    bool sortByColumn(const QString &columnID);
    // The field's values and name go; `viewPosition` is where the view showed
    // its column, for undo to put it back.
    bool removeField(const QString &columnID, int viewPosition);
    // "0", "1", ... in table order under a field column; fixed columns are refused.
    bool addSerialNumbers(const QString &columnID);

    // Active flags (state true: active). Each answers the entries changed.
    int filterByBlacklist(const BlacklistMatcher &blacklist, bool state);
    int filterRows(const QList<int> &rows, bool state);
    int filterAll(bool state);
    int filterMatching(const std::function<bool(const Database::Entry &)> &matches, bool state);
    int checkAddressSyntax();
    int disableRepeatedAddresses();

    // Outside undo.
    bool setAddressColumn(int slot);
    // A field value, or the "active" flag as a bool; "rowIndex" and
    // "lastSent" are refused. An edit of the first row renames the message's
    // tags of the old value when that value is a name no field has.
    bool editCell(int row, const QString &columnID, const QVariant &value);
    enum class Rename { Renamed, Unchanged, Refused };
    // Empty names and names another field has are refused (with an alert).
    // A field made or renamed in a slot that a step to redo would name or
    // change values in ends the steps to redo, as a new step does.
    Rename renameField(const QString &columnID, const QString &name);

    // Imports, each one undo step.
    int importProjectFiles(const QStringList &paths);
    int importVCardFiles(const QStringList &paths);
    // At the row (below 0: at the end).
    int importVCardData(const QByteArray &data, int row);
    // Every person (a null group name) or the members of every group of the name.
    int importContacts(const AddressBookSnapshot &contacts, const QString &groupName, bool collateAddresses);
    // Rows of a delimited text file; `droppedFields` counts fields the reader left out.
    int importRows(const QList<QStringList> &rows, bool firstRowTitles, qint64 droppedFields = 0);
    // Tables dragged from the project window.
    int importDraggedTables(const QByteArray &archive);

    // Not a change; reports failures and changed values.
    bool exportText(const QString &path);

    // For the undo commands.
    void applyStep(EntryListSnapshotCommand::Step &step, bool forward);
    // Takes the field's values and name out of the table into `removed`.
    void takeField(const QString &columnID, RemovedField &removed);
    // Puts the removed field back without touching what was made since: in
    // its own slot while that has no name and no values, else in a slot
    // that is free and that no step before it fills or names, under a name
    // no field has. False, with an alert, when no slot is free; the steps
    // before it then keep none of its values. `step` is the command undone.
    bool restoreField(const QUndoCommand *step, RemovedField &removed);

signals:
    // The view's rows: the list it showed before.
    void entriesReplaced(const Database::EntryList &before, bool orderKept);
    void documentEdited();
    void tagNameChanged(const QString &oldName, const QString &newName);
    // Where the view shows a field's column (-1: last).
    void fieldColumnPlacement(const QString &columnID, int visualPosition);
    // Texts by key in "Localized-Database"; the detail shown as it is.
    void alert(const QString &titleKey, const QString &textKey, const QString &detail);

private:
    using Step = EntryListSnapshotCommand::Step;

    // Runs a change of the entry list (and field names with `fields`) and
    // pushes it, under the name, when it changed anything; answers whether
    // it did.
    bool changeEntries(const QString &name, const std::function<void()> &change, bool fields, bool orderKept = false);
    // Runs a change of the values under the keys inside entries and pushes
    // what changed under the name; answers the entries changed.
    int changeValues(const QString &name, const QStringList &keys, const std::function<void()> &change);
    void push(Step step, const QString &name);
    void push(QUndoCommand *command);
    // The field undo put in slot `to` stood in slot `from` in the steps
    // before `step`: their values, names and removed rows follow it (or,
    // for a `to` below 0, lose them), back to the step that made the field
    // or removed an earlier one there.
    void followField(const QUndoCommand *step, int from, int to);
    // Per slot: whether a step before `step` names it or holds values in it.
    [[nodiscard]] QList<bool> slotsHeldBefore(const QUndoCommand *step) const;
    // Whether a step to redo names the slot or changes values under it.
    [[nodiscard]] bool redoStepsUse(int slot) const;
    void endRedoSteps();
    // The renamed slots' fields, the step applied `forward` or back: one
    // whose name goes takes its tags, and its values and address role if it
    // leaves the table, into the step; one whose name comes gets back what
    // the step took from its slot. `addressWas`: the address slot before
    // the step was applied.
    void moveFields(const QList<SlotRename> &renames, Step &step, bool forward, int addressWas);
    // The index of the command in the stack, -1 when it is not there.
    [[nodiscard]] int indexOf(const QUndoCommand *step) const;
    void reportImport(qint64 droppedValues, int skippedCards, bool tooLarge, const QStringList &unreadable);
    [[nodiscard]] bool isFieldColumn(const QString &columnID) const;
    // No name, and no value in any entry of the table.
    [[nodiscard]] bool isFreeSlot(const QString &columnID) const;

    Database *m_database;
    MessageTab *m_message = nullptr;
    QPointer<QUndoStack> m_undoStack;
    std::function<bool()> m_runActive;
};
