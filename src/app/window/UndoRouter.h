#pragma once

// Where Edit ▸ Undo and Redo go: to the history of the text being edited
// while a text view has the focus, else to the document's. Without widgets:
// the window hands over the focused view's text as the focus moves. The
// document's steps have names, which the items show; a text's have none.
//
// Main thread only.

#include <QObject>
#include <QPointer>

#include <functional>

class QTextDocument;
class QUndoStack;

class UndoRouter : public QObject {
    Q_OBJECT
public:
    explicit UndoRouter(QUndoStack *documentStack, QObject *parent = nullptr);

    // The text being edited, with its own history; null when no text view
    // has the focus. A text that goes away hands back to the document.
    void setText(QTextDocument *text);
    [[nodiscard]] bool routesToText() const;

    // While this answers true (a send run), the document's history stays as it is.
    void setDocumentLocked(std::function<bool()> locked) { m_documentLocked = std::move(locked); }

    [[nodiscard]] bool canUndo() const;
    [[nodiscard]] bool canRedo() const;
    // The name of the step Undo or Redo would undo or redo; empty when it
    // has none or there is none.
    [[nodiscard]] QString undoText() const;
    [[nodiscard]] QString redoText() const;

public slots:
    void undo();
    void redo();

signals:
    // What canUndo(), canRedo() or the texts answer may have changed.
    void changed();

private:
    [[nodiscard]] bool isDocumentLocked() const;

    QPointer<QUndoStack> m_documentStack;
    QPointer<QTextDocument> m_text;
    std::function<bool()> m_documentLocked;
    QList<QMetaObject::Connection> m_textConnections;
};
