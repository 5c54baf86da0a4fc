#include "SimpleTag.h"

#include "AttributedTagString.h"
#include "ConditionTag.h"
#include "HTMLFileLinkTag.h"
#include "ImageTag.h"
#include "MessageNumberTag.h"
#include "TagRenames.h"

#include "AppException.h"
#include "TypedArchiver.h"
#include "TypedUnarchiver.h"

#include <mutex>

namespace {

// Attributes the value text and the drawing read by type; an archive that
// gives them another kind of value is no tag of ours. An attachment has no
// business in a tag's attributes: the value would carry it into the message.
bool attributesFit(const TextAttributes &attributes)
{
    for (auto it = attributes.cbegin(); it != attributes.cend(); ++it) {
        const QString &key = it.key();
        const int type = it.value().typeId();
        if ((key == TextAttributeName::Font && type != qMetaTypeId<FontDescriptor>())
            || (key == TextAttributeName::Color && type != qMetaTypeId<RgbaColor>())
            || (key == TextAttributeName::ParagraphStyle && type != qMetaTypeId<ParagraphStyle>())
            || (key == TextAttributeName::Link && type != QMetaType::QString)
            || key == TextAttributeName::Attachment)
            return false;
    }
    return true;
}

} // namespace

SimpleTag::SimpleTag(const QString &tagName) : SimpleTag(tagName, RgbaColor{0.0f, 0.0f, 1.0f, 1.0f}) {}

SimpleTag::SimpleTag(const QString &tagName, RgbaColor color) : m_tagName(tagName), m_bgColor(color) {}

// Copies share the delegate: a copy lands in the same view as the original.
std::shared_ptr<AttachmentCell> SimpleTag::clone() const
{
    return std::make_shared<SimpleTag>(*this);
}

RichText SimpleTag::getValueForData(const DatabaseEntry *entry, const QMap<QString, QString> *mapping,
                                    const MessageData *) const
{
    QString text;
    if (entry && mapping) {
        const auto column = mapping->constFind(m_tagName);
        if (column != mapping->cend())
            text = entry->value(*column).toString();
    }
    return valueText(text);
}

QString SimpleTag::getHTMLSourceValueForData(const DatabaseEntry *entry, const QMap<QString, QString> *mapping,
                                             const MessageData *messageData) const
{
    return AttributedTagString::taglessString(getValueForData(entry, mapping, messageData)).toHtmlEscaped();
}

void SimpleTag::tagNameChanged(const QString &oldName, const QString &newName, TagRenames *renamed)
{
    if (m_tagName != oldName)
        return;
    m_tagName = newName;
    if (renamed)
        renamed->addTag(*this);
}

QString SimpleTag::getHTMLCodeWithAbsolutePath(bool, const QString &, const ContentIdNames *) const
{
    return QStringLiteral("");
}

void SimpleTag::setAttributes(const std::optional<TextAttributes> &attributes)
{
    if (!attributes)
        return;
    TextAttributes copy = *attributes;
    copy.insert(MarkerValue, MarkerValue);
    m_strAttribs = std::move(copy);
}

// A tag without attributes gets them here, so a font chosen for a fresh tag
// is not silently lost.
void SimpleTag::setAttribute(const QString &key, const QVariant &value)
{
    TextAttributes copy = m_strAttribs.value_or(TextAttributes());
    if (value.isValid())
        copy.insert(key, value);
    else
        copy.remove(key);
    m_strAttribs = std::move(copy);
}

std::optional<FontDescriptor> SimpleTag::font() const
{
    if (!m_strAttribs)
        return std::nullopt;
    const QVariant value = m_strAttribs->value(TextAttributeName::Font);
    if (value.typeId() != qMetaTypeId<FontDescriptor>())
        return std::nullopt;
    return value.value<FontDescriptor>();
}

void SimpleTag::setFont(const FontDescriptor &font)
{
    setAttribute(TextAttributeName::Font, QVariant::fromValue(font));
}

QRectF SimpleTag::cellFrame(QSizeF nameSize) const
{
    return {0.0, -2.0, nameSize.width() + 16.0, nameSize.height()};
}

std::optional<FileWrapper> SimpleTag::currentFileWrapper() const
{
    // The archiver holds the root only while it writes; the tag is owned elsewhere.
    const CodableRef self(CodableRef(), const_cast<SimpleTag *>(this));
    try {
        return FileWrapper{TypedArchiver::archivedDataWithRootObject(codableVariant(self)), FileWrapperName};
    } catch (const std::exception &) {
        // An attribute no archive can hold: the attachment keeps the wrapper it has.
        return std::nullopt;
    }
}

void SimpleTag::encodeWithCoder(TypedArchiver &coder) const
{
    encodeSimplePart(coder);
}

void SimpleTag::encodeSimplePart(TypedArchiver &coder) const
{
    encodeCellBase(coder);
    coder.encodeObject(m_tagName);
    coder.encodeObject(m_strAttribs ? QVariant(*m_strAttribs) : QVariant());
}

bool SimpleTag::decodeSimplePart(TypedUnarchiver &coder)
{
    if (!decodeCellBase(coder))
        return false;
    const QVariant name = coder.decodeObject();
    const QVariant attributes = coder.decodeObject();
    if (coder.hasFailed())
        return false;
    if (name.typeId() != QMetaType::QString) {
        coder.failWithReason(QStringLiteral("tag name is no string"));
        return false;
    }
    m_tagName = name.toString();
    if (!attributes.isValid()) {
        m_strAttribs.reset();
    } else if (attributes.typeId() == QMetaType::QVariantMap && attributesFit(attributes.toMap())) {
        m_strAttribs = attributes.toMap();
    } else {
        coder.failWithReason(QStringLiteral("tag attributes of the wrong kind"));
        return false;
    }
    m_delegate = nullptr;
    return true;
}

RichText SimpleTag::valueText(const QString &text) const
{
    return RichText(text, m_strAttribs.value_or(TextAttributes()));
}

namespace {

bool refuseNewerVersion(TypedUnarchiver &coder, int classVersion)
{
    if (classVersion <= 0)
        return false;
    coder.failWithReason(QStringLiteral("tag archive version %1 is newer than this program").arg(classVersion));
    return true;
}

} // namespace

void registerTagCoders()
{
    static std::once_flag once;
    std::call_once(once, [] {
        ArchiveRegistry::registerTypedDecoder(QStringLiteral("SimpleTag"),
                                              [](TypedUnarchiver &coder, int classVersion) -> CodableRef {
                                                  if (refuseNewerVersion(coder, classVersion))
                                                      return nullptr;
                                                  auto tag = std::make_shared<SimpleTag>(QString());
                                                  return tag->decodeSimplePart(coder) ? tag : nullptr;
                                              });
        ArchiveRegistry::registerTypedDecoder(QStringLiteral("MessageNumberTag"),
                                              [](TypedUnarchiver &coder, int classVersion) -> CodableRef {
                                                  if (refuseNewerVersion(coder, classVersion))
                                                      return nullptr;
                                                  auto tag = std::make_shared<MessageNumberTag>(QString());
                                                  SimpleTag &base = *tag;
                                                  return base.decodeSimplePart(coder) ? tag : nullptr;
                                              });
        ArchiveRegistry::registerTypedDecoder(QStringLiteral("ConditionTag"),
                                              [](TypedUnarchiver &coder, int classVersion) -> CodableRef {
                                                  if (refuseNewerVersion(coder, classVersion))
                                                      return nullptr;
                                                  return ConditionTag::decode(coder, classVersion);
                                              });
        ArchiveRegistry::registerTypedDecoder(QStringLiteral("ImageTag"),
                                              [](TypedUnarchiver &coder, int classVersion) -> CodableRef {
                                                  if (refuseNewerVersion(coder, classVersion))
                                                      return nullptr;
                                                  return ImageTag::decode(coder, classVersion);
                                              });
        ArchiveRegistry::registerTypedDecoder(QStringLiteral("HTMLFileLinkTag"),
                                              [](TypedUnarchiver &coder, int classVersion) -> CodableRef {
                                                  if (refuseNewerVersion(coder, classVersion))
                                                      return nullptr;
                                                  return HTMLFileLinkTag::decode(coder, classVersion);
                                              });
    });
}
