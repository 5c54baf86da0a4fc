#pragma once

// The attribute values rich text carries, free of any GUI type so texts can
// be built, compared and archived on any thread.

#include <QList>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

// Attribute names; stored in archives, never renamed.
namespace TextAttributeName {
inline const QString Font = QStringLiteral("NSFont");                     // FontDescriptor
inline const QString Color = QStringLiteral("NSColor");                   // RgbaColor
inline const QString Underline = QStringLiteral("NSUnderline");           // int style, 0 none, 1 single
inline const QString Link = QStringLiteral("NSLink");                     // QString (a URL's text)
inline const QString ParagraphStyle = QStringLiteral("NSParagraphStyle"); // ParagraphStyle
inline const QString Attachment = QStringLiteral("NSAttachment");         // TextAttachmentRef
// Marks text that stands for a tag's value; name and value are both this text.
inline const QString TagMarker = QStringLiteral("Corvantiline Attachment");
} // namespace TextAttributeName

struct FontDescriptor {
    QString family;
    double pointSize = 12.0;
    bool bold = false;
    bool italic = false;
    friend bool operator==(const FontDescriptor &, const FontDescriptor &) = default;
};

struct RgbaColor {
    float red = 0.0f;
    float green = 0.0f;
    float blue = 0.0f;
    float alpha = 1.0f;
    friend bool operator==(const RgbaColor &, const RgbaColor &) = default;
};

// One list level of a paragraph, by marker format: "{disc}", "{decimal})",
// "{lower-alpha}." and the like; the placeholder in braces is replaced by
// the item's marker, the rest stays literal.
struct TextList {
    QString markerFormat;
    quint32 options = 0;
    // The marker of an item (numbers count from 1): "{decimal})" gives "3)" for 3.
    // Symbols: disc U+2022, hyphen U+2043, circle U+25E6, square U+25AA,
    // check U+2713, box U+25A1, diamond U+25C6. Letters go on past z as
    // spreadsheet columns do (aa, ab, ... az, ba); numbers below 1 for
    // letters or roman numerals, and above 3999 for roman numerals, are
    // written in decimal. An unknown placeholder is left out, an unclosed
    // brace stays literal.
    [[nodiscard]] QString markerForItemNumber(int itemNumber) const;
    // The number of the item whose marker this is, 0 where every item has
    // the same marker; none when it is the marker of no item: text that
    // only looks like one is text.
    [[nodiscard]] std::optional<int> itemNumberOfMarker(QStringView marker) const;
    // The length of the item prefix, "\t" + marker + "\t", that a
    // paragraph's text begins with, the marker one this list writes for an
    // item; 0 when it begins with none (a prefix the user broke, or text
    // that only looks like one).
    [[nodiscard]] qsizetype itemPrefixLength(QStringView paragraph) const;
    friend bool operator==(const TextList &, const TextList &) = default;
};

struct ParagraphStyle {
    // 0 left, 1 right, 2 centre, 3 justified, 4 natural.
    int alignment = 4;
    QList<TextList> textLists;
    // Values this model does not interpret (spacing, indents, tab stops...),
    // kept so that a text read and written again loses nothing.
    QVariantMap otherValues;
    friend bool operator==(const ParagraphStyle &, const ParagraphStyle &) = default;
};

Q_DECLARE_METATYPE(FontDescriptor)
Q_DECLARE_METATYPE(RgbaColor)
Q_DECLARE_METATYPE(TextList)
Q_DECLARE_METATYPE(ParagraphStyle)

// Attribute name to value; values are the types above, strings, numbers, or
// whatever an archive carried for an attribute this model does not know.
using TextAttributes = QMap<QString, QVariant>;

// Equality of attribute sets in which attachments compare by their content
// (file wrapper and cell kind), not by identity.
[[nodiscard]] bool textAttributesEqual(const TextAttributes &a, const TextAttributes &b);
