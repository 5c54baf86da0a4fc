#pragma once

// Random sequences of what a user does to a recipient table whose fields
// the message uses: rows added, removed and duplicated, fields made,
// renamed and removed, rows numbered, imports with new and known titles,
// cell edits, undo and redo, through RecipientCommands and a message wired
// to it as the document window wires them. Every value is written as
// "<field name>:<text>" and every field has a field tag in the body and a
// rule of a condition in the subject. After every step:
// - a tag and its rule name the field they were written for, or nothing
//   while that field is not in the table;
// - every field of the table is named by the tags of one field;
// - each value shown under a field was written under a name of that field
//   (or is a number of "number the rows" on it), and no value lies in a
//   column without a field.
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
