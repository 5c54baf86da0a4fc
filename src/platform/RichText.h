#pragma once

// Attributed text without a GUI: a UTF-16 string (counted in UTF-16 units,
// as every range here is) and runs of attributes covering it exactly.
// Copies are cheap and independent, except that attachments are shared
// objects, as the text system shares them; deepClone() copies those too.

#include "TextAttachment.h"
#include "TextAttributes.h"

#include <QList>
#include <QMetaType>
#include <QString>

struct TextRange {
    int location = 0;
    int length = 0;
    [[nodiscard]] int end() const { return location + length; }
    friend bool operator==(const TextRange &, const TextRange &) = default;
};

class RichText {
public:
    RichText() = default;
    explicit RichText(const QString &text, const TextAttributes &attributes = {});

    [[nodiscard]] const QString &string() const { return m_text; }
    [[nodiscard]] int length() const { return int(m_text.size()); }
    [[nodiscard]] bool isEmpty() const { return m_text.isEmpty(); }

    // The attributes at an index and, when asked, the whole run that shares
    // them (adjacent runs with equal attributes are one run). An index at or
    // past the end gives no attributes and an empty range at the end.
    [[nodiscard]] TextAttributes attributesAtIndex(int index, TextRange *effectiveRange = nullptr) const;
    // One attribute's value at an index and the longest range around it
    // where that attribute has the same value (or is equally absent),
    // limited to `within` when given.
    [[nodiscard]] QVariant attributeAtIndex(const QString &name, int index, TextRange *effectiveRange = nullptr,
                                            const TextRange *within = nullptr) const;

    // Replaces the characters of the range; the new characters take the
    // attributes of the first replaced character, or for an empty range those
    // of the character before it (the one after it at index 0).
    void replaceCharacters(TextRange range, const QString &text);
    // Replaces the characters of the range with attributed text, keeping its attributes.
    void replaceCharacters(TextRange range, const RichText &text);
    void insert(int index, const RichText &text);
    void append(const RichText &text);
    void deleteCharacters(TextRange range);

    void setAttributes(const TextAttributes &attributes, TextRange range);
    void addAttribute(const QString &name, const QVariant &value, TextRange range);
    void addAttributes(const TextAttributes &attributes, TextRange range);
    void removeAttribute(const QString &name, TextRange range);

    [[nodiscard]] RichText attributedSubstring(TextRange range) const;
    // A copy whose attachments are new objects with cloned cells.
    [[nodiscard]] RichText deepClone() const;

    // Same characters and equal attributes over every position
    // (attachments compared by content, see textAttributesEqual).
    friend bool operator==(const RichText &a, const RichText &b);

    struct Run {
        int length = 0;
        TextAttributes attributes;
    };
    // The runs in order, adjacent equal runs merged, no empty run.
    [[nodiscard]] const QList<Run> &runs() const { return m_runs; }

private:
    void normalize();
    QString m_text;
    QList<Run> m_runs;
};

Q_DECLARE_METATYPE(RichText)
