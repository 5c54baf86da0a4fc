#include "Attachment.h"

#include "SmartAttachment.h"
#include "StaticAttachment.h"

#include "AttributedTagString.h"
#include "KeyedUnarchiver.h"
#include "TypedUnarchiver.h"
#include "Values.h"

#include <QFileInfo>

#include <limits>
#include <mutex>

AttachmentResolution Attachment::resolve(const Personalizer *) const
{
    return {AttachmentResolution::Decision::Attach, QStringLiteral("")};
}

void Attachment::setPersonalizer(const Personalizer *personalizer)
{
    // Cleared first: when resolving throws, no answer meant for the
    // previous recipient may be taken for this one.
    m_hasResolved = false;
    m_resolved = {};
    m_resolved = resolve(personalizer);
    m_hasResolved = true;
}

AttachmentResolution Attachment::currentResolution() const
{
    return m_hasResolved ? m_resolved : resolve(nullptr);
}

bool Attachment::shouldAbortSending() const
{
    return currentResolution().decision == AttachmentResolution::Decision::AbortSending;
}

bool Attachment::shouldSkipMessage() const
{
    return currentResolution().decision == AttachmentResolution::Decision::SkipMessage;
}

bool Attachment::shouldSkipAttachment() const
{
    return currentResolution().decision == AttachmentResolution::Decision::SkipAttachment;
}

bool Attachment::isUsableFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    // QFileInfo::isFile() is false for folders, FIFOs, sockets and devices:
    // opening a FIFO would block the send run, a device could be endless.
    return info.isFile() && info.isReadable();
}

// Archives come from project files, which come from anywhere: a field of
// the wrong kind reads as its empty value instead of failing the project.
namespace {

QString stringField(const QVariantMap &fields, const QString &key)
{
    const QVariant value = fields.value(key);
    return isStringValue(value) ? value.toString() : QStringLiteral("");
}

// The one dictionary each attachment stores; anything else holds no fields.
QVariantMap fieldsOf(const QVariant &root)
{
    return root.typeId() == QMetaType::QVariantMap ? root.toMap() : QVariantMap();
}

CodableRef staticAttachmentFromFields(const QVariantMap &fields)
{
    return std::make_shared<StaticAttachment>(stringField(fields, QStringLiteral("filePath")));
}

CodableRef smartAttachmentFromFields(const QVariantMap &fields)
{
    auto attachment = std::make_shared<SmartAttachment>();
    attachment->setRootFilePath(stringField(fields, QStringLiteral("rootFilePath")));
    attachment->setDefaultFilePath(stringField(fields, QStringLiteral("defaultFilePath")));

    const QVariant name = fields.value(QStringLiteral("fileName"));
    RichText fileName = name.typeId() == qMetaTypeId<RichText>() ? name.value<RichText>() : RichText();
    // The tags come back as stored file wrappers; rebuild the tag objects.
    AttributedTagString::loadAttachments(fileName);
    attachment->setFileName(fileName);

    const QVariant action = fields.value(QStringLiteral("notFoundHandling"));
    qint32 notFound = SmartAttachment::SkipAttachment;
    if (isNumberValue(action)) {
        const qint64 value = integerValue(action);
        if (value >= std::numeric_limits<qint32>::min() && value <= std::numeric_limits<qint32>::max())
            notFound = qint32(value);
    }
    attachment->setNotFoundAction(notFound);
    return attachment;
}

} // namespace

void registerAttachmentCoders()
{
    static std::once_flag once;
    std::call_once(once, [] {
        registerPlatformCoders();
        registerTagCoders();
        const QString staticName = QStringLiteral("StaticAttachment");
        const QString smartName = QStringLiteral("SmartAttachment");
        ArchiveRegistry::registerKeyedDecoder(staticName, [](KeyedUnarchiver &coder) {
            return staticAttachmentFromFields(fieldsOf(coder.decodeObject()));
        });
        ArchiveRegistry::registerTypedDecoder(staticName, [](TypedUnarchiver &coder, int) {
            return staticAttachmentFromFields(fieldsOf(coder.decodeObject()));
        });
        ArchiveRegistry::registerKeyedDecoder(smartName, [](KeyedUnarchiver &coder) {
            return smartAttachmentFromFields(fieldsOf(coder.decodeObject()));
        });
        ArchiveRegistry::registerTypedDecoder(smartName, [](TypedUnarchiver &coder, int) {
            return smartAttachmentFromFields(fieldsOf(coder.decodeObject()));
        });
    });
}
