#include "ImageTag.h"

#include "ContentId.h"
#include "ContentIdNames.h"

#include "BetterString.h"
#include "FileIO.h"
#include "NotificationCenter.h"
#include "TypedArchiver.h"
#include "TypedUnarchiver.h"
#include "Values.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <cmath>

namespace {

const QString ImagePathKey = QStringLiteral("imagePath");
const QString AlignmentKey = QStringLiteral("alignment");
const QString MarginKey = QStringLiteral("margin");
const QString ImageHeightKey = QStringLiteral("imageHeight");
const QString ImageWidthKey = QStringLiteral("imageWidth");
const QString ScalingKey = QStringLiteral("scaling");

// A picture for a message is never larger; the bound keeps a file from
// elsewhere from deciding how much we read.
constexpr qint64 MaxImageFileBytes = 64LL * 1024 * 1024;
// Sizes read from archives are kept within this, so that a size times the
// largest scaling still fits an int.
constexpr qint32 MaxImageDimension = 1'000'000;

const RgbaColor ImageTagColor{1.0f, 1.0f, 0.0f, 1.0f};

float validScaling(float scaling)
{
    return std::isfinite(scaling) && scaling > 0.0f && scaling <= ImageTag::MaxScaling ? scaling : 1.0f;
}

qint32 validDimension(const QVariant &value)
{
    return qint32(std::clamp<qint64>(integerValue(value), 0, MaxImageDimension));
}

qint32 scaledDimension(qint32 dimension, float scaling)
{
    return qint32(float(dimension) * scaling);
}

} // namespace

ImageTag::ImageTag(const QString &path)
    : SimpleTag(BetterString::lastPathComponent(path), ImageTagColor), m_imagePath(path)
{
    loadImage(true);
}

ImageTag::ImageTag() : SimpleTag(QString(), ImageTagColor) {}

void ImageTag::loadImage(bool takeSize)
{
    m_image = QImage();
    if (takeSize) {
        m_imageWidth = 0;
        m_imageHeight = 0;
    }
    // Only a regular file: opening a FIFO or a device would block or never end.
    if (m_imagePath.isEmpty() || !QFileInfo(m_imagePath).isFile())
        return;
    std::optional<QByteArray> data = FileIO::readFileLimited(m_imagePath, MaxImageFileBytes);
    if (!data)
        return;
    QBuffer buffer(&*data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QImage image;
    if (!reader.read(&image))
        return;
    m_image = image;
    if (takeSize) {
        m_imageWidth = std::min(image.width(), MaxImageDimension);
        m_imageHeight = std::min(image.height(), MaxImageDimension);
    }
}

std::shared_ptr<AttachmentCell> ImageTag::clone() const
{
    return std::make_shared<ImageTag>(*this);
}

RichText ImageTag::getValueForData(const DatabaseEntry *, const QMap<QString, QString> *, const MessageData *) const
{
    return valueText(QStringLiteral(""));
}

QString ImageTag::getHTMLCodeWithAbsolutePath(bool absolutePath, const QString &messageID,
                                              const ContentIdNames *contentIdNames) const
{
    const QString name = absolutePath      ? QString()
                         : contentIdNames ? contentIdNames->nameForPath(m_imagePath)
                                          : contentIdNameForPath(m_imagePath);
    const QString source = absolutePath ? fileUrlForPath(m_imagePath)
                                        : QStringLiteral("cid:") + name + messageID;
    QString html = QStringLiteral("<img src=\"") + source.toHtmlEscaped() + QStringLiteral("\"");
    html += QStringLiteral(" style=\"margin: %1px;\"").arg(m_margin);
    if (m_align == AlignLeft)
        html += QStringLiteral(" align=\"left\"");
    else if (m_align == AlignRight)
        html += QStringLiteral(" align=\"right\"");
    if (m_imageWidth != 0 && m_imageHeight != 0)
        html += QStringLiteral(" width=\"%1\" height=\"%2\"")
                    .arg(scaledDimension(m_imageWidth, m_scaling))
                    .arg(scaledDimension(m_imageHeight, m_scaling));
    html += QLatin1Char('>');
    if (m_align == AlignCenter)
        html = QStringLiteral("<center>") + html + QStringLiteral("</center>");
    return html;
}

QRectF ImageTag::cellFrame(QSizeF) const
{
    return {0.0, -2.0, double(m_imageWidth) * m_scaling + 10.0, double(m_imageHeight) * m_scaling};
}

bool ImageTag::trackMouse()
{
    return delegate() ? delegate()->editImageTag(this) : false;
}

void ImageTag::setScaling(float scaling)
{
    m_scaling = validScaling(scaling);
    NotificationCenter::defaultCenter().postNotification(UpdateScalingNotification, nullptr);
}

void ImageTag::encodeWithCoder(TypedArchiver &coder) const
{
    encodeSimplePart(coder);
    coder.encodeObject(QVariantMap{
        {ImagePathKey, m_imagePath},
        {AlignmentKey, m_align},
        {MarginKey, m_margin},
        {ImageHeightKey, m_imageHeight},
        {ImageWidthKey, m_imageWidth},
        {ScalingKey, m_scaling},
    });
}

CodableRef ImageTag::decode(TypedUnarchiver &coder, int)
{
    std::shared_ptr<ImageTag> tag(new ImageTag());
    if (!tag->decodeSimplePart(coder))
        return nullptr;
    const QVariant part = coder.decodeObject();
    if (coder.hasFailed())
        return nullptr;
    if (part.typeId() == QMetaType::QString) {
        // The older form: the path alone, the size taken from the file.
        tag->m_imagePath = part.toString();
        tag->loadImage(true);
        return tag;
    }
    if (part.typeId() != QMetaType::QVariantMap) {
        coder.failWithReason(QStringLiteral("image tag without a path"));
        return nullptr;
    }
    const QVariantMap settings = part.toMap();
    const QVariant path = settings.value(ImagePathKey);
    tag->m_imagePath = path.typeId() == QMetaType::QString ? path.toString() : QString();
    tag->loadImage(false);
    tag->m_align = intValue(settings.value(AlignmentKey));
    tag->m_margin = intValue(settings.value(MarginKey));
    tag->m_imageWidth = validDimension(settings.value(ImageWidthKey));
    tag->m_imageHeight = validDimension(settings.value(ImageHeightKey));
    const QVariant scaling = settings.value(ScalingKey);
    tag->m_scaling = scaling.isValid() ? validScaling(float(doubleValue(scaling))) : 1.0f;
    return tag;
}
