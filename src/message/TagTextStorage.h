#pragma once

// The text behind a tag-carrying view, reporting each edit to whoever shows
// it; the renaming and font operations that reach every tag live here.

#include "SimpleTag.h"

#include "RichText.h"

#include <functional>

class TagTextStorage {
public:
    // Tags: the tags changed in place (names, looks); the characters and
    // their attributes are as they were, so a view need only draw them again.
    enum class EditKind { Characters, Attributes, Tags };
    // kind, edited range (in the text before the edit), change in length.
    using EditObserver = std::function<void(EditKind, TextRange, int)>;

    TagTextStorage() = default;
    explicit TagTextStorage(const RichText &text) : m_attribString(text) {}

    [[nodiscard]] const QString &string() const { return m_attribString.string(); }
    [[nodiscard]] const RichText &text() const { return m_attribString; }
    [[nodiscard]] TextAttributes attributesAtIndex(int index, TextRange *effectiveRange = nullptr) const;
    void replaceCharacters(TextRange range, const QString &string);
    void setAttributes(const TextAttributes &attributes, TextRange range);
    void setEditObserver(EditObserver observer) { m_observer = std::move(observer); }

    // Every tag that renames itself takes the new name; no edit is reported.
    void tagNameChanged(const QString &oldName, const QString &newName, TagRenames *renamed = nullptr);
    // Reports a Tags edit of the whole text.
    void tagsEdited() const;
    // Gives every tag the font, then reports an attribute edit of the whole text.
    void setTagFont(const FontDescriptor &font);

private:
    void report(EditKind kind, TextRange range, int delta) const;

    RichText m_attribString;
    EditObserver m_observer;
};
