#include "StandardEditing.h"

#include <QAbstractItemView>
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace StandardEditing {

namespace {

const char *const CommandProperty = "corvStandardEditCommand";

bool clipboardHasText()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasText();
}

// A password's text is never handed out.
bool canPerform(Command command, const QLineEdit &field)
{
    const bool writable = !field.isReadOnly();
    const bool shown = field.echoMode() == QLineEdit::Normal;
    switch (command) {
    case Command::Undo:
        return writable && field.isUndoAvailable();
    case Command::Redo:
        return writable && field.isRedoAvailable();
    case Command::Cut:
        return writable && shown && field.hasSelectedText();
    case Command::Copy:
        return shown && field.hasSelectedText();
    case Command::Paste:
        return writable && clipboardHasText();
    case Command::Delete:
        return writable && field.hasSelectedText();
    case Command::SelectAll:
        return !field.text().isEmpty();
    }
    return false;
}

void perform(Command command, QLineEdit &field)
{
    switch (command) {
    case Command::Undo: field.undo(); break;
    case Command::Redo: field.redo(); break;
    case Command::Cut: field.cut(); break;
    case Command::Copy: field.copy(); break;
    case Command::Paste: field.paste(); break;
    case Command::Delete: field.del(); break;
    case Command::SelectAll: field.selectAll(); break;
    }
}

// QTextEdit and QPlainTextEdit share these operations without a common base.
template<typename View>
bool canPerformOnText(Command command, const View &view)
{
    const bool writable = !view.isReadOnly();
    const bool selected = view.textCursor().hasSelection();
    switch (command) {
    case Command::Undo:
        return writable && view.isUndoRedoEnabled() && view.document()->isUndoAvailable();
    case Command::Redo:
        return writable && view.isUndoRedoEnabled() && view.document()->isRedoAvailable();
    case Command::Cut:
    case Command::Delete:
        return writable && selected;
    case Command::Copy:
        return selected;
    case Command::Paste:
        return writable && view.canPaste();
    case Command::SelectAll:
        return !view.document()->isEmpty();
    }
    return false;
}

// Copy and paste go through the view's own operations, which a tag text
// view overrides so that the clipboard carries its tags.
template<typename View>
void performOnText(Command command, View &view)
{
    switch (command) {
    case Command::Undo: view.undo(); break;
    case Command::Redo: view.redo(); break;
    case Command::Cut: view.cut(); break;
    case Command::Copy: view.copy(); break;
    case Command::Paste: view.paste(); break;
    case Command::Delete: {
        QTextCursor cursor = view.textCursor();
        cursor.removeSelectedText();
        view.setTextCursor(cursor);
        break;
    }
    case Command::SelectAll: view.selectAll(); break;
    }
}

// The command marked on the widget or one around it, within its window.
QAction *markedAction(Command command, QWidget *focus)
{
    for (QWidget *widget = focus; widget; widget = widget->isWindow() ? nullptr : widget->parentWidget()) {
        for (QAction *action : widget->actions()) {
            const QVariant marked = action->property(CommandProperty);
            if (marked.isValid() && marked.toInt() == int(command))
                return action;
        }
    }
    return nullptr;
}

bool selectsMany(const QAbstractItemView &view)
{
    const auto mode = view.selectionMode();
    return (mode == QAbstractItemView::ExtendedSelection || mode == QAbstractItemView::MultiSelection
            || mode == QAbstractItemView::ContiguousSelection)
           && view.model() && view.model()->rowCount(view.rootIndex()) > 0;
}

} // namespace

bool canPerform(Command command, QWidget *focus)
{
    if (!focus || !focus->isEnabled())
        return false;
    if (const auto *field = qobject_cast<QLineEdit *>(focus))
        return canPerform(command, *field);
    if (const auto *view = qobject_cast<QTextEdit *>(focus))
        return canPerformOnText(command, *view);
    if (const auto *view = qobject_cast<QPlainTextEdit *>(focus))
        return canPerformOnText(command, *view);
    if (const QAction *action = markedAction(command, focus))
        return action->isEnabled();
    if (const auto *view = qobject_cast<QAbstractItemView *>(focus))
        return command == Command::SelectAll && selectsMany(*view);
    return false;
}

void perform(Command command, QWidget *focus)
{
    if (!canPerform(command, focus))
        return;
    if (auto *field = qobject_cast<QLineEdit *>(focus))
        perform(command, *field);
    else if (auto *view = qobject_cast<QTextEdit *>(focus))
        performOnText(command, *view);
    else if (auto *view = qobject_cast<QPlainTextEdit *>(focus))
        performOnText(command, *view);
    else if (QAction *action = markedAction(command, focus))
        action->trigger();
    else if (auto *view = qobject_cast<QAbstractItemView *>(focus))
        view->selectAll();
}

void markAsCommand(QAction *action, Command command)
{
    action->setProperty(CommandProperty, int(command));
}

} // namespace StandardEditing
