#include "RichText.h"

#include <algorithm>

RichText::RichText(const QString &text, const TextAttributes &attributes)
    : m_text(text)
{
    // One run needs no normalising; tag values are made this way for every recipient.
    if (!m_text.isEmpty()) {
        m_runs.append(Run{int(m_text.size()), attributes});
        m_runStarts.append(0);
    }
}

TextRange RichText::clamped(TextRange range) const
{
    const int size = length();
    if (range.location < 0)
        return {0, 0};
    const int location = std::min(range.location, size);
    if (range.length < 0)
        return {location, 0};
    // 64-bit so that a huge location plus a huge length cannot overflow.
    const qint64 end = std::min<qint64>(qint64(location) + range.length, size);
    return {location, int(end - location)};
}

int RichText::runIndexAt(int index) const
{
    const auto after = std::upper_bound(m_runStarts.cbegin(), m_runStarts.cend(), index);
    return int(after - m_runStarts.cbegin()) - 1;
}

// Puts `replacement` in place of runs [first, last), then merges it with the
// neighbours on both sides, so that only the touched stretch is compacted
// and an append costs no more than the appended runs.
void RichText::spliceRuns(int first, int last, const QList<Run> &replacement)
{
    const int count = int(m_runs.size());
    const int low = first > 0 ? first - 1 : first;
    const int high = last < count ? last + 1 : last;

    QList<Run> merged;
    merged.reserve(replacement.size() + 2);
    const auto take = [&merged](const Run &run) {
        if (run.length <= 0)
            return;
        if (!merged.isEmpty() && merged.last().attributes == run.attributes)
            merged.last().length += run.length;
        else
            merged.append(run);
    };
    for (int i = low; i < first; ++i)
        take(m_runs[i]);
    for (const Run &run : replacement)
        take(run);
    for (int i = last; i < high; ++i)
        take(m_runs[i]);

    if (high == count) {
        m_runs.resize(low);
        m_runs.append(merged);
    } else {
        QList<Run> runs;
        runs.reserve(low + merged.size() + (count - high));
        runs.append(m_runs.mid(0, low));
        runs.append(merged);
        runs.append(m_runs.mid(high));
        m_runs = std::move(runs);
    }

    m_runStarts.resize(low);
    int position = low > 0 ? m_runStarts[low - 1] + m_runs[low - 1].length : 0;
    for (qsizetype i = low; i < m_runs.size(); ++i) {
        m_runStarts.append(position);
        position += m_runs[i].length;
    }
}

TextAttributes RichText::attributesAtIndex(int index, TextRange *effectiveRange) const
{
    if (index < 0 || index >= length()) {
        if (effectiveRange)
            *effectiveRange = {length(), 0};
        return {};
    }
    const int run = runIndexAt(index);
    if (effectiveRange)
        *effectiveRange = {m_runStarts[run], m_runs[run].length};
    return m_runs[run].attributes;
}

QVariant RichText::attributeAtIndex(const QString &name, int index, TextRange *effectiveRange,
                                    const TextRange *within) const
{
    if (index < 0 || index >= length()) {
        if (effectiveRange)
            *effectiveRange = {length(), 0};
        return {};
    }
    const int run = runIndexAt(index);
    const QVariant value = m_runs[run].attributes.value(name);
    if (!effectiveRange)
        return value;

    const TextRange limit = within ? clamped(*within) : TextRange{0, length()};
    if (index < limit.location || index >= limit.end()) {
        *effectiveRange = {index, 0};
        return value;
    }
    int low = run;
    while (low > 0 && m_runStarts[low] > limit.location && m_runs[low - 1].attributes.value(name) == value)
        --low;
    int high = run;
    while (high + 1 < m_runs.size() && runEnd(high) < limit.end()
           && m_runs[high + 1].attributes.value(name) == value)
        ++high;
    const int start = std::max(m_runStarts[low], limit.location);
    const int end = std::min(runEnd(high), limit.end());
    *effectiveRange = {start, end - start};
    return value;
}

void RichText::replaceCharacters(TextRange range, const QString &text)
{
    range = clamped(range);
    TextAttributes attributes;
    if (range.length > 0 || range.location > 0)
        attributes = attributesAtIndex(range.length > 0 ? range.location : range.location - 1);
    else
        attributes = attributesAtIndex(0);
    replaceCharacters(range, RichText(text, attributes));
}

void RichText::replaceCharacters(TextRange range, const RichText &text)
{
    range = clamped(range);
    if (range.length == 0 && text.isEmpty())
        return;
    // `text` may be this very object; a copy keeps its runs stable while ours change.
    const RichText source = text;
    const int count = int(m_runs.size());

    int first = count;
    int last = count;
    QList<Run> replacement;
    replacement.reserve(source.m_runs.size() + 2);
    if (range.location < length()) {
        first = runIndexAt(range.location);
        const int prefix = range.location - m_runStarts[first];
        if (range.length > 0)
            last = runIndexAt(range.end() - 1) + 1;
        else
            last = prefix > 0 ? first + 1 : first;
        if (prefix > 0)
            replacement.append(Run{prefix, m_runs[first].attributes});
        replacement.append(source.m_runs);
        if (last > first && runEnd(last - 1) > range.end())
            replacement.append(Run{runEnd(last - 1) - range.end(), m_runs[last - 1].attributes});
    } else {
        replacement.append(source.m_runs);
    }
    m_text.replace(range.location, range.length, source.m_text);
    spliceRuns(first, last, replacement);
}

void RichText::insert(int index, const RichText &text)
{
    replaceCharacters(TextRange{index, 0}, text);
}

void RichText::append(const RichText &text)
{
    replaceCharacters(TextRange{length(), 0}, text);
}

void RichText::appendCharacters(QStringView characters, const TextAttributes &attributes)
{
    if (characters.isEmpty())
        return;
    const int start = length();
    m_text.append(characters);
    if (!m_runs.isEmpty() && m_runs.last().attributes == attributes) {
        m_runs.last().length += int(characters.size());
        return;
    }
    m_runs.append(Run{int(characters.size()), attributes});
    m_runStarts.append(start);
}

void RichText::deleteCharacters(TextRange range)
{
    replaceCharacters(range, RichText());
}

void RichText::editAttributes(TextRange range, const std::function<void(TextAttributes &)> &edit)
{
    range = clamped(range);
    if (range.length == 0)
        return;
    const int first = runIndexAt(range.location);
    const int last = runIndexAt(range.end() - 1) + 1;
    QList<Run> replacement;
    replacement.reserve(last - first + 2);
    for (int i = first; i < last; ++i) {
        const int start = std::max(m_runStarts[i], range.location);
        const int end = std::min(runEnd(i), range.end());
        if (start > m_runStarts[i])
            replacement.append(Run{start - m_runStarts[i], m_runs[i].attributes});
        Run edited{end - start, m_runs[i].attributes};
        edit(edited.attributes);
        replacement.append(std::move(edited));
        if (runEnd(i) > end)
            replacement.append(Run{runEnd(i) - end, m_runs[i].attributes});
    }
    spliceRuns(first, last, replacement);
}

void RichText::setAttributes(const TextAttributes &attributes, TextRange range)
{
    editAttributes(range, [&attributes](TextAttributes &current) { current = attributes; });
}

void RichText::addAttribute(const QString &name, const QVariant &value, TextRange range)
{
    if (!value.isValid()) {
        removeAttribute(name, range);
        return;
    }
    editAttributes(range, [&](TextAttributes &current) { current.insert(name, value); });
}

void RichText::addAttributes(const TextAttributes &attributes, TextRange range)
{
    editAttributes(range, [&attributes](TextAttributes &current) {
        for (auto it = attributes.cbegin(); it != attributes.cend(); ++it) {
            if (it.value().isValid())
                current.insert(it.key(), it.value());
            else
                current.remove(it.key());
        }
    });
}

void RichText::removeAttribute(const QString &name, TextRange range)
{
    editAttributes(range, [&name](TextAttributes &current) { current.remove(name); });
}

RichText RichText::attributedSubstring(TextRange range) const
{
    range = clamped(range);
    RichText result;
    if (range.length == 0)
        return result;
    result.m_text = m_text.mid(range.location, range.length);
    const int first = runIndexAt(range.location);
    const int last = runIndexAt(range.end() - 1) + 1;
    for (int i = first; i < last; ++i) {
        const int start = std::max(m_runStarts[i], range.location);
        const int end = std::min(runEnd(i), range.end());
        result.m_runStarts.append(start - range.location);
        result.m_runs.append(Run{end - start, m_runs[i].attributes});
    }
    return result;
}

RichText RichText::deepClone() const
{
    RichText copy = *this;
    for (Run &run : copy.m_runs) {
        const auto it = run.attributes.constFind(TextAttributeName::Attachment);
        if (it == run.attributes.cend() || it->typeId() != qMetaTypeId<TextAttachmentRef>())
            continue;
        if (const TextAttachmentRef attachment = it->value<TextAttachmentRef>())
            run.attributes.insert(TextAttributeName::Attachment, QVariant::fromValue(attachment->deepClone()));
    }
    return copy;
}

bool operator==(const RichText &a, const RichText &b)
{
    if (a.m_text != b.m_text)
        return false;
    // Run boundaries may differ where attachments equal by content are
    // different objects, so the runs are compared over their overlaps.
    qsizetype i = 0;
    qsizetype j = 0;
    int endA = 0;
    int endB = 0;
    while (i < a.m_runs.size() && j < b.m_runs.size()) {
        if (!textAttributesEqual(a.m_runs[i].attributes, b.m_runs[j].attributes))
            return false;
        const int nextA = endA + a.m_runs[i].length;
        const int nextB = endB + b.m_runs[j].length;
        if (nextA <= nextB) {
            endA = nextA;
            ++i;
        }
        if (nextB <= nextA) {
            endB = nextB;
            ++j;
        }
    }
    return true;
}
