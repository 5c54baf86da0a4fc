#include "UndoRouter.h"

#include <QTextDocument>
#include <QUndoStack>

UndoRouter::UndoRouter(QUndoStack *documentStack, QObject *parent)
    : QObject(parent), m_documentStack(documentStack)
{
    if (!documentStack)
        return;
    const auto stackChanged = [this] {
        if (!m_text)
            emit changed();
    };
    connect(documentStack, &QUndoStack::canUndoChanged, this, stackChanged);
    connect(documentStack, &QUndoStack::canRedoChanged, this, stackChanged);
    // A new step after another changes the name, not whether there is one.
    connect(documentStack, &QUndoStack::undoTextChanged, this, stackChanged);
    connect(documentStack, &QUndoStack::redoTextChanged, this, stackChanged);
}

void UndoRouter::setText(QTextDocument *text)
{
    if (text == m_text)
        return;
    for (const QMetaObject::Connection &connection : std::as_const(m_textConnections))
        disconnect(connection);
    m_textConnections.clear();
    m_text = text;
    if (text) {
        m_textConnections = {
            connect(text, &QTextDocument::undoAvailable, this, &UndoRouter::changed),
            connect(text, &QTextDocument::redoAvailable, this, &UndoRouter::changed),
            // By now the pointer reads null already.
            connect(text, &QObject::destroyed, this, [this] {
                m_textConnections.clear();
                emit changed();
            }),
        };
    }
    emit changed();
}

bool UndoRouter::routesToText() const
{
    return !m_text.isNull();
}

bool UndoRouter::isDocumentLocked() const
{
    return m_documentLocked && m_documentLocked();
}

bool UndoRouter::canUndo() const
{
    if (m_text)
        return m_text->isUndoAvailable();
    return m_documentStack && m_documentStack->canUndo() && !isDocumentLocked();
}

bool UndoRouter::canRedo() const
{
    if (m_text)
        return m_text->isRedoAvailable();
    return m_documentStack && m_documentStack->canRedo() && !isDocumentLocked();
}

QString UndoRouter::undoText() const
{
    return !m_text && canUndo() ? m_documentStack->undoText() : QString();
}

QString UndoRouter::redoText() const
{
    return !m_text && canRedo() ? m_documentStack->redoText() : QString();
}

void UndoRouter::undo()
{
    if (m_text)
        m_text->undo();
    else if (m_documentStack && !isDocumentLocked())
        m_documentStack->undo();
}

void UndoRouter::redo()
{
    if (m_text)
        m_text->redo();
    else if (m_documentStack && !isDocumentLocked())
        m_documentStack->redo();
}
