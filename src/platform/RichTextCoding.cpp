// Keyed layout (the public one for attributed strings, as far as it is
// known; keys marked "ours" are this program's own):
//
//   NSMutableAttributedString (read also as NSAttributedString)
//     NSString         the characters
//     NSAttributes     one run: its attribute dictionary; several runs: an
//                      array of the distinct attribute dictionaries
//     NSAttributeInfo  several runs only: data of varint pairs (run length,
//                      index into NSAttributes), unsigned base 128, low
//                      group first
//   NSFont             NSName family, NSSize double,
//                      CVFontTraits int, bit 0 bold, bit 1 italic (ours)
//   NSColor            NSColorSpace 1, NSRGB ASCII "r g b a"
//   NSParagraphStyle   NSAlignment int (absent: 4, natural), NSTextLists
//   (read also as      array of NSTextList, CVOtherValues dictionary of the
//   NSMutable...)      values this model keeps uninterpreted (ours)
//   NSTextList         NSMarkerFormat string, NSOptions int
//   NSTextAttachment   NSFileWrapper, an NSFileWrapper object; never the cell
//   NSFileWrapper      CVFileContents data, CVPreferredFilename string (ours)
//
// Typed layout, version 0 each, values in this order:
//   RichText       string, int32 run count, per run int32 length and the
//                  attribute dictionary
//   FontDescriptor string family, double size, bool bold, bool italic
//   RgbaColor      four floats, red green blue alpha
//   TextList       string format, int64 options
//   ParagraphStyle int32 alignment, array of TextList, dictionary of other values
//   TextAttachment FileWrapper object
//   FileWrapper    bytes contents, string preferred name

#include "RichTextCoding.h"

#include "Values.h"

#include "Codable.h"
#include "KeyedArchiver.h"
#include "KeyedUnarchiver.h"
#include "RichText.h"
#include "TypedArchiver.h"
#include "TypedUnarchiver.h"

#include <QHash>

#include <charconv>
#include <climits>
#include <cmath>

namespace {

const QString FontTraitsKey = QStringLiteral("CVFontTraits");
const QString OtherValuesKey = QStringLiteral("CVOtherValues");
const QString FileContentsKey = QStringLiteral("CVFileContents");
const QString PreferredFilenameKey = QStringLiteral("CVPreferredFilename");

constexpr qint32 BoldTrait = 1;
constexpr qint32 ItalicTrait = 2;
// Bounds on values read from archives; nothing sensible lies beyond them.
constexpr double MaxPointSize = 10000.0;
constexpr qsizetype MaxMarkerFormatLength = 1024;
constexpr qsizetype MaxColorTextLength = 256;

template <typename Coder>
QVariant refuse(Coder &coder, const QString &reason)
{
    coder.failWithReason(reason);
    return {};
}

// The attributes this model reads must hold the kind of value their readers
// expect; anything else in an archive is refused here rather than met later
// as a null attachment or a font that is a string.
QString attributesProblem(const TextAttributes &attributes)
{
    static const QHash<QString, int> expected = {
        {TextAttributeName::Font, qMetaTypeId<FontDescriptor>()},
        {TextAttributeName::Color, qMetaTypeId<RgbaColor>()},
        {TextAttributeName::ParagraphStyle, qMetaTypeId<ParagraphStyle>()},
        {TextAttributeName::Attachment, qMetaTypeId<TextAttachmentRef>()},
        {TextAttributeName::Link, QMetaType::QString},
    };
    for (auto it = attributes.cbegin(); it != attributes.cend(); ++it) {
        const auto type = expected.constFind(it.key());
        bool fits = true;
        if (type != expected.cend())
            fits = it.value().typeId() == *type;
        else if (it.key() == TextAttributeName::Underline)
            fits = isNumberValue(it.value());
        if (fits && it.key() == TextAttributeName::Attachment)
            fits = bool(it.value().value<TextAttachmentRef>());
        if (!fits)
            return QStringLiteral("text attribute %1 holds a value of the wrong kind").arg(it.key());
    }
    return {};
}

struct DecodedRun {
    qint64 length = 0;
    TextAttributes attributes;
};

template <typename Coder>
QVariant assembleRichText(Coder &coder, const QString &string, const QList<DecodedRun> &runs)
{
    qint64 total = 0;
    for (const DecodedRun &run : runs) {
        if (run.length < 0)
            return refuse(coder, QStringLiteral("rich text has a run of negative length"));
        total += run.length;
        if (total > string.size())
            break;
    }
    if (total != string.size())
        return refuse(coder, QStringLiteral("rich text runs do not cover its %1 characters").arg(string.size()));
    for (const DecodedRun &run : runs) {
        const QString problem = attributesProblem(run.attributes);
        if (!problem.isEmpty())
            return refuse(coder, problem);
    }
    RichText text;
    qsizetype position = 0;
    for (const DecodedRun &run : runs) {
        text.append(RichText(string.mid(position, run.length), run.attributes));
        position += run.length;
    }
    return QVariant::fromValue(text);
}

// ---- rich text, keyed

void appendVarint(QByteArray &out, quint32 value)
{
    do {
        quint8 group = value & 0x7f;
        value >>= 7;
        if (value)
            group |= 0x80;
        out.append(char(group));
    } while (value);
}

// False when the data ends inside the number or it does not fit an int;
// five groups are enough for any int, so a longer number is refused too.
bool readVarint(const QByteArray &data, qsizetype &position, qint64 &value)
{
    value = 0;
    for (int shift = 0; shift < 35; shift += 7) {
        if (position >= data.size())
            return false;
        const quint8 group = quint8(data[position++]);
        value |= qint64(group & 0x7f) << shift;
        if (!(group & 0x80))
            return value <= INT_MAX;
    }
    return false;
}

size_t valueSignature(const QVariant &value)
{
    if (value.typeId() == qMetaTypeId<TextAttachmentRef>())
        return qHash(quintptr(value.value<TextAttachmentRef>().get()));
    if (isStringValue(value))
        return qHash(value.toString());
    return size_t(value.typeId());
}

// The distinct attribute sets of a text, in order of first use. Lookups go
// through a signature so a text with thousands of runs is not compared run
// against run.
class AttributeTable {
public:
    int indexOf(const TextAttributes &attributes)
    {
        size_t signature = 0;
        for (auto it = attributes.cbegin(); it != attributes.cend(); ++it)
            signature = qHashMulti(signature, it.key(), valueSignature(it.value()));
        QList<int> &bucket = m_buckets[signature];
        for (int candidate : std::as_const(bucket)) {
            if (m_sets[candidate].toMap() == attributes)
                return candidate;
        }
        bucket.append(int(m_sets.size()));
        m_sets.append(QVariant(attributes));
        return int(m_sets.size()) - 1;
    }
    [[nodiscard]] const QVariantList &sets() const { return m_sets; }

private:
    QVariantList m_sets;
    QHash<size_t, QList<int>> m_buckets;
};

void encodeRichTextKeyed(KeyedArchiver &coder, const QVariant &value)
{
    const RichText text = value.value<RichText>();
    coder.encodeObject(QVariant(text.string()), QStringLiteral("NSString"));
    const QList<RichText::Run> &runs = text.runs();
    if (runs.isEmpty())
        return;
    if (runs.size() == 1) {
        coder.encodeObject(QVariant(runs.first().attributes), QStringLiteral("NSAttributes"));
        return;
    }
    AttributeTable table;
    QByteArray info;
    for (const RichText::Run &run : runs) {
        appendVarint(info, quint32(run.length));
        appendVarint(info, quint32(table.indexOf(run.attributes)));
    }
    coder.encodeObject(QVariant(table.sets()), QStringLiteral("NSAttributes"));
    coder.encodeBytes(info, QStringLiteral("NSAttributeInfo"));
}

QVariant decodeRichTextKeyed(KeyedUnarchiver &coder)
{
    const QVariant stringValue = coder.decodeObject(QStringLiteral("NSString"));
    const QVariant attributesValue = coder.decodeObject(QStringLiteral("NSAttributes"));
    if (coder.hasFailed())
        return {};
    if (stringValue.isValid() && !isStringValue(stringValue))
        return refuse(coder, QStringLiteral("rich text characters are not a string"));
    const QString string = stringValue.toString();

    QList<DecodedRun> runs;
    if (coder.containsValueForKey(QStringLiteral("NSAttributeInfo"))) {
        if (attributesValue.typeId() != QMetaType::QVariantList)
            return refuse(coder, QStringLiteral("rich text attributes are not an array"));
        const QVariantList sets = attributesValue.toList();
        for (const QVariant &set : sets) {
            if (set.typeId() != QMetaType::QVariantMap)
                return refuse(coder, QStringLiteral("rich text attributes are not dictionaries"));
        }
        const QByteArray info = coder.decodeBytes(QStringLiteral("NSAttributeInfo"));
        qsizetype position = 0;
        qint64 covered = 0;
        while (position < info.size()) {
            qint64 length = 0;
            qint64 index = 0;
            if (!readVarint(info, position, length) || !readVarint(info, position, index))
                return refuse(coder, QStringLiteral("rich text attribute info is malformed"));
            if (index >= sets.size())
                return refuse(coder, QStringLiteral("rich text attribute index %1 is out of range").arg(index));
            covered += length;
            if (covered > string.size())
                return refuse(coder, QStringLiteral("rich text runs are longer than its characters"));
            // Empty runs are dropped here, so a flood of them costs no memory.
            if (length > 0)
                runs.append(DecodedRun{length, sets[index].toMap()});
        }
    } else if (attributesValue.isValid()) {
        if (attributesValue.typeId() != QMetaType::QVariantMap)
            return refuse(coder, QStringLiteral("rich text attributes are not a dictionary"));
        runs.append(DecodedRun{string.size(), attributesValue.toMap()});
    } else {
        runs.append(DecodedRun{string.size(), {}});
    }
    return assembleRichText(coder, string, runs);
}

// ---- rich text, typed

void encodeRichTextTyped(TypedArchiver &coder, const QVariant &value)
{
    const RichText text = value.value<RichText>();
    coder.encodeObject(QVariant(text.string()));
    coder.encodeInt32(qint32(text.runs().size()));
    for (const RichText::Run &run : text.runs()) {
        coder.encodeInt32(run.length);
        coder.encodeObject(QVariant(run.attributes));
    }
}

template <typename Coder>
bool refuseNewerVersion(Coder &coder, int classVersion, const char *what)
{
    if (classVersion == 0)
        return false;
    coder.failWithReason(QStringLiteral("%1 of unknown version %2").arg(QLatin1String(what)).arg(classVersion));
    return true;
}

QVariant decodeRichTextTyped(TypedUnarchiver &coder, int classVersion)
{
    if (refuseNewerVersion(coder, classVersion, "rich text"))
        return {};
    const QVariant stringValue = coder.decodeObject();
    const qint32 count = coder.decodeInt32();
    if (coder.hasFailed())
        return {};
    if (!isStringValue(stringValue))
        return refuse(coder, QStringLiteral("rich text characters are not a string"));
    const QString string = stringValue.toString();
    // Every run holds a character, so the length bounds the count.
    if (count < 0 || count > string.size())
        return refuse(coder, QStringLiteral("rich text has an impossible run count %1").arg(count));
    QList<DecodedRun> runs;
    runs.reserve(count);
    for (qint32 i = 0; i < count; ++i) {
        const qint32 length = coder.decodeInt32();
        const QVariant attributes = coder.decodeObject();
        if (coder.hasFailed())
            return {};
        if (attributes.typeId() != QMetaType::QVariantMap)
            return refuse(coder, QStringLiteral("rich text attributes are not a dictionary"));
        runs.append(DecodedRun{length, attributes.toMap()});
    }
    return assembleRichText(coder, string, runs);
}

// ---- fonts

void encodeFontKeyed(KeyedArchiver &coder, const QVariant &value)
{
    const auto font = value.value<FontDescriptor>();
    coder.encodeObject(QVariant(font.family), QStringLiteral("NSName"));
    coder.encodeDouble(font.pointSize, QStringLiteral("NSSize"));
    coder.encodeInt32((font.bold ? BoldTrait : 0) | (font.italic ? ItalicTrait : 0), FontTraitsKey);
}

template <typename Coder>
QVariant checkedFont(Coder &coder, const QVariant &family, FontDescriptor font)
{
    if (family.isValid() && !isStringValue(family))
        return refuse(coder, QStringLiteral("font name is not a string"));
    if (!std::isfinite(font.pointSize) || font.pointSize < 0 || font.pointSize > MaxPointSize)
        return refuse(coder, QStringLiteral("font size %1 is out of range").arg(font.pointSize));
    font.family = family.toString();
    return QVariant::fromValue(font);
}

QVariant decodeFontKeyed(KeyedUnarchiver &coder)
{
    const QVariant family = coder.decodeObject(QStringLiteral("NSName"));
    FontDescriptor font;
    font.pointSize = coder.decodeDouble(QStringLiteral("NSSize"));
    const qint32 traits = coder.decodeInt32(FontTraitsKey);
    font.bold = traits & BoldTrait;
    font.italic = traits & ItalicTrait;
    if (coder.hasFailed())
        return {};
    return checkedFont(coder, family, font);
}

void encodeFontTyped(TypedArchiver &coder, const QVariant &value)
{
    const auto font = value.value<FontDescriptor>();
    coder.encodeObject(QVariant(font.family));
    coder.encodeDouble(font.pointSize);
    coder.encodeBool(font.bold);
    coder.encodeBool(font.italic);
}

QVariant decodeFontTyped(TypedUnarchiver &coder, int classVersion)
{
    if (refuseNewerVersion(coder, classVersion, "font"))
        return {};
    const QVariant family = coder.decodeObject();
    FontDescriptor font;
    font.pointSize = coder.decodeDouble();
    font.bold = coder.decodeBool();
    font.italic = coder.decodeBool();
    if (coder.hasFailed())
        return {};
    return checkedFont(coder, family, font);
}

// ---- colours

QByteArray colorComponentText(float component)
{
    // The shortest text that reads back as the very same float.
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, component);
    return QByteArray(buffer, result.ptr - buffer);
}

void encodeColorKeyed(KeyedArchiver &coder, const QVariant &value)
{
    const auto color = value.value<RgbaColor>();
    const QByteArray text = colorComponentText(color.red) + ' ' + colorComponentText(color.green) + ' '
        + colorComponentText(color.blue) + ' ' + colorComponentText(color.alpha);
    coder.encodeInt32(1, QStringLiteral("NSColorSpace"));
    coder.encodeBytes(text, QStringLiteral("NSRGB"));
}

// Reads "r g b" or "r g b a", blanks of any kind between, a trailing NUL as
// other writers leave it.
bool parseColorText(QByteArray text, RgbaColor &color)
{
    while (text.endsWith('\0'))
        text.chop(1);
    const QList<QByteArray> parts = text.simplified().split(' ');
    if (parts.size() != 3 && parts.size() != 4)
        return false;
    float components[4] = {0, 0, 0, 1};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QByteArray &part = parts[i];
        const char *end = part.constData() + part.size();
        const auto result = std::from_chars(part.constData(), end, components[i]);
        if (result.ec != std::errc() || result.ptr != end || !std::isfinite(components[i]))
            return false;
    }
    color = RgbaColor{components[0], components[1], components[2], components[3]};
    return true;
}

QVariant decodeColorKeyed(KeyedUnarchiver &coder)
{
    const qint32 space = coder.decodeInt32(QStringLiteral("NSColorSpace"));
    const QByteArray text = coder.decodeBytes(QStringLiteral("NSRGB"));
    if (coder.hasFailed())
        return {};
    // 1 and 2 are the calibrated and the device RGB spaces; both carry NSRGB.
    if (space != 1 && space != 2)
        return refuse(coder, QStringLiteral("colour space %1 is not supported").arg(space));
    RgbaColor color;
    if (text.size() > MaxColorTextLength || !parseColorText(text, color))
        return refuse(coder, QStringLiteral("colour components are malformed"));
    return QVariant::fromValue(color);
}

void encodeColorTyped(TypedArchiver &coder, const QVariant &value)
{
    const auto color = value.value<RgbaColor>();
    coder.encodeFloat(color.red);
    coder.encodeFloat(color.green);
    coder.encodeFloat(color.blue);
    coder.encodeFloat(color.alpha);
}

QVariant decodeColorTyped(TypedUnarchiver &coder, int classVersion)
{
    if (refuseNewerVersion(coder, classVersion, "colour"))
        return {};
    RgbaColor color;
    color.red = coder.decodeFloat();
    color.green = coder.decodeFloat();
    color.blue = coder.decodeFloat();
    color.alpha = coder.decodeFloat();
    if (coder.hasFailed())
        return {};
    for (float component : {color.red, color.green, color.blue, color.alpha}) {
        if (!std::isfinite(component))
            return refuse(coder, QStringLiteral("colour component is not a number"));
    }
    return QVariant::fromValue(color);
}

// ---- text lists

template <typename Coder>
QVariant checkedTextList(Coder &coder, const QVariant &format, qint64 options)
{
    if (format.isValid() && !isStringValue(format))
        return refuse(coder, QStringLiteral("list marker format is not a string"));
    if (format.toString().size() > MaxMarkerFormatLength)
        return refuse(coder, QStringLiteral("list marker format is too long"));
    if (options < 0 || options > qint64(UINT32_MAX))
        return refuse(coder, QStringLiteral("list options %1 are out of range").arg(options));
    return QVariant::fromValue(TextList{format.toString(), quint32(options)});
}

void encodeTextListKeyed(KeyedArchiver &coder, const QVariant &value)
{
    const auto list = value.value<TextList>();
    coder.encodeObject(QVariant(list.markerFormat), QStringLiteral("NSMarkerFormat"));
    coder.encodeInt64(list.options, QStringLiteral("NSOptions"));
}

QVariant decodeTextListKeyed(KeyedUnarchiver &coder)
{
    const QVariant format = coder.decodeObject(QStringLiteral("NSMarkerFormat"));
    const qint64 options = coder.decodeInt64(QStringLiteral("NSOptions"));
    if (coder.hasFailed())
        return {};
    return checkedTextList(coder, format, options);
}

void encodeTextListTyped(TypedArchiver &coder, const QVariant &value)
{
    const auto list = value.value<TextList>();
    coder.encodeObject(QVariant(list.markerFormat));
    coder.encodeInt64(list.options);
}

QVariant decodeTextListTyped(TypedUnarchiver &coder, int classVersion)
{
    if (refuseNewerVersion(coder, classVersion, "text list"))
        return {};
    const QVariant format = coder.decodeObject();
    const qint64 options = coder.decodeInt64();
    if (coder.hasFailed())
        return {};
    return checkedTextList(coder, format, options);
}

// ---- paragraph styles

QVariantList textListValues(const QList<TextList> &lists)
{
    QVariantList values;
    values.reserve(lists.size());
    for (const TextList &list : lists)
        values.append(QVariant::fromValue(list));
    return values;
}

// Absent parts (invalid variants) read as empty ones.
template <typename Coder>
QVariant checkedParagraphStyle(Coder &coder, qint32 alignment, const QVariant &lists, const QVariant &others)
{
    if (alignment < 0 || alignment > 4)
        return refuse(coder, QStringLiteral("paragraph alignment %1 is out of range").arg(alignment));
    ParagraphStyle style;
    style.alignment = alignment;
    if (lists.isValid()) {
        if (lists.typeId() != QMetaType::QVariantList)
            return refuse(coder, QStringLiteral("paragraph text lists are not an array"));
        for (const QVariant &list : lists.toList()) {
            if (list.typeId() != qMetaTypeId<TextList>())
                return refuse(coder, QStringLiteral("paragraph text list of the wrong kind"));
            style.textLists.append(list.value<TextList>());
        }
    }
    if (others.isValid()) {
        if (others.typeId() != QMetaType::QVariantMap)
            return refuse(coder, QStringLiteral("paragraph values are not a dictionary"));
        style.otherValues = others.toMap();
    }
    return QVariant::fromValue(style);
}

void encodeParagraphStyleKeyed(KeyedArchiver &coder, const QVariant &value)
{
    const auto style = value.value<ParagraphStyle>();
    coder.encodeInt32(style.alignment, QStringLiteral("NSAlignment"));
    if (!style.textLists.isEmpty())
        coder.encodeObject(textListValues(style.textLists), QStringLiteral("NSTextLists"));
    if (!style.otherValues.isEmpty())
        coder.encodeObject(style.otherValues, OtherValuesKey);
}

QVariant decodeParagraphStyleKeyed(KeyedUnarchiver &coder)
{
    // Writers leave the alignment out when it is the natural one.
    const qint32 alignment = coder.containsValueForKey(QStringLiteral("NSAlignment"))
        ? coder.decodeInt32(QStringLiteral("NSAlignment"))
        : 4;
    const QVariant lists = coder.decodeObject(QStringLiteral("NSTextLists"));
    const QVariant others = coder.decodeObject(OtherValuesKey);
    if (coder.hasFailed())
        return {};
    return checkedParagraphStyle(coder, alignment, lists, others);
}

void encodeParagraphStyleTyped(TypedArchiver &coder, const QVariant &value)
{
    const auto style = value.value<ParagraphStyle>();
    coder.encodeInt32(style.alignment);
    coder.encodeObject(textListValues(style.textLists));
    coder.encodeObject(style.otherValues);
}

QVariant decodeParagraphStyleTyped(TypedUnarchiver &coder, int classVersion)
{
    if (refuseNewerVersion(coder, classVersion, "paragraph style"))
        return {};
    const qint32 alignment = coder.decodeInt32();
    const QVariant lists = coder.decodeObject();
    const QVariant others = coder.decodeObject();
    if (coder.hasFailed())
        return {};
    return checkedParagraphStyle(coder, alignment, lists, others);
}

// ---- file wrappers and attachments

void encodeFileWrapperKeyed(KeyedArchiver &coder, const QVariant &value)
{
    const auto wrapper = value.value<FileWrapper>();
    coder.encodeBytes(wrapper.regularFileContents, FileContentsKey);
    coder.encodeObject(QVariant(wrapper.preferredFilename), PreferredFilenameKey);
}

template <typename Coder>
QVariant checkedFileWrapper(Coder &coder, const QByteArray &contents, const QVariant &name)
{
    if (name.isValid() && !isStringValue(name))
        return refuse(coder, QStringLiteral("file wrapper name is not a string"));
    return QVariant::fromValue(FileWrapper{contents, name.toString()});
}

QVariant decodeFileWrapperKeyed(KeyedUnarchiver &coder)
{
    const QByteArray contents = coder.decodeBytes(FileContentsKey);
    const QVariant name = coder.decodeObject(PreferredFilenameKey);
    if (coder.hasFailed())
        return {};
    return checkedFileWrapper(coder, contents, name);
}

void encodeFileWrapperTyped(TypedArchiver &coder, const QVariant &value)
{
    const auto wrapper = value.value<FileWrapper>();
    coder.encodeBytes(wrapper.regularFileContents);
    coder.encodeObject(QVariant(wrapper.preferredFilename));
}

QVariant decodeFileWrapperTyped(TypedUnarchiver &coder, int classVersion)
{
    if (refuseNewerVersion(coder, classVersion, "file wrapper"))
        return {};
    const QByteArray contents = coder.decodeBytes();
    const QVariant name = coder.decodeObject();
    if (coder.hasFailed())
        return {};
    return checkedFileWrapper(coder, contents, name);
}

// A null attachment is written as one with an empty file wrapper: readers
// of the text expect every attachment attribute to hold an attachment.
QVariant fileWrapperOf(const QVariant &attachment)
{
    const auto ref = attachment.value<TextAttachmentRef>();
    if (!ref)
        return QVariant::fromValue(FileWrapper());
    if (ref->cell) {
        if (auto current = ref->cell->currentFileWrapper())
            return QVariant::fromValue(*current);
    }
    return QVariant::fromValue(ref->fileWrapper);
}

// The cell is not read back: the text's owner rebuilds it from the wrapper.
template <typename Coder>
QVariant checkedAttachment(Coder &coder, const QVariant &wrapper)
{
    if (wrapper.isValid() && wrapper.typeId() != qMetaTypeId<FileWrapper>())
        return refuse(coder, QStringLiteral("attachment file wrapper of the wrong kind"));
    return QVariant::fromValue(std::make_shared<TextAttachment>(wrapper.value<FileWrapper>()));
}

QVariant decodeAttachmentKeyed(KeyedUnarchiver &coder)
{
    const QVariant wrapper = coder.decodeObject(QStringLiteral("NSFileWrapper"));
    if (coder.hasFailed())
        return {};
    return checkedAttachment(coder, wrapper);
}

QVariant decodeAttachmentTyped(TypedUnarchiver &coder, int classVersion)
{
    if (refuseNewerVersion(coder, classVersion, "attachment"))
        return {};
    const QVariant wrapper = coder.decodeObject();
    if (coder.hasFailed())
        return {};
    return checkedAttachment(coder, wrapper);
}

QStringList keyedHierarchy(const QString &className)
{
    return {className, QStringLiteral("NSObject")};
}

} // namespace

namespace {

template <typename T>
void registerCoder(QStringList keyedClasses, const QString &typedClassName,
                   std::function<void(KeyedArchiver &, const QVariant &)> encodeKeyed,
                   std::function<QVariant(KeyedUnarchiver &)> decodeKeyed,
                   std::function<void(TypedArchiver &, const QVariant &)> encodeTyped,
                   std::function<QVariant(TypedUnarchiver &, int)> decodeTyped, QStringList keyedAliases = {})
{
    qRegisterMetaType<T>();
    ArchiveRegistry::ValueCoder coder;
    coder.metaTypeId = qMetaTypeId<T>();
    coder.keyedClasses = std::move(keyedClasses);
    coder.keyedAliases = std::move(keyedAliases);
    coder.encodeKeyed = std::move(encodeKeyed);
    coder.decodeKeyed = std::move(decodeKeyed);
    coder.typedClassName = typedClassName;
    coder.encodeTyped = std::move(encodeTyped);
    coder.decodeTyped = std::move(decodeTyped);
    ArchiveRegistry::registerValueCoder(coder);
}

} // namespace

void registerRichTextCoders()
{
    registerCoder<RichText>({QStringLiteral("NSMutableAttributedString"), QStringLiteral("NSAttributedString"),
                             QStringLiteral("NSObject")},
                            QStringLiteral("RichText"), encodeRichTextKeyed, decodeRichTextKeyed,
                            encodeRichTextTyped, decodeRichTextTyped, {QStringLiteral("NSAttributedString")});
    registerCoder<FontDescriptor>(keyedHierarchy(QStringLiteral("NSFont")), QStringLiteral("FontDescriptor"),
                                  encodeFontKeyed, decodeFontKeyed, encodeFontTyped, decodeFontTyped);
    registerCoder<RgbaColor>(keyedHierarchy(QStringLiteral("NSColor")), QStringLiteral("RgbaColor"),
                             encodeColorKeyed, decodeColorKeyed, encodeColorTyped, decodeColorTyped);
    registerCoder<TextList>(keyedHierarchy(QStringLiteral("NSTextList")), QStringLiteral("TextList"),
                            encodeTextListKeyed, decodeTextListKeyed, encodeTextListTyped, decodeTextListTyped);
    registerCoder<ParagraphStyle>(keyedHierarchy(QStringLiteral("NSParagraphStyle")), QStringLiteral("ParagraphStyle"),
                                  encodeParagraphStyleKeyed, decodeParagraphStyleKeyed, encodeParagraphStyleTyped,
                                  decodeParagraphStyleTyped, {QStringLiteral("NSMutableParagraphStyle")});
    registerCoder<FileWrapper>(keyedHierarchy(QStringLiteral("NSFileWrapper")), QStringLiteral("FileWrapper"),
                               encodeFileWrapperKeyed, decodeFileWrapperKeyed, encodeFileWrapperTyped,
                               decodeFileWrapperTyped);
    registerCoder<TextAttachmentRef>(
        keyedHierarchy(QStringLiteral("NSTextAttachment")), QStringLiteral("TextAttachment"),
        [](KeyedArchiver &coder, const QVariant &value) {
            coder.encodeObject(fileWrapperOf(value), QStringLiteral("NSFileWrapper"));
        },
        decodeAttachmentKeyed,
        [](TypedArchiver &coder, const QVariant &value) { coder.encodeObject(fileWrapperOf(value)); },
        decodeAttachmentTyped);
}
