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

QString Personalizer::personalizeHTMLSource(const RichText &source, const DatabaseEntry *entry,
                                            const Database::ColumnMap *mapping, const MessageData *messageData)
{
    QString out;
    out.reserve(source.length());
    const QStringView characters(source.string());
    int position = 0;
    for (const RichText::Run &run : source.runs()) {
        if (const SimpleTagRef tag = tagInAttributes(run.attributes))
            out += tag->getHTMLSourceValueForData(entry, mapping, messageData);
        else if (!run.attributes.contains(TextAttributeName::Attachment))
            out += characters.mid(position, run.length);
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
        if (const SimpleTagRef tag = tagInAttributes(run.attributes)) {
            const RichText value = tag->getValueForData(entry, mapping, messageData);
            const QStringView valueCharacters(value.string());
            int valuePosition = 0;
            for (const RichText::Run &valueRun : value.runs()) {
                result.appendCharacters(valueCharacters.mid(valuePosition, valueRun.length), valueRun.attributes);
                valuePosition += valueRun.length;
            }
        }
        // The tag character stays after its value: the HTML writer puts the
        // tag's own markup (an image) there.
        result.appendCharacters(characters.mid(position, run.length), run.attributes);
        position += run.length;
    }
    return result;
}
