#pragma once

// What Edit ▸ Undo, Redo, Cut, Copy, Paste, Delete and Select All do to the
// focused widget, standing in for the first responder: a text field or text
// view does it itself (a tag text view through its own copy and paste, which
// carry the tags); any other widget through the command that it or a widget
// around it marks for it (the recipient table copies its rows as text); a
// table without one can still select all its rows; otherwise nothing.
//
// Main thread only.

class QAction;
class QWidget;

namespace StandardEditing {

enum class Command { Undo, Redo, Cut, Copy, Paste, Delete, SelectAll };

[[nodiscard]] bool canPerform(Command command, QWidget *focus);
// Does nothing where canPerform() answers false.
void perform(Command command, QWidget *focus);

// The action does the command for the widget it was added to and the
// widgets inside that one.
void markAsCommand(QAction *action, Command command);

} // namespace StandardEditing
