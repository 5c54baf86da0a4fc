#pragma once

#include "TagTextView.h"

// The one-line subject field. Typed line breaks and tabs insert nothing;
// pasted text is inserted as it is.
class SingleLineTextView : public TagTextView {
    Q_OBJECT
public:
    explicit SingleLineTextView(QWidget *parent = nullptr);

    // Whether the field holds the keyboard focus in its window: the message
    // tab then inserts tags here rather than into the body.
    [[nodiscard]] bool isActive() const { return m_isFirstResponder; }

    // Text containing a line feed, carriage return, line or paragraph
    // separator or tab (what Return, Enter and Tab type).
    [[nodiscard]] static bool isLineBreakOrTab(const QString &text);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    bool m_isFirstResponder = false;
};
