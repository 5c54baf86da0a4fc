#include "TagTextStorage.h"

#include "AttributedTagString.h"

TextAttributes TagTextStorage::attributesAtIndex(int index, TextRange *effectiveRange) const
{
    return m_attribString.attributesAtIndex(index, effectiveRange);
}

void TagTextStorage::replaceCharacters(TextRange range, const QString &string)
{
    m_attribString.replaceCharacters(range, string);
    report(EditKind::Characters, range, int(string.size()) - range.length);
}

void TagTextStorage::setAttributes(const TextAttributes &attributes, TextRange range)
{
    m_attribString.setAttributes(attributes, range);
    report(EditKind::Attributes, range, 0);
}

void TagTextStorage::tagNameChanged(const QString &oldName, const QString &newName, TagRenames *renamed)
{
    for (const SimpleTagRef &tag : AttributedTagString::tags(m_attribString))
        tag->tagNameChanged(oldName, newName, renamed);
}

void TagTextStorage::tagsEdited() const
{
    report(EditKind::Tags, TextRange{0, m_attribString.length()}, 0);
}

void TagTextStorage::setTagFont(const FontDescriptor &font)
{
    for (const SimpleTagRef &tag : AttributedTagString::tags(m_attribString))
        tag->setFont(font);
    report(EditKind::Attributes, TextRange{0, m_attribString.length()}, 0);
}

void TagTextStorage::report(EditKind kind, TextRange range, int delta) const
{
    if (m_observer)
        m_observer(kind, range, delta);
}
