#include "MessageTab.h"

#include "AttributedTagString.h"
#include "Personalizer.h"
#include "TemplateManager.h"

#include "DictionaryGetters.h"
#include "NotificationNames.h"
#include "Settings.h"

namespace {

constexpr RgbaColor White{1.0f, 1.0f, 1.0f, 1.0f};

// The content of a storage replaced through its own edits, so that
// whoever shows it hears of the change.
void replaceContent(TagTextStorage &storage, const RichText &text)
{
    storage.replaceCharacters(TextRange{0, int(storage.string().size())}, text.string());
    int position = 0;
    for (const RichText::Run &run : text.runs()) {
        storage.setAttributes(run.attributes, TextRange{position, run.length});
        position += run.length;
    }
}

// The platform's fixed-pitch font for plain and HTML-source editing, when it has one.
std::optional<FontDescriptor> fixedPitchFont()
{
    const QString family = Settings::userFixedPitchFontFamily();
    if (family.isEmpty())
        return std::nullopt;
    return FontDescriptor{family, 10.0, false, false};
}

QString flagString(bool flag)
{
    return flag ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

MessageTab::MessageTab()
{
    FormChange initial{form(), RichText()};
    updateAfterModeChange(initial, false);
    setForm(initial.form);
}

void MessageTab::setSubjectText(const RichText &text)
{
    replaceContent(m_subject, text);
}

void MessageTab::setBodyText(const RichText &text)
{
    replaceContent(m_body, text);
}

MessageTab::Mode MessageTab::mode() const
{
    if (m_treatAsHTML)
        return Mode::RawHTML;
    if (m_formattedText)
        return m_templateName.isNull() ? Mode::Formatted : Mode::Template;
    return Mode::Plain;
}

MessageForm MessageTab::form() const
{
    return MessageForm{m_formattedText, m_treatAsHTML,     m_editHTMLPart,   m_templateName,
                       m_alternativeBodyPart, m_bodyFont, m_backgroundColor};
}

void MessageTab::setForm(const MessageForm &form)
{
    m_formattedText = form.formattedText;
    m_treatAsHTML = form.treatAsHTML;
    m_editHTMLPart = form.editHTMLPart;
    m_templateName = form.templateName;
    m_alternativeBodyPart = form.alternativeBodyPart;
    m_bodyFont = form.bodyFont;
    m_backgroundColor = form.backgroundColor;
}

void MessageTab::apply(const FormChange &change)
{
    setForm(change.form);
    replaceContent(m_body, change.body);
}

void MessageTab::setMode(Mode mode, const QString &templateName)
{
    apply(modeChange(mode, templateName));
}

void MessageTab::setEditHTMLPart(bool editHTMLPart)
{
    if (!m_treatAsHTML || editHTMLPart == m_editHTMLPart)
        return;
    apply(editHTMLPartChange(editHTMLPart));
}

MessageTab::FormChange MessageTab::editHTMLPartChange(bool editHTMLPart) const
{
    FormChange change{form(), m_body.text()};
    if (!m_treatAsHTML || editHTMLPart == m_editHTMLPart)
        return change;
    change.body = m_alternativeBodyPart.value_or(RichText());
    change.form.alternativeBodyPart = m_body.text();
    change.form.editHTMLPart = editHTMLPart;
    return change;
}

MessageTab::FormChange MessageTab::modeChange(Mode mode, const QString &templateName) const
{
    FormChange change{form(), m_body.text()};
    MessageForm &f = change.form;
    const bool wasFormatted = f.formattedText;
    if (mode == Mode::Template && templateName.isNull())
        mode = Mode::Formatted;
    switch (mode) {
    case Mode::Formatted:
    case Mode::Plain:
        f.formattedText = mode == Mode::Formatted;
        f.treatAsHTML = false;
        f.templateName = QString();
        break;
    case Mode::Template:
        f.formattedText = true;
        f.treatAsHTML = false;
        f.templateName = templateName;
        break;
    case Mode::RawHTML:
        if (f.treatAsHTML) {
            // Taking the body for the HTML source while it shows the plain
            // part would swap the two parts' meaning.
            change = editHTMLPartChange(true);
        } else {
            f.treatAsHTML = true;
            f.formattedText = false;
            f.editHTMLPart = true;
            f.templateName = QString();
            if (!f.alternativeBodyPart)
                f.alternativeBodyPart = RichText();
        }
        break;
    }
    updateAfterModeChange(change, wasFormatted);
    return change;
}

MessageTab::FormChange MessageTab::importChange(const RichText &html) const
{
    FormChange change = modeChange(Mode::RawHTML);
    change.body = change.form.bodyFont ? withBodyFont(html, *change.form.bodyFont) : html;
    return change;
}

void MessageTab::updateAfterModeChange(FormChange &change, bool wasFormatted)
{
    MessageForm &f = change.form;
    if (!f.formattedText) {
        if (const auto font = fixedPitchFont()) {
            change.body = withBodyFont(change.body, *font);
            f.bodyFont = font;
        }
        f.backgroundColor = White;
    } else if (!wasFormatted) {
        // Only on the way in: the user's own fonts in a formatted body
        // survive choosing the mode again or a template. (The user font the
        // view would get first is replaced right here, so it is skipped.)
        const FontDescriptor font = Settings::defaultMessageFont();
        change.body = withBodyFont(change.body, font);
        f.bodyFont = font;
    }
}

RichText MessageTab::withBodyFont(const RichText &text, const FontDescriptor &font)
{
    // Built run by run: a body of a megabyte has a few thousand runs, and
    // editing them in place would move the text's tail for each.
    RichText result;
    const QString &string = text.string();
    int position = 0;
    for (const RichText::Run &run : text.runs()) {
        TextAttributes attributes = run.attributes;
        FontDescriptor runFont = font;
        const QVariant own = attributes.value(TextAttributeName::Font);
        if (own.typeId() == qMetaTypeId<FontDescriptor>()) {
            runFont.bold = own.value<FontDescriptor>().bold;
            runFont.italic = own.value<FontDescriptor>().italic;
        }
        attributes.insert(TextAttributeName::Font, QVariant::fromValue(runFont));
        result.appendCharacters(QStringView(string).mid(position, run.length), attributes);
        position += run.length;
    }
    return result;
}

FontDescriptor MessageTab::bodyViewFont() const
{
    if (!bodyIsRichText() && m_bodyFont)
        return *m_bodyFont;
    return Settings::defaultMessageFont();
}

const RichText &MessageTab::htmlSource() const
{
    static const RichText none;
    if (m_editHTMLPart)
        return m_body.text();
    return m_alternativeBodyPart ? *m_alternativeBodyPart : none;
}

const RichText &MessageTab::plainPart() const
{
    static const RichText none;
    if (!m_editHTMLPart)
        return m_body.text();
    return m_alternativeBodyPart ? *m_alternativeBodyPart : none;
}

MessageParts MessageTab::liveParts(MessageTemplateRef &heldTemplate) const
{
    MessageParts parts;
    parts.mode = mode();
    parts.body = &m_body.text();
    parts.htmlSource = &htmlSource();
    parts.plainPart = &plainPart();
    parts.background = m_backgroundColor;
    parts.textFont = bodyViewFont();
    if (parts.mode == Mode::Template) {
        heldTemplate = TemplateManager::defaultManager().templateForName(m_templateName);
        parts.messageTemplate = heldTemplate.get();
    }
    return parts;
}

bool MessageTab::htmlPartAvailable() const
{
    MessageTemplateRef held;
    return MessageOutput::htmlPartAvailable(liveParts(held));
}

QString MessageTab::plainTextStringWithPersonalizer(const Personalizer &personalizer) const
{
    MessageTemplateRef held;
    return MessageOutput::plainTextStringWithPersonalizer(liveParts(held), personalizer);
}

QString MessageTab::htmlTextStringWithFullPath(bool fullPath, const QString &messageID,
                                               const Personalizer &personalizer) const
{
    MessageTemplateRef held;
    return MessageOutput::htmlTextStringWithFullPath(liveParts(held), fullPath, messageID, personalizer);
}

QStringList MessageTab::inlineAttachments() const
{
    MessageTemplateRef held;
    return MessageOutput::inlineAttachments(liveParts(held));
}

MessageSnapshotRef MessageTab::snapshot() const
{
    return std::make_shared<const MessageSnapshot>(mode(), m_subject.text(), m_body.text(), htmlSource(),
                                                   plainPart(), m_backgroundColor, m_templateName, bodyViewFont());
}

QVariantMap MessageTab::fileData() const
{
    // The stored texts are copies of their own with fresh tag archives: a
    // later edit of a tag must not reach a stored value.
    const auto stored = [](const RichText &text) {
        AttributedTagString::saveAttachments(text);
        return QVariant::fromValue(text.deepClone());
    };
    QVariantMap data;
    data.insert(MessageFileKeys::SubjectString, m_subject.string());
    data.insert(MessageFileKeys::BodyString, m_body.string());
    data.insert(MessageFileKeys::RichSubjectString, stored(m_subject.text()));
    data.insert(MessageFileKeys::RichBodyString, stored(m_treatAsHTML ? htmlSource() : m_body.text()));
    if (m_backgroundColor)
        data.insert(MessageFileKeys::BodyBackgroundColor, QVariant::fromValue(*m_backgroundColor));
    data.insert(MessageFileKeys::FormattedText, flagString(m_formattedText));
    data.insert(MessageFileKeys::TreatAsHTML, flagString(m_treatAsHTML));
    if (m_treatAsHTML)
        data.insert(MessageFileKeys::AlternativeBodyString, stored(plainPart()));
    data.insert(MessageFileKeys::UseTemplate, !m_templateName.isNull());
    if (!m_templateName.isNull())
        data.insert(MessageFileKeys::TemplateName, m_templateName);
    return data;
}

RichText MessageTab::loadedText(const QVariant &value) const
{
    RichText text = value.value<RichText>();
    AttributedTagString::loadAttachments(text);
    AttributedTagString::setAttachmentDelegate(text, m_tagDelegate);
    return text;
}

void MessageTab::readFileData(const QVariantMap &data)
{
    const auto isRichText = [&data](const QString &key) {
        return data.value(key).typeId() == qMetaTypeId<RichText>();
    };
    if (isRichText(MessageFileKeys::RichSubjectString))
        setSubjectText(loadedText(data.value(MessageFileKeys::RichSubjectString)));
    else
        setSubjectText(RichText(DoGetDictStringForKey(data, MessageFileKeys::SubjectString)));
    if (isRichText(MessageFileKeys::RichBodyString))
        setBodyText(loadedText(data.value(MessageFileKeys::RichBodyString)));
    else
        setBodyText(RichText(DoGetDictStringForKey(data, MessageFileKeys::BodyString)));

    const QVariant color = data.value(MessageFileKeys::BodyBackgroundColor);
    if (color.typeId() == qMetaTypeId<RgbaColor>())
        m_backgroundColor = color.value<RgbaColor>();

    // One form per message: an HTML source is never also formatted text,
    // and a template is formatted text by definition.
    const bool treatAsHTML = DoGetDictBoolForKey(data, MessageFileKeys::TreatAsHTML);
    const QString templateName = DoGetDictBoolForKey(data, MessageFileKeys::UseTemplate)
        ? DoGetDictStringForKey(data, MessageFileKeys::TemplateName)
        : QString();
    m_treatAsHTML = treatAsHTML;
    m_templateName = treatAsHTML ? QString() : templateName;
    m_formattedText = !treatAsHTML
        && (DoGetDictBoolForKey(data, MessageFileKeys::FormattedText) || !m_templateName.isNull());

    // The hidden part of the message shown before must not outlive it.
    m_editHTMLPart = m_treatAsHTML;
    m_alternativeBodyPart.reset();
    if (m_treatAsHTML) {
        if (isRichText(MessageFileKeys::AlternativeBodyString))
            m_alternativeBodyPart = loadedText(data.value(MessageFileKeys::AlternativeBodyString));
        else
            m_alternativeBodyPart = RichText();
    }
    // As a mode change into the stored mode from formatted text: the body
    // keeps its fonts unless it is edited as plain text.
    FormChange stored{form(), m_body.text()};
    updateAfterModeChange(stored, true);
    apply(stored);
}

void MessageTab::readDataString(const QString &string)
{
    // Without the separator the text is taken for the body: a message's
    // text is far more likely to be lost there than a subject.
    const qsizetype separator = string.indexOf(MessageFileKeys::OldFormSeparator);
    if (separator < 0) {
        setSubjectText(RichText());
        setBodyText(RichText(string));
        return;
    }
    setSubjectText(RichText(string.left(separator)));
    setBodyText(RichText(string.mid(separator + MessageFileKeys::OldFormSeparator.size())));
}

void MessageTab::tagNameChanged(const QString &oldName, const QString &newName)
{
    renameTags(oldName, newName, nullptr);
}

void MessageTab::renameTags(const QString &oldName, const QString &newName, TagRenames *renamed)
{
    if (oldName.isNull() || newName.isNull())
        return;
    forEachTag([&](SimpleTag &tag) { tag.tagNameChanged(oldName, newName, renamed); });
    tagsEdited();
}

void MessageTab::forEachTag(const TagVisitor &visit) const
{
    // The hidden part of a raw-HTML message is sent as well: its tags must
    // name the field as the others do.
    for (const RichText *text : {&m_subject.text(), &m_body.text(),
                                 m_alternativeBodyPart ? &*m_alternativeBodyPart : nullptr}) {
        if (!text)
            continue;
        for (const SimpleTagRef &tag : AttributedTagString::tags(*text))
            visit(*tag);
    }
    if (m_tagWalker)
        m_tagWalker(visit);
}

void MessageTab::tagsEdited() const
{
    // Reported as tags edited in place, not as new text: a view that holds
    // typed text not yet handed back keeps it, and its undo history.
    m_subject.tagsEdited();
    m_body.tagsEdited();
}

TagRenames MessageTab::takeTags(const QString &name)
{
    TagRenames taken;
    if (!name.isEmpty())
        renameTags(name, QStringLiteral(""), &taken);
    return taken;
}

void MessageTab::giveTags(const TagRenames &tags, const QString &name)
{
    if (name.isEmpty() || tags.isEmpty())
        return;
    forEachTag([&](SimpleTag &tag) { tags.rename(tag, QStringLiteral(""), name); });
    tagsEdited();
}

void MessageTab::fieldNameChangedNotification(const QVariantMap &userInfo)
{
    const QString oldName = DoGetDictStringForKey(userInfo, NotificationNames::DatabaseOldNameKey);
    const QString newName = DoGetDictStringForKey(userInfo, NotificationNames::DatabaseNewNameKey);
    // An empty name is no field's: renaming the tags that read it would give
    // every removed field's tags to this one.
    if (oldName.isEmpty() || newName.isEmpty())
        return;
    tagNameChanged(oldName, newName);
}

void MessageTab::observeFieldNameChanges(const Database *database)
{
    m_fieldNamesObservation = NotificationCenter::defaultCenter().addObserver(
        NotificationNames::DatabaseFieldNamesChanged, database,
        [this](const Notification &notification) { fieldNameChangedNotification(notification.userInfo); });
}
