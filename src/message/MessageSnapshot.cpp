#include "MessageSnapshot.h"

#include "AttributedTagString.h"
#include "HTMLPlainText.h"
#include "StringToHTML.h"
#include "TemplateManager.h"

#include <QSet>

namespace {

QString formattedPage(const MessageParts &parts, bool fullPath, const QString &messageID,
                      const Personalizer &personalizer)
{
    return StringToHTML::htmlString(personalizer.personalizeAttributedString(*parts.body), parts.background, fullPath,
                                    messageID, true, personalizer.contentIdNames(), parts.textFont);
}

} // namespace

namespace MessageOutput {

bool htmlPartAvailable(const MessageParts &parts)
{
    return parts.mode != MessageMode::Plain;
}

QString plainTextStringWithPersonalizer(const MessageParts &parts, const Personalizer &personalizer)
{
    // An empty text part shows nothing in mail programs that show text; a
    // part of white space only is no more the author's than none.
    if (parts.mode == MessageMode::RawHTML && parts.plainPart->string().trimmed().isEmpty())
        return HTMLPlainText::fromHTML(personalizer.personalizeHTMLSource(*parts.htmlSource));
    const RichText &text = parts.mode == MessageMode::RawHTML ? *parts.plainPart : *parts.body;
    QString plain = AttributedTagString::taglessString(personalizer.personalizeAttributedString(text));
    // The text views end a line at these as at a line feed (Shift+Return
    // types the first); mail programs show them as no line end at all.
    plain.replace(QChar::LineSeparator, u'\n');
    plain.replace(QChar::ParagraphSeparator, u'\n');
    return plain;
}

QString htmlTextStringWithFullPath(const MessageParts &parts, bool fullPath, const QString &messageID,
                                   const Personalizer &recipientPersonalizer)
{
    // Files whose plain names clash must each be named as their own part.
    Personalizer personalizer = recipientPersonalizer;
    personalizer.setContentIdNames(parts.contentIdNames
                                       ? parts.contentIdNames
                                       : std::make_shared<const ContentIdNames>(inlineAttachments(parts)));
    switch (parts.mode) {
    case MessageMode::Plain:
        return {};
    case MessageMode::RawHTML:
        // File-link tags follow the personaliser's own path and id settings.
        return personalizer.personalizeHTMLSource(*parts.htmlSource);
    case MessageMode::Formatted:
        return formattedPage(parts, fullPath, messageID, personalizer);
    case MessageMode::Template:
        break;
    }
    // A template that is gone would leave an empty HTML part; the message
    // itself is still there to send as a page of its own.
    if (!parts.messageTemplate)
        return formattedPage(parts, fullPath, messageID, personalizer);
    const QString fragment = StringToHTML::htmlString(personalizer.personalizeAttributedString(*parts.body),
                                                      parts.background, fullPath, messageID, false,
                                                      personalizer.contentIdNames(), parts.textFont);
    // Personalised again for the template's own file-link tags.
    return personalizer.personalizeHTMLSource(parts.messageTemplate->applyToString(RichText(fragment)));
}

QStringList inlineAttachments(const MessageParts &parts)
{
    QStringList files;
    switch (parts.mode) {
    case MessageMode::Plain:
        return {};
    case MessageMode::RawHTML:
        files = AttributedTagString::inlineFileAttachments(*parts.htmlSource);
        break;
    case MessageMode::Formatted:
    case MessageMode::Template:
        files = AttributedTagString::inlineFileAttachments(*parts.body);
        if (parts.mode == MessageMode::Template && parts.messageTemplate)
            files += parts.messageTemplate->inlineAttachments();
        break;
    }
    QStringList unique;
    QSet<QString> seen;
    for (const QString &file : files) {
        if (!seen.contains(file)) {
            seen.insert(file);
            unique << file;
        }
    }
    return unique;
}

} // namespace MessageOutput

namespace {

// A copy of its own whose tags tell no view about clicks: the tab that
// handles them may be gone while a run still reads the copy.
RichText detachedClone(const RichText &text)
{
    RichText copy = text.deepClone();
    AttributedTagString::setAttachmentDelegate(copy, nullptr);
    return copy;
}

} // namespace

MessageSnapshot::MessageSnapshot(MessageMode mode, const RichText &subject, const RichText &body,
                                 const RichText &htmlSource, const RichText &plainPart,
                                 const std::optional<RgbaColor> &background, const QString &templateName,
                                 const std::optional<FontDescriptor> &textFont)
    : m_mode(mode)
    , m_subject(detachedClone(subject))
    , m_body(detachedClone(body))
    , m_background(background)
    , m_textFont(textFont)
{
    if (mode == MessageMode::RawHTML) {
        m_htmlSource = detachedClone(htmlSource);
        m_plainPart = detachedClone(plainPart);
    }
    if (mode == MessageMode::Template) {
        m_templateName = templateName;
        m_template = TemplateManager::defaultManager().templateForName(templateName);
    }
    m_inlineFiles = MessageOutput::inlineAttachments(parts());
    m_contentIdNames = std::make_shared<const ContentIdNames>(m_inlineFiles);
}

MessageParts MessageSnapshot::parts() const
{
    MessageParts parts;
    parts.mode = m_mode;
    parts.body = &m_body;
    parts.htmlSource = &m_htmlSource;
    parts.plainPart = &m_plainPart;
    parts.background = m_background;
    parts.textFont = m_textFont;
    parts.messageTemplate = m_template.get();
    parts.contentIdNames = m_contentIdNames;
    return parts;
}

QString MessageSnapshot::plainTextStringWithPersonalizer(const Personalizer &personalizer) const
{
    return MessageOutput::plainTextStringWithPersonalizer(parts(), personalizer);
}

QString MessageSnapshot::htmlTextStringWithFullPath(bool fullPath, const QString &messageID,
                                                    const Personalizer &personalizer) const
{
    return MessageOutput::htmlTextStringWithFullPath(parts(), fullPath, messageID, personalizer);
}
