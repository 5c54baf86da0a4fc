#pragma once

// Small builders for attributed, tagged texts, shared by the message tests
// and the personalisation benchmark.

#include "AttributedTagString.h"
#include "ConditionTag.h"

#include "RichText.h"
#include "TextAttributes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <utility>

namespace TextFixtures {

inline TextAttributes font(const QString &family, double size, bool bold = false, bool italic = false)
{
    return {{TextAttributeName::Font, QVariant::fromValue(FontDescriptor{family, size, bold, italic})}};
}

inline TextAttributes with(TextAttributes attributes, const QString &name, const QVariant &value)
{
    attributes.insert(name, value);
    return attributes;
}

inline TextAttributes aligned(TextAttributes attributes, int alignment, const QString &listFormat = {})
{
    ParagraphStyle style;
    style.alignment = alignment;
    if (!listFormat.isEmpty())
        style.textLists = {TextList{listFormat}};
    return with(std::move(attributes), TextAttributeName::ParagraphStyle, QVariant::fromValue(style));
}

inline TextAttributes colored(TextAttributes attributes, RgbaColor color)
{
    return with(std::move(attributes), TextAttributeName::Color, QVariant::fromValue(color));
}

// "<before><tag><after>"
inline RichText withTag(const QString &before, const SimpleTagRef &tag, const QString &after = {})
{
    RichText text(before + after);
    DoInsertTagInAttributedString(tag, text, int(before.size()));
    return text;
}

inline ConditionRule rule(const QString &field, qint64 op, const QString &content, const RichText &result)
{
    return ConditionRule{field, op, content, result};
}

// Writes the bytes, making the folders on the way.
inline bool writeFile(const QString &path, const QByteArray &bytes = "data")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline bool writePng(const QString &path, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::red);
    return image.save(path, "PNG");
}

} // namespace TextFixtures
