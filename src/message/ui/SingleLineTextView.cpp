#include "SingleLineTextView.h"

#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>

SingleLineTextView::SingleLineTextView(QWidget *parent)
    : TagTextView(parent)
{
    setLineWrapMode(QTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

bool SingleLineTextView::isLineBreakOrTab(const QString &text)
{
    for (const QChar c : text) {
        if (c == u'\n' || c == u'\r' || c == u'\t' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            return true;
    }
    return false;
}

void SingleLineTextView::keyPressEvent(QKeyEvent *event)
{
    // Qt inserts a paragraph for Return and Enter (typed as "\r") and a tab
    // for Tab before it looks at the text, so the keys are dropped too.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        event->accept();
        return;
    default:
        break;
    }
    if (isLineBreakOrTab(event->text())) {
        event->accept();
        return;
    }
    TagTextView::keyPressEvent(event);
}

void SingleLineTextView::inputMethodEvent(QInputMethodEvent *event)
{
    if (isLineBreakOrTab(event->commitString())) {
        QInputMethodEvent withoutCommit(event->preeditString(), event->attributes());
        TagTextView::inputMethodEvent(&withoutCommit);
        event->accept();
        return;
    }
    TagTextView::inputMethodEvent(event);
}

void SingleLineTextView::focusInEvent(QFocusEvent *event)
{
    m_isFirstResponder = true;
    TagTextView::focusInEvent(event);
}

void SingleLineTextView::focusOutEvent(QFocusEvent *event)
{
    // A menu or another window taking the focus leaves this field the one
    // its window will type into.
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason)
        m_isFirstResponder = false;
    TagTextView::focusOutEvent(event);
}
