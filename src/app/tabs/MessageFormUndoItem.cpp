#include "MessageFormUndoItem.h"

MessageFormUndoItem::MessageFormUndoItem(MessageTabWidget *widget, MessageForm before,
                                         MessageTabWidget::TagLooks looksBefore, MessageForm after,
                                         MessageTabWidget::TagLooks looksAfter)
    : m_widget(widget), m_before(std::move(before)), m_looksBefore(std::move(looksBefore)),
      m_after(std::move(after)), m_looksAfter(std::move(looksAfter))
{
}

void MessageFormUndoItem::undo()
{
    if (m_widget)
        m_widget->restoreForm(m_before, m_looksBefore);
}

void MessageFormUndoItem::redo()
{
    if (m_widget)
        m_widget->restoreForm(m_after, m_looksAfter);
}
