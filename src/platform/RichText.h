#pragma once

// Attributed text without a GUI: a UTF-16 string (counted in UTF-16 units,
// as every range here is) and runs of attributes covering it exactly.
// Copies are cheap and independent, except that attachments are shared
// objects, as the text system shares them; deepClone() copies those too.
//
// Ranges are forgiving rather than fatal, because they come from views,
// undo and pasted data that may be stale: a range partly past the end is
// cut at the end, one starting past the end is the empty range at the end,
// and a negative location or length makes it empty (at 0 for a negative
// location, at the location for a negative length). Nothing here throws or
// crashes on a bad range.

#include "TextAttachment.h"
#include "TextAttributes.h"

#include <QList>
#include <QMetaType>
#include <QString>

#include <functional>

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
    // them (adjacent runs with equal attributes are one run). An index
    // outside the text gives no attributes and an empty range at the end.
    [[nodiscard]] TextAttributes attributesAtIndex(int index, TextRange *effectiveRange = nullptr) const;
    // One attribute's value at an index and the longest range around it
    // where that attribute has the same value (or is equally absent),
    // limited to `within` when given; an index outside `within` gets the
    // empty range at the index.
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
    // The same as append(RichText(characters, attributes)) without building
    // a text for the piece: amortised constant time, for code that builds a
    // text piece by piece (personalising one message per recipient).
    void appendCharacters(QStringView characters, const TextAttributes &attributes);
    void deleteCharacters(TextRange range);

    void setAttributes(const TextAttributes &attributes, TextRange range);
    // An invalid value removes the attribute, here and in addAttributes: an
    // attribute present without a value would look absent to every reader
    // and yet keep runs apart.
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
    // The runs in order, adjacent equal runs merged, no empty run. Runs are
    // merged only when their attributes are identical, attachments included
    // by identity: two tags that look alike are still two cells, each its
    // own run.
    [[nodiscard]] const QList<Run> &runs() const { return m_runs; }

private:
    [[nodiscard]] TextRange clamped(TextRange range) const;
    [[nodiscard]] int runIndexAt(int index) const;
    [[nodiscard]] int runEnd(int runIndex) const { return m_runStarts[runIndex] + m_runs[runIndex].length; }
    void editAttributes(TextRange range, const std::function<void(TextAttributes &)> &edit);
    void spliceRuns(int first, int last, const QList<Run> &replacement);

    QString m_text;
    QList<Run> m_runs;
    // Where each run starts, kept in step with m_runs so lookups are a
    // binary search and const access needs no lazily filled cache (texts are
    // read from a send run's worker thread).
    QList<int> m_runStarts;
};

Q_DECLARE_METATYPE(RichText)
