#pragma once

// A placeholder in a message: one U+FFFC in a text whose attachment's cell
// is a tag. The field tag is the base of every kind; see ConditionTag,
// ImageTag, HTMLFileLinkTag and MessageNumberTag.
//
// Tags are shared objects (the attachments of every copy of a text point to
// the same tag) and are changed only on the main thread, through the
// setters; values and HTML are asked for from a send run's worker thread as
// well, on texts that are not edited meanwhile.

#include "MessageData.h"

#include "Database.h"

#include "Codable.h"
#include "RichText.h"
#include "TextAttachment.h"
#include "TextAttributes.h"

#include <QRectF>
#include <QSizeF>
#include <QString>

#include <memory>
#include <optional>

class ConditionTag;
class ImageTag;
class TagRenames;
class TypedUnarchiver;

// Told when the user clicks a condition or image tag (the message tab).
class TagDelegate {
public:
    virtual ~TagDelegate() = default;
    virtual bool editConditionTag(ConditionTag *tag) = 0;
    virtual bool editImageTag(ImageTag *tag) = 0;
};

class SimpleTag : public AttachmentCell, public Codable {
public:
    // Name and value of the marker attribute that setAttributes adds.
    static inline const QString MarkerValue = QStringLiteral("Corvantiline Attachment");
    // The preferred file name of a tag's file wrapper.
    static inline const QString FileWrapperName = QStringLiteral("Corvantiline Tag Attachment Cell");

    explicit SimpleTag(const QString &tagName);
    ~SimpleTag() override = default;

    [[nodiscard]] std::shared_ptr<AttachmentCell> clone() const override;

    // The file to embed in an HTML part; null when none.
    [[nodiscard]] virtual QString attachmentFile() const { return {}; }
    // The tag's value for one recipient: a text whose one run carries the
    // tag's attributes. Entry (keyed by column identifier), mapping (field
    // name to column identifier) and message data may each be null.
    [[nodiscard]] virtual RichText getValueForData(const DatabaseEntry *entry, const QMap<QString, QString> *mapping,
                                                   const MessageData *messageData) const;
    // The value within an HTML source the author wrote: text, so escaped (a
    // recipient's "<" stays a character).
    [[nodiscard]] virtual QString getHTMLSourceValueForData(const DatabaseEntry *entry,
                                                            const QMap<QString, QString> *mapping,
                                                            const MessageData *messageData) const;
    // A field was renamed. Field tags and message-number tags take the new
    // name when their name is the old one; `renamed`, when given, marks
    // the tags that did as its own.
    virtual void tagNameChanged(const QString &oldName, const QString &newName, TagRenames *renamed = nullptr);
    // What stands for the tag in an HTML part besides its value; files in
    // content-id form go by their names in `contentIdNames` (null: their
    // plain names).
    [[nodiscard]] virtual QString getHTMLCodeWithAbsolutePath(bool absolutePath, const QString &messageID,
                                                              const ContentIdNames *contentIdNames = nullptr) const;

    [[nodiscard]] const QString &tagName() const { return m_tagName; }
    void setTagName(const QString &name) { m_tagName = name; }
    void setDelegate(TagDelegate *delegate) { m_delegate = delegate; }
    [[nodiscard]] TagDelegate *delegate() const { return m_delegate; }

    // The mark of the field that took the tag's name when it left the table
    // (TagRenames); 0 for none. Copies keep it, also those pasted or dropped
    // within this program (TagPasteboard): a tag moved while its field is
    // away is still the tag that field took. Never stored.
    [[nodiscard]] quint64 takenBy() const { return m_takenBy; }
    void setTakenBy(quint64 mark) { m_takenBy = mark; }

    // The attributes given to the value and used to draw the name; absent
    // (nil) for a tag that never had any.
    [[nodiscard]] const std::optional<TextAttributes> &attributes() const { return m_strAttribs; }
    // Absent: nothing changes. Otherwise replaces the attributes with these
    // plus the marker attribute.
    void setAttributes(const std::optional<TextAttributes> &attributes);
    // An invalid value removes the key. Adds no marker.
    void setAttribute(const QString &key, const QVariant &value);
    // Puts back attributes exactly as attributes() gave them, marker or not
    // and absent included: taking back a change of looks.
    void restoreAttributes(const std::optional<TextAttributes> &attributes) { m_strAttribs = attributes; }
    [[nodiscard]] std::optional<FontDescriptor> font() const;
    void setFont(const FontDescriptor &font);

    // Drawing, for the text views: the rounded background in this colour
    // (filled at alpha 0.2, stroked at 0.5), the name drawn 8 points in.
    [[nodiscard]] RgbaColor backgroundColor() const { return m_bgColor; }
    // The cell's frame given the size of the name drawn with the tag's
    // attributes: origin (0, -2), width + 16, the text's height.
    [[nodiscard]] virtual QRectF cellFrame(QSizeF nameSize) const;
    // Whether a click on the tag goes to the delegate, and the click itself.
    [[nodiscard]] virtual bool wantsToTrackMouse() const { return false; }
    virtual bool trackMouse() { return false; }

    // The typed archive of the tag in the wrapper the text stores.
    [[nodiscard]] std::optional<FileWrapper> currentFileWrapper() const override;

    [[nodiscard]] QString archiveClassName() const override { return QStringLiteral("SimpleTag"); }
    void encodeWithCoder(TypedArchiver &coder) const override;

protected:
    SimpleTag(const QString &tagName, RgbaColor color);
    // The part every kind writes first and reads first: the cell's own
    // state, the name, the attributes. False when the data is no tag.
    void encodeSimplePart(TypedArchiver &coder) const;
    bool decodeSimplePart(TypedUnarchiver &coder);
    // A value text of the given characters carrying the tag's attributes.
    [[nodiscard]] RichText valueText(const QString &text) const;

    friend void registerTagCoders();

private:
    QString m_tagName;
    std::optional<TextAttributes> m_strAttribs;
    TagDelegate *m_delegate = nullptr;
    RgbaColor m_bgColor;
    quint64 m_takenBy = 0;
};

using SimpleTagRef = std::shared_ptr<SimpleTag>;

// Registers the typed-archive decoders of the five tag kinds. Idempotent.
void registerTagCoders();
