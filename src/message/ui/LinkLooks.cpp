#include "LinkLooks.h"

#include <QHash>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

LinkLooks::LinkLooks(QTextDocument *document, const QColor &color)
    : QObject(document), m_document(document)
{
    m_looks.setForeground(color);
    m_looks.setFontUnderline(true);
    connect(document, &QTextDocument::contentsChange, this,
            [this](int from, int, int added) { update(from, added); });
    update(0, document->characterCount());
}

void LinkLooks::setColor(const QColor &color)
{
    if (color == m_looks.foreground().color())
        return;
    m_looks.setForeground(color);
    update(0, m_document->characterCount());
}

void LinkLooks::update(int from, int length)
{
    // Formats are shared by index: each is asked once whether it is a link.
    QHash<int, bool> linkFormats;
    const QTextBlock last = m_document->findBlock(from + length);
    for (QTextBlock block = m_document->findBlock(from); block.isValid(); block = block.next()) {
        updateBlock(block, linkFormats);
        if (block == last)
            break;
    }
}

void LinkLooks::updateBlock(const QTextBlock &block, QHash<int, bool> &linkFormats)
{
    QList<QTextLayout::FormatRange> ranges;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        auto known = linkFormats.find(fragment.charFormatIndex());
        if (known == linkFormats.end()) {
            const QTextCharFormat format = fragment.charFormat();
            known = linkFormats.insert(fragment.charFormatIndex(),
                                       format.isAnchor() && !format.anchorHref().isEmpty());
        }
        if (!*known)
            continue;
        const int start = fragment.position() - block.position();
        if (!ranges.isEmpty() && ranges.last().start + ranges.last().length == start)
            ranges.last().length += fragment.length();
        else
            ranges.append({start, fragment.length(), m_looks});
    }
    // Most texts hold no link: their paragraphs' layouts need no look.
    if (ranges.isEmpty() && !m_shown)
        return;
    QTextLayout *layout = block.layout();
    // While an input method composes text in the paragraph, the layout's
    // formats are its own; the paragraph is looked at again when the text
    // comes in.
    if (!layout || !layout->preeditAreaText().isEmpty())
        return;
    const QList<QTextLayout::FormatRange> shown = layout->formats();
    if (shown == ranges)
        return;
    layout->setFormats(ranges);
    m_shown = m_shown || !ranges.isEmpty();
    m_document->markContentsDirty(block.position(), block.length());
}
