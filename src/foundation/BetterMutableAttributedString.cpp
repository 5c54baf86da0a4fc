#include "BetterMutableAttributedString.h"

#include "BetterString.h"

#include <algorithm>

namespace BetterMutableAttributedString {

namespace {

ParagraphStyle paragraphStyleFrom(const QVariant &value)
{
    if (value.typeId() == qMetaTypeId<ParagraphStyle>())
        return value.value<ParagraphStyle>();
    return ParagraphStyle();
}

bool hasTextLists(const QVariant &value)
{
    return value.typeId() == qMetaTypeId<ParagraphStyle>() && !value.value<ParagraphStyle>().textLists.isEmpty();
}

int lineStartAt(const QString &text, int index)
{
    while (index > 0 && text.at(index - 1) != u'\n')
        --index;
    return index;
}

// Deletes "\t" + marker + "\t" at the start of the line, the marker one of
// the list's: a line whose prefix the user broke stays as it is, and so does
// all the user typed. Returns the number of characters deleted.
int deleteItemPrefix(RichText &text, int lineStart, int lineEnd, const TextList &list)
{
    const int count = int(list.itemPrefixLength(QStringView(text.string()).mid(lineStart, lineEnd - lineStart)));
    if (count == 0)
        return 0;
    text.deleteCharacters(TextRange{lineStart, count});
    return count;
}

} // namespace

void appendString(RichText &text, const QString &string)
{
    text.append(RichText(string));
}

int replaceOccurencesOfString(RichText &text, const QString &target, const QString &replacement,
                              SearchOptions options)
{
    // An empty target would match at every position, forever.
    if (target.isEmpty())
        return 0;
    const Qt::CaseSensitivity sensitivity =
        options.testFlag(SearchOption::CaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    int count = 0;
    qsizetype from = 0;
    for (;;) {
        const qsizetype found = text.string().indexOf(target, from, sensitivity);
        if (found < 0)
            break;
        // Case-insensitive matches are as long as the target: Qt folds unit by unit.
        text.replaceCharacters(TextRange{int(found), int(target.size())}, replacement);
        from = found + replacement.size();
        ++count;
    }
    return count;
}

void setListStyle(RichText &text, const QString &markerFormat, TextRange range,
                  const TextAttributes &defaultAttributes)
{
    BetterString::extendRangeToFullLines(text.string(), range);
    removeListStyle(text, range, &range);

    TextAttributes attributes =
        range.location < text.length() ? text.attributesAtIndex(range.location) : defaultAttributes;
    ParagraphStyle style = paragraphStyleFrom(attributes.value(TextAttributeName::ParagraphStyle));
    TextList list;
    list.markerFormat = markerFormat;
    style.textLists = {list};
    attributes.insert(TextAttributeName::ParagraphStyle, QVariant::fromValue(style));

    int itemNumber = 1;
    auto insertPrefix = [&](int at) {
        const RichText prefix(u'\t' + list.markerForItemNumber(itemNumber++) + u'\t', attributes);
        text.insert(at, prefix);
        return prefix.length();
    };

    int index = range.location;
    int end = range.end();
    if (index == 0 || text.string().at(index - 1) == u'\n') {
        const int inserted = insertPrefix(index);
        index += inserted;
        end += inserted;
    }
    // The walk steps over each inserted prefix: a marker format holding a
    // line feed must not make the walk number its own prefixes for ever.
    for (; index < end; ++index) {
        if (text.string().at(index) != u'\n')
            continue;
        const int inserted = insertPrefix(index + 1);
        index += inserted;
        end += inserted;
    }
}

void removeListStyle(RichText &text, TextRange range, TextRange *newRange)
{
    BetterString::extendRangeToFullLines(text.string(), range);
    int rangeEnd = range.end();
    int position = range.location;
    while (position < rangeEnd) {
        const TextRange within{range.location, rangeEnd - range.location};
        TextRange effective;
        const QVariant value = text.attributeAtIndex(TextAttributeName::ParagraphStyle, position, &effective, &within);
        // A run may reach back before the position once an earlier run lost
        // its list and now equals this one; only the part ahead is new.
        int runStart = position;
        int runEnd = std::clamp(effective.end(), position + 1, rangeEnd);

        if (hasTextLists(value)) {
            const TextList list = value.value<ParagraphStyle>().textLists.last();
            int lineStart = lineStartAt(text.string(), runStart);
            while (lineStart < runEnd) {
                qsizetype lineEnd = text.string().indexOf(u'\n', lineStart);
                if (lineEnd < 0)
                    lineEnd = text.length();
                const int removed = deleteItemPrefix(text, lineStart, int(lineEnd), list);
                if (removed > 0) {
                    // Positions after the deleted characters move back by
                    // them; positions inside move to where they began.
                    const auto shift = [&](int p) { return p - std::clamp(p - lineStart, 0, removed); };
                    runStart = shift(runStart);
                    runEnd = shift(runEnd);
                    rangeEnd = shift(rangeEnd);
                    lineEnd -= removed;
                }
                if (lineEnd >= text.length())
                    break;
                lineStart = int(lineEnd) + 1;
            }
            if (runEnd > runStart) {
                ParagraphStyle plain = value.value<ParagraphStyle>();
                plain.textLists.clear();
                text.addAttribute(TextAttributeName::ParagraphStyle, QVariant::fromValue(plain),
                                  TextRange{runStart, runEnd - runStart});
            }
        }
        position = runEnd;
    }
    if (newRange)
        *newRange = TextRange{range.location, rangeEnd - range.location};
}

} // namespace BetterMutableAttributedString
