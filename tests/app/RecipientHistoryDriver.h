#pragma once

// Random sequences of what a user does to a recipient table whose fields
// the message uses, through RecipientCommands and a message wired to it as
// the document window wires them: rows added, removed and duplicated;
// fields made and renamed under new names, names other fields have or had,
// letter-case variants and "x 2" look-alikes; fields removed; the rows
// numbered, the addresses cleaned up, the address column chosen; imports of
// delimited text (titles new, known, repeated, in another case or empty)
// and of vCards; cell edits; undo and redo; tags and copies of the
// condition cut or copied from the body, the subject or a rule's result
// and pasted into any of them (a condition into no result), once or more,
// as this window's, another document's or another program's data; what
// was cut stays where renames reach it, as in a view's undo history. Every
// field has a field tag in the body and a rule of a condition in the
// subject. Every value carries the identity of the field it was written
// for (a typed value) or of the import column it came from, never a name,
// so a value under another field is seen where names repeat. After every
// step:
// - a tag and its rule name the field they were written for, or nothing
//   while that field is not in the table; so does every copy of them
//   pasted in this window, wherever it went; one pasted from elsewhere
//   reads as copied, without a mark, and then is the tag of the field it
//   names (one without a name stays so); no two fields share a name, and
//   every field of the table is named by the tags of one field;
// - each value shown under a field belongs to that field (or is a number
//   of "number the rows" on it), no value lies in a column without a field,
//   and an import's columns each went to one field of their title;
// - every typed cell whose row and field are in the table shows what was
//   typed last, or what a later step wrote over it while that step is done;
// - the address column is a field or none, and an undo or redo moves it
//   only with a field that leaves or comes back, or as its step did.
//
// The choices come from outside: a seeded generator in the test, the
// fuzzer's bytes in the fuzz target. Main thread only.

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class RecipientHistoryDriver {
public:
    // A number below the bound (which is at least 1); none ends the sequence.
    using Choose = std::function<std::optional<int>(int bound)>;

    explicit RecipientHistoryDriver(Choose choose);
    ~RecipientHistoryDriver();
    RecipientHistoryDriver(const RecipientHistoryDriver &) = delete;
    RecipientHistoryDriver &operator=(const RecipientHistoryDriver &) = delete;

    // Runs at most `steps` steps, checking after each; the first fault
    // found, or an empty string.
    [[nodiscard]] QString run(int steps);
    // The steps taken so far, one a line.
    [[nodiscard]] QString log() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};
