#pragma once

// The one message of a mail project, apart from the views that show it:
// subject and body, the form of the message (formatted, raw HTML with a
// plain alternative, plain, or formatted inside a template), its stored
// form in the project file, and each recipient's subject, plain part, HTML
// part and inline files.
//
// Main thread only. A send run takes snapshot() and reads that instead.

#include "MessageSnapshot.h"
#include "TagRenames.h"
#include "TagTextStorage.h"

#include "NotificationCenter.h"
#include "RichText.h"
#include "TextAttributes.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <optional>

class Database;
class Personalizer;
class TagDelegate;

// Keys of the message's part of the project file; never renamed.
namespace MessageFileKeys {
inline const QString SubjectString = QStringLiteral("Subject String");
inline const QString BodyString = QStringLiteral("Body String");
inline const QString RichSubjectString = QStringLiteral("Rich Subject String");
inline const QString RichBodyString = QStringLiteral("Rich Body String");
inline const QString BodyBackgroundColor = QStringLiteral("Body Background Color");
inline const QString FormattedText = QStringLiteral("Formatted Text");
inline const QString TreatAsHTML = QStringLiteral("Treat as html");
inline const QString AlternativeBodyString = QStringLiteral("Alternative Body String");
inline const QString UseTemplate = QStringLiteral("Use Template");
inline const QString TemplateName = QStringLiteral("Template Name");
// Between subject and body in the oldest documents' text form.
inline const QString OldFormSeparator = QStringLiteral("/#+D2+#/");
} // namespace MessageFileKeys

// Everything of a message that a change of its form changes, beside the
// body's text: the flags, the hidden part, the body's font and background.
struct MessageForm {
    bool formattedText = false;
    bool treatAsHTML = false;
    bool editHTMLPart = false;
    QString templateName;
    std::optional<RichText> alternativeBodyPart;
    std::optional<FontDescriptor> bodyFont;
    std::optional<RgbaColor> backgroundColor;
};

class MessageTab {
public:
    using Mode = MessageMode;
    // A change of form worked out but not made: the form and body it leaves.
    struct FormChange {
        MessageForm form;
        RichText body;
    };

    // A new message: plain, empty, on a white background.
    MessageTab();
    Q_DISABLE_COPY_MOVE(MessageTab)

    // The texts the subject and body views show. Edits through the storages
    // are reported to their observers; so are the replacements below.
    [[nodiscard]] TagTextStorage &subjectStorage() { return m_subject; }
    [[nodiscard]] TagTextStorage &textStorage() { return m_body; }
    [[nodiscard]] const RichText &subjectString() const { return m_subject.text(); }
    [[nodiscard]] const RichText &bodyString() const { return m_body.text(); }
    void setSubjectText(const RichText &text);
    void setBodyText(const RichText &text);

    [[nodiscard]] Mode mode() const;
    [[nodiscard]] bool formattedText() const { return m_formattedText; }
    [[nodiscard]] bool treatAsHTML() const { return m_treatAsHTML; }
    // Raw HTML: whether the body is the HTML source (else the plain part).
    [[nodiscard]] bool editHTMLPart() const { return m_editHTMLPart; }
    // Null unless in template mode.
    [[nodiscard]] const QString &templateName() const { return m_templateName; }
    // Raw HTML: the part the body does not hold.
    [[nodiscard]] const std::optional<RichText> &alternativeBodyPart() const { return m_alternativeBodyPart; }

    // What the body view mirrors: rich or plain editing, the font last given
    // to the whole body (and to typing), the background.
    [[nodiscard]] bool bodyIsRichText() const { return m_formattedText; }
    [[nodiscard]] const std::optional<FontDescriptor> &bodyFont() const { return m_bodyFont; }
    // The font the body view shows text in that has no font of its own:
    // the fixed-pitch font a plain or HTML-source body was given, else the
    // font of new messages. Typed text takes it on, and the HTML part
    // writes such text in it.
    [[nodiscard]] FontDescriptor bodyViewFont() const;
    [[nodiscard]] const std::optional<RgbaColor> &backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const std::optional<RgbaColor> &color) { m_backgroundColor = color; }

    // Told about clicks on the tags of a message read from a file; may be null.
    void setTagDelegate(TagDelegate *delegate) { m_tagDelegate = delegate; }
    [[nodiscard]] TagDelegate *tagDelegate() const { return m_tagDelegate; }

    // Switches the form. The template name counts in template mode only;
    // without one that mode is formatted mode.
    void setMode(Mode mode, const QString &templateName = {});
    // Raw HTML: shows the HTML source (true) or the plain part in the body,
    // exchanging the two. Does nothing in the other modes.
    void setEditHTMLPart(bool editHTMLPart);

    // The same changes worked out on the message as it is, changing
    // nothing, so that a view can make them one undoable step.
    [[nodiscard]] FormChange modeChange(Mode mode, const QString &templateName = {}) const;
    [[nodiscard]] FormChange editHTMLPartChange(bool editHTMLPart) const;
    // An imported page as the HTML source of a raw-HTML message, shown in
    // the body; a plain part the message had stays its plain part.
    [[nodiscard]] FormChange importChange(const RichText &html) const;
    [[nodiscard]] MessageForm form() const;
    // Takes the form; the body's text is left as it is.
    void setForm(const MessageForm &form);
    // The text with every run in the font's family and size; bold and
    // italic stay as each run had them.
    [[nodiscard]] static RichText withBodyFont(const RichText &text, const FontDescriptor &font);

    // Per-recipient outputs, for a personaliser set to the recipient.
    [[nodiscard]] bool htmlPartAvailable() const;
    [[nodiscard]] QString plainTextStringWithPersonalizer(const Personalizer &personalizer) const;
    // Null when there is no HTML part.
    [[nodiscard]] QString htmlTextStringWithFullPath(bool fullPath, const QString &messageID,
                                                     const Personalizer &personalizer) const;
    [[nodiscard]] QStringList inlineAttachments() const;
    // The same outputs from a copy that any thread may read.
    [[nodiscard]] MessageSnapshotRef snapshot() const;

    // The stored form (the project file's "Message" part) and its reading.
    [[nodiscard]] QVariantMap fileData() const;
    void readFileData(const QVariantMap &data);
    // The oldest documents' text form: subject, separator, body.
    void readDataString(const QString &string);

    // A field was renamed: the tags that name it follow, in every part and
    // in the views that show the texts (through the tag walker).
    void tagNameChanged(const QString &oldName, const QString &newName);
    // A field left the table: every tag of it, wherever tagNameChanged
    // reaches, reads no name. Answers which tags those were.
    [[nodiscard]] TagRenames takeTags(const QString &name);
    // The field came back (under this name): the tags it took, and the
    // copies of them moved within the message since, read it again, where
    // they still read no name.
    void giveTags(const TagRenames &tags, const QString &name);
    // Whoever shows the texts hands every tag it holds beyond them to the
    // visitor: those typed or pasted since the last hand-back, or waiting in
    // its undo history.
    using TagVisitor = std::function<void(SimpleTag &tag)>;
    using TagWalker = std::function<void(const TagVisitor &visit)>;
    void setTagWalker(TagWalker walker) { m_tagWalker = std::move(walker); }
    // The user info of a "Database->FieldNamesChanged" notification. Only a
    // rename from one name to another renames tags: a field given a name
    // had no tags of its own, and a field that loses its name takes its
    // tags itself (takeTags), so that it gives back exactly those.
    void fieldNameChangedNotification(const QVariantMap &userInfo);
    // Follows the renames of the table's fields (every table's when null)
    // for as long as this message lives or until observed anew.
    void observeFieldNameChanges(const Database *database);

private:
    void renameTags(const QString &oldName, const QString &newName, TagRenames *renamed);
    // Every tag of the message's texts and of the views' (not those inside
    // conditions' results: a condition reaches its own).
    void forEachTag(const TagVisitor &visit) const;
    void tagsEdited() const;
    void apply(const FormChange &change);
    static void updateAfterModeChange(FormChange &change, bool wasFormatted);
    [[nodiscard]] MessageParts liveParts(MessageTemplateRef &heldTemplate) const;
    [[nodiscard]] const RichText &htmlSource() const;
    [[nodiscard]] const RichText &plainPart() const;
    [[nodiscard]] RichText loadedText(const QVariant &value) const;

    TagTextStorage m_subject;
    TagTextStorage m_body;
    bool m_formattedText = false;
    bool m_treatAsHTML = false;
    bool m_editHTMLPart = false;
    QString m_templateName;
    std::optional<RichText> m_alternativeBodyPart;
    std::optional<FontDescriptor> m_bodyFont;
    std::optional<RgbaColor> m_backgroundColor;
    TagDelegate *m_tagDelegate = nullptr;
    TagWalker m_tagWalker;
    // Last, so that it goes first: no notification reaches a half-destroyed tab.
    NotificationCenter::Observation m_fieldNamesObservation;
};
