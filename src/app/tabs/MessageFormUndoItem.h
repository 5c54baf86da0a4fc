#pragma once

// The part of a change of the message's form that the body's text history
// cannot hold: the form itself and the looks of the tags. Added to the
// body's history in the same edit block as the change of its text, so one
// undo takes both back.

#include "MessageTabWidget.h"

#include <QAbstractUndoItem>
#include <QPointer>

class MessageFormUndoItem : public QAbstractUndoItem {
public:
    MessageFormUndoItem(MessageTabWidget *widget, MessageForm before, MessageTabWidget::TagLooks looksBefore,
                        MessageForm after, MessageTabWidget::TagLooks looksAfter);

    void undo() override;
    void redo() override;

private:
    QPointer<MessageTabWidget> m_widget;
    MessageForm m_before;
    MessageTabWidget::TagLooks m_looksBefore;
    MessageForm m_after;
    MessageTabWidget::TagLooks m_looksAfter;
};
