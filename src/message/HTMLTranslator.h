#pragma once

// Copies HTML text into rich text, character for character outside tags,
// and lets a delegate put rich text (a tag) in place of any word inside a
// tag: how a template's or an imported page's file references become
// file-link tags.

#include "RichText.h"

#include <QVariantMap>

class HTMLTranslator;

class HTMLTranslatorDelegate {
public:
    virtual ~HTMLTranslatorDelegate() = default;
    // attribute: "name" and, when the word holds "=", "value" (quotes
    // removed). To replace the word, call setReplacementString before returning.
    virtual void htmlTranslatorHandleTagAttribute(HTMLTranslator &translator, const QVariantMap &attribute) = 0;
};

class HTMLTranslator {
public:
    void setDelegate(HTMLTranslatorDelegate *delegate) { m_delegate = delegate; }
    void setReplacementString(const RichText &replacement) { m_replacementString = replacement; }
    [[nodiscard]] const RichText &replacementString() const { return m_replacementString; }

    // A "<" with no ">" after it is ordinary text.
    [[nodiscard]] RichText parseHTMLString(const QString &html);

private:
    HTMLTranslatorDelegate *m_delegate = nullptr;
    RichText m_replacementString;
};
