#pragma once

// Random sequences of what an author does in the body of a formatted
// message, in the document window offscreen: typing, Tab, Return,
// Shift+Return, Backspace and Delete (also at line starts and right after
// an item's marker), caret moves and selections, every list style and None
// from the Format menu, bold, italic and sizes, the four alignments from
// the menu and by their keys, Link... over a selection (one holding a tag
// too) and Remove Link, the caret at and inside links, field and
// message-number tags from the tab's menus, pasted text holding line and
// paragraph separators, copy, cut and paste of the body's own text, undo
// and redo. After every step the three views of the message must agree:
// - the editor's lines: each paragraph split at its line separators, with
//   each tag's value in its place (a value's line feed ends a line there
//   too), the item marker a paragraph begins with ("\t" marker "\t", in
//   its paragraph's list) read by this driver, the paragraph's alignment
//   and the links of its characters' formats (a tag's value is linked as
//   the tag is);
// - the HTML part as a reader lays it out (ReaderLayout: gumbo's tree, not
//   the program's writer): the same lines, an item's marker as its list's
//   kind and number, each line aligned as the editor aligns it (where it
//   shows something) and linked where the editor's is, to the same address;
// - the plain part: the editor's lines, one a line (it shows no links);
// the editor shows exactly its links as links, and the items of each list
// in the editor are numbered 1, 2, 3, ...
// The message's last line is not compared when it is empty: a final line
// end shows nothing in any reader.
//
// The choices come from outside: a seeded generator in the test, the
// fuzzer's bytes in the fuzz target. Main thread, with a QApplication.
//
// An action is one row of the table in EditorLayoutDriver.cpp: a name, a
// weight, and a function that acts as the user does and says what it did.

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class EditorLayoutDriver {
public:
    // A number below the bound (which is at least 1); none ends the sequence.
    using Choose = std::function<std::optional<int>(int bound)>;

    // Opens a document window of its own; drivers made one after another
    // may each have one.
    explicit EditorLayoutDriver(Choose choose);
    ~EditorLayoutDriver();
    EditorLayoutDriver(const EditorLayoutDriver &) = delete;
    EditorLayoutDriver &operator=(const EditorLayoutDriver &) = delete;

    // Starts a new sequence on an empty body with new choices.
    void restart(Choose choose);
    // Runs at most `steps` steps, checking after each; the first fault
    // found, or an empty string.
    [[nodiscard]] QString run(int steps);
    // The steps taken since the last restart, one a line.
    [[nodiscard]] QString log() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};
