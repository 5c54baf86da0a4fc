#pragma once

// A step of a text's history that the text itself cannot hold (the looks of
// tags, the colour behind the text): added in the same edit block as the
// text's own change, so that one undo takes both back.

#include <QAbstractUndoItem>

#include <functional>

class FunctionUndoItem : public QAbstractUndoItem {
public:
    FunctionUndoItem(std::function<void()> undo, std::function<void()> redo)
        : m_undo(std::move(undo)), m_redo(std::move(redo))
    {
    }

    void undo() override { m_undo(); }
    void redo() override { m_redo(); }

private:
    std::function<void()> m_undo;
    std::function<void()> m_redo;
};
