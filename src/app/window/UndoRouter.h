#pragma once

// Where Edit ▸ Undo and Redo go: to the history of the text being edited
// while a text view has the focus, else to the document's. Without widgets:
// the window hands over the focused view's text as the focus moves.
//
// Main thread only.

#include <QObject>
#include <QPointer>

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

    [[nodiscard]] bool canUndo() const;
    [[nodiscard]] bool canRedo() const;

public slots:
    void undo();
    void redo();

signals:
    // What canUndo() or canRedo() answer may have changed.
    void changed();

private:
    QPointer<QUndoStack> m_documentStack;
    QPointer<QTextDocument> m_text;
    QList<QMetaObject::Connection> m_textConnections;
};
