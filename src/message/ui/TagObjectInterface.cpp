#include "TagObjectInterface.h"

#include "RichTextBridge.h"

#include "ImageTag.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace {

SimpleTag *tagOf(const QTextFormat &format)
{
    const TextAttachmentRef attachment = RichTextBridge::attachment(format);
    return attachment ? dynamic_cast<SimpleTag *>(attachment->cell.get()) : nullptr;
}

QColor withAlpha(const RgbaColor &color, float alpha)
{
    RgbaColor c = color;
    c.alpha = alpha;
    const auto unit = [](float value) { return std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : 0.0f; };
    return QColor::fromRgbF(unit(c.red), unit(c.green), unit(c.blue), unit(c.alpha));
}

} // namespace

TagObjectInterface::TagObjectInterface(QObject *parent)
    : QObject(parent)
{
}

void TagObjectInterface::install(QTextDocument *document)
{
    document->documentLayout()->registerHandler(RichTextBridge::TagObjectType, this);
}

QFont TagObjectInterface::nameFont(const SimpleTag &tag, const QTextFormat &format, const QFont &documentFont)
{
    QFont font = tag.font() ? RichTextBridge::qFont(*tag.font()).resolve(documentFont)
                            : format.toCharFormat().font().resolve(documentFont);
    if (const auto &attributes = tag.attributes()) {
        const QVariant underline = attributes->value(TextAttributeName::Underline);
        font.setUnderline(underline.isValid() && underline.toDouble() != 0.0);
    }
    return font;
}

QSizeF TagObjectInterface::tagSize(const SimpleTag &tag, const QFont &nameFont, QPaintDevice *device)
{
    const QFontMetricsF metrics = device ? QFontMetricsF(nameFont, device) : QFontMetricsF(nameFont);
    const QSizeF nameSize(metrics.horizontalAdvance(tag.tagName()), metrics.height());
    return tag.cellFrame(nameSize).size();
}

QSizeF TagObjectInterface::intrinsicSize(QTextDocument *document, int, const QTextFormat &format)
{
    const SimpleTag *tag = tagOf(format);
    if (!tag)
        return {};
    return tagSize(*tag, nameFont(*tag, format, document->defaultFont()), document->documentLayout()->paintDevice());
}

void TagObjectInterface::drawObject(QPainter *painter, const QRectF &rect, QTextDocument *document, int,
                                    const QTextFormat &format)
{
    const SimpleTag *tag = tagOf(format);
    if (!tag)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (const auto *image = dynamic_cast<const ImageTag *>(tag)) {
        const QRectF frame = rect.adjusted(1, 1, -1, -1);
        if (!image->image().isNull())
            painter->drawImage(frame, image->image());
        painter->setBrush(Qt::NoBrush);
        painter->setPen(QPen(Qt::black, 1));
        painter->drawRect(frame);
    } else {
        const QRectF frame = rect.adjusted(1, 0, -1, 0);
        QPainterPath outline;
        outline.addRoundedRect(frame, 5, 5);
        painter->fillPath(outline, withAlpha(tag->backgroundColor(), 0.2f));
        painter->setPen(QPen(withAlpha(tag->backgroundColor(), 0.5f), 1));
        painter->drawPath(outline);

        QColor textColor = Qt::black;
        if (const auto &attributes = tag->attributes()) {
            const QVariant color = attributes->value(TextAttributeName::Color);
            if (color.typeId() == qMetaTypeId<RgbaColor>())
                textColor = withAlpha(color.value<RgbaColor>(), color.value<RgbaColor>().alpha);
        }
        QFont font = nameFont(*tag, format, document->defaultFont());
        // A tag in a link looks as the link does around it (LinkLooks).
        const QTextCharFormat looks = format.toCharFormat();
        if (looks.isAnchor() && looks.hasProperty(QTextFormat::ForegroundBrush)) {
            textColor = looks.foreground().color();
            font.setUnderline(looks.fontUnderline());
        }
        painter->setPen(textColor);
        painter->setFont(font);
        painter->drawText(rect.translated(8, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, tag->tagName());
    }
    painter->restore();
}
