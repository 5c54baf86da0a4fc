#include "Personalizer.h"

#include "AttributedTagString.h"

#include "AppException.h"

Personalizer::Personalizer(const Database &database)
    : m_entries(database.entryArray())
    , m_mapping(database.fieldNameColumnIDMapping())
{
}

Personalizer::Personalizer(Database::EntryList entries, Database::ColumnMap mapping)
    : m_entries(std::move(entries))
    , m_mapping(std::move(mapping))
{
}

MessageData Personalizer::currentMessageData() const
{
    if (m_addressNo < 0 || m_addressNo >= m_entries.size())
        throw AppException(ExceptionNames::InvalidArgument, QStringLiteral("Address id not in valid range"));
    MessageData messageData;
    // The row's number, not a count of sent messages: skipped rows leave gaps.
    messageData.messageNumber = qint64(m_addressNo) + 1;
    messageData.fullPath = m_useLocalPath;
    if (!m_messageId.isNull())
        messageData.messageId = m_messageId;
    messageData.contentIdNames = m_contentIdNames.get();
    return messageData;
}

RichText Personalizer::personalizeAttributedString(const RichText &text) const
{
    const MessageData messageData = currentMessageData();
    return personalizeAttributedString(text, m_entries.at(m_addressNo).get(), &m_mapping, &messageData);
}

QString Personalizer::personalizeHTMLSource(const RichText &source) const
{
    const MessageData messageData = currentMessageData();
    return personalizeHTMLSource(source, m_entries.at(m_addressNo).get(), &m_mapping, &messageData);
}

namespace {

constexpr QChar TagCharacter(0xFFFC);

// Only U+FFFC is a tag. A character beside it may carry the same attributes
// (a line break typed after a picture in an earlier version, stored so), and
// is text: calls `text` for the pieces between the tag characters and `tag`
// for each tag character.
template<typename Text, typename Tag>
void splitAtTagCharacters(QStringView run, Text text, Tag tag)
{
    qsizetype from = 0;
    for (qsizetype at = run.indexOf(TagCharacter); at >= 0; at = run.indexOf(TagCharacter, from)) {
        if (at > from)
            text(run.sliced(from, at - from));
        tag(run.sliced(at, 1));
        from = at + 1;
    }
    if (from < run.size())
        text(run.sliced(from));
}

TextAttributes withoutAttachment(TextAttributes attributes)
{
    attributes.remove(TextAttributeName::Attachment);
    return attributes;
}

} // namespace

QString Personalizer::personalizeHTMLSource(const RichText &source, const DatabaseEntry *entry,
                                            const Database::ColumnMap *mapping, const MessageData *messageData)
{
    QString out;
    out.reserve(source.length());
    const QStringView characters(source.string());
    int position = 0;
    for (const RichText::Run &run : source.runs()) {
        const QStringView runCharacters = characters.mid(position, run.length);
        if (!run.attributes.contains(TextAttributeName::Attachment)) {
            out += runCharacters;
        } else {
            const SimpleTagRef tag = tagInAttributes(run.attributes);
            splitAtTagCharacters(
                runCharacters, [&out](QStringView text) { out += text; },
                [&](QStringView) {
                    if (tag)
                        out += tag->getHTMLSourceValueForData(entry, mapping, messageData);
                });
        }
        position += run.length;
    }
    return out;
}

RichText Personalizer::personalizeAttributedString(const RichText &text, const DatabaseEntry *entry,
                                                   const Database::ColumnMap *mapping,
                                                   const MessageData *messageData)
{
    // Built piece by piece: this runs three times per recipient in a send run.
    RichText result;
    const QStringView characters(text.string());
    int position = 0;
    for (const RichText::Run &run : text.runs()) {
        const QStringView runCharacters = characters.mid(position, run.length);
        position += run.length;
        const SimpleTagRef tag = tagInAttributes(run.attributes);
        if (!tag) {
            result.appendCharacters(runCharacters, run.attributes);
            continue;
        }
        splitAtTagCharacters(
            runCharacters,
            [&](QStringView piece) { result.appendCharacters(piece, withoutAttachment(run.attributes)); },
            [&](QStringView tagCharacter) {
                const RichText value = tag->getValueForData(entry, mapping, messageData);
                const QStringView valueCharacters(value.string());
                // The value stands where the tag stood: in its link, unless
                // it has one of its own.
                const auto link = run.attributes.constFind(TextAttributeName::Link);
                int valuePosition = 0;
                for (const RichText::Run &valueRun : value.runs()) {
                    // Marked as a tag's value, also where the tag's looks
                    // were never set whole (a tag given only the view's
                    // font): the HTML writer keeps a value in the paragraph
                    // and the list item it stands in, and its characters out
                    // of item markers.
                    TextAttributes attributes = valueRun.attributes;
                    if (!attributes.contains(TextAttributeName::TagMarker))
                        attributes.insert(TextAttributeName::TagMarker, TextAttributeName::TagMarker);
                    if (link != run.attributes.cend() && !attributes.contains(TextAttributeName::Link))
                        attributes.insert(TextAttributeName::Link, *link);
                    result.appendCharacters(valueCharacters.mid(valuePosition, valueRun.length), attributes);
                    valuePosition += valueRun.length;
                }
                // The tag character stays after its value: the HTML writer
                // puts the tag's own markup (an image) there.
                result.appendCharacters(tagCharacter, run.attributes);
            });
    }
    return result;
}
