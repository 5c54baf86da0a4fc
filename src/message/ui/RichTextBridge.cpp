#include "RichTextBridge.h"

#include "FunctionUndoItem.h"

#include <QBrush>
#include <QColor>
#include <QHash>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace RichTextBridge {

namespace {

// Characters that Qt turns into block separators whatever format they are
// given (the last two are its frame markers); each is one separator here.
bool isSeparator(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator || c == QChar(0xFDD0) || c == QChar(0xFDD1);
}

template <typename T>
std::optional<T> typed(const QVariant &value)
{
    if (value.typeId() != qMetaTypeId<T>())
        return std::nullopt;
    return value.value<T>();
}

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

bool isNonZero(const QVariant &number)
{
    if (number.typeId() == QMetaType::Double || number.typeId() == QMetaType::Float)
        return number.toDouble() != 0.0;
    return number.toULongLong() != 0;
}

// Sizes Qt can lay out without trouble; others are kept but not shown.
bool showableSize(double pointSize)
{
    return std::isfinite(pointSize) && pointSize > 0.0 && pointSize <= 1000.0;
}

void applyFont(QTextCharFormat &format, const FontDescriptor &font)
{
    if (!font.family.isEmpty())
        format.setFontFamilies(QStringList{font.family});
    if (showableSize(font.pointSize))
        format.setFontPointSize(font.pointSize);
    format.setFontWeight(font.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(font.italic);
}

constexpr int NativeFontProperties[] = {QTextFormat::FontFamilies, QTextFormat::FontFamily, QTextFormat::FontPointSize,
                                        QTextFormat::FontPixelSize, QTextFormat::FontWeight, QTextFormat::FontItalic};

bool hasNativeFont(const QTextCharFormat &format)
{
    return std::any_of(std::begin(NativeFontProperties), std::end(NativeFontProperties),
                       [&](int property) { return format.hasProperty(property); });
}

bool nativeFontMatches(const QTextCharFormat &format, const FontDescriptor &font)
{
    QTextCharFormat probe;
    applyFont(probe, font);
    return std::all_of(std::begin(NativeFontProperties), std::end(NativeFontProperties),
                       [&](int property) { return probe.property(property) == format.property(property); });
}

Qt::Alignment qtAlignment(int alignment)
{
    switch (alignment) {
    case 0:
        return Qt::AlignLeft | Qt::AlignAbsolute;
    case 1:
        return Qt::AlignRight | Qt::AlignAbsolute;
    case 2:
        return Qt::AlignHCenter;
    case 3:
        return Qt::AlignJustify;
    default: // natural, and values the text system does not define
        return Qt::AlignLeading;
    }
}

int textAlignment(Qt::Alignment alignment)
{
    const Qt::Alignment horizontal = alignment & Qt::AlignHorizontal_Mask;
    if (horizontal & Qt::AlignHCenter)
        return 2;
    if (horizontal & Qt::AlignJustify)
        return 3;
    if (horizontal & Qt::AlignRight)
        return 1;
    if (horizontal & Qt::AlignAbsolute)
        return 0;
    return 4;
}

// A character's format within a paragraph of the given style. Keeping its
// own style records it where it differs; otherwise it takes the paragraph's.
QTextCharFormat formatInParagraph(TextAttributes attributes, const std::optional<ParagraphStyle> &paragraph,
                                  bool keepOwnStyle)
{
    std::optional<ParagraphStyle> own;
    const auto it = attributes.find(TextAttributeName::ParagraphStyle);
    if (it != attributes.end()) {
        own = typed<ParagraphStyle>(*it);
        if (own) // a value of another type is kept among the other attributes
            attributes.erase(it);
    }
    QTextCharFormat format = charFormat(attributes);
    if (keepOwnStyle && own != paragraph)
        format.setProperty(ParagraphOverrideProperty, own ? QVariant::fromValue(*own) : QVariant(false));
    return format;
}

TextAttributes attributesInParagraph(const QTextCharFormat &format, const std::optional<ParagraphStyle> &paragraph,
                                     const QFont &defaultFont)
{
    TextAttributes attributes = characterAttributes(format, defaultFont);
    if (paragraph && !format.hasProperty(ParagraphOverrideProperty) &&
        !attributes.contains(TextAttributeName::ParagraphStyle))
        attributes.insert(TextAttributeName::ParagraphStyle, QVariant::fromValue(*paragraph));
    return attributes;
}

QChar separatorCharacter(const QTextCharFormat &format)
{
    const QString stored = format.property(SeparatorProperty).toString();
    if (stored.size() == 1 && isSeparator(stored.at(0)))
        return stored.at(0);
    return u'\n';
}

// Writes the text at the cursor, which stands in an empty block. The empty
// last paragraph of a text ending in a separator takes `emptyLastFormat`
// when given, else the format of the paragraph before it.
void writeText(QTextCursor &cursor, const RichText &text, bool keepOwnStyles,
               const std::optional<QTextBlockFormat> &emptyLastFormat)
{
    const QString &string = text.string();
    const int length = text.length();
    QTextBlockFormat previous;
    int position = 0;
    for (;;) {
        int separator = position;
        while (separator < length && !isSeparator(string.at(separator)))
            ++separator;
        std::optional<ParagraphStyle> style;
        if (position < length) {
            style = typed<ParagraphStyle>(text.attributesAtIndex(position).value(TextAttributeName::ParagraphStyle));
            previous = blockFormat(style);
            cursor.setBlockFormat(previous);
        } else {
            cursor.setBlockFormat(emptyLastFormat ? *emptyLastFormat : previous);
        }
        for (int index = position; index < separator;) {
            TextRange run;
            const TextAttributes attributes = text.attributesAtIndex(index, &run);
            const int end = std::min(run.end(), separator);
            cursor.insertText(string.mid(index, end - index), formatInParagraph(attributes, style, keepOwnStyles));
            index = end;
        }
        if (separator >= length)
            break;
        QTextCharFormat separatorFormat = formatInParagraph(text.attributesAtIndex(separator), style, keepOwnStyles);
        if (string.at(separator) != u'\n')
            separatorFormat.setProperty(SeparatorProperty, QString(string.at(separator)));
        cursor.insertBlock(previous, separatorFormat);
        position = separator + 1;
    }
}

// Laid out again at once, a long stretch of text holds the window (about a
// tenth of a second for this many characters); past it, an edit leaves the
// layout to lay the text out as it does a text just set: what shows first,
// the rest in slices while the user goes on.
constexpr int LazyLayoutLength = 64 * 1024;

// Until the document's next change is through, it has no page size: the
// layout only forgets what changed. Given the size back, it starts anew.
void deferLayout(QTextDocument *document)
{
    if (!document || document->pageSize().isNull())
        return;
    const QSizeF pageSize = document->pageSize();
    document->setPageSize(QSizeF());
    auto restore = std::make_shared<QMetaObject::Connection>();
    *restore = QObject::connect(document, &QTextDocument::contentsChanged, document, [document, pageSize, restore] {
        QObject::disconnect(*restore);
        document->setPageSize(pageSize);
    });
}

TextRange clampedRange(const QTextDocument *document, TextRange range)
{
    const int length = document->characterCount() - 1;
    const int start = std::clamp(range.location, 0, length);
    const int end = int(std::clamp<qint64>(qint64(start) + std::max(range.length, 0), start, length));
    return TextRange{start, end - start};
}

} // namespace

void setDocumentText(QTextDocument *document, const RichText &text)
{
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    document->clear();
    QTextCursor cursor(document);
    writeText(cursor, text, true, std::nullopt);
    document->setUndoRedoEnabled(undo);
}

RichText documentText(const QTextDocument *document)
{
    return documentText(document, TextRange{0, document->characterCount() - 1});
}

RichText documentText(const QTextDocument *document, TextRange range)
{
    range = clampedRange(document, range);
    const int start = range.location;
    const int end = range.end();
    const QFont defaultFont = document->defaultFont();
    RichText text;
    for (QTextBlock block = document->findBlock(start); block.isValid(); block = block.next()) {
        const std::optional<ParagraphStyle> style = paragraphStyle(block.blockFormat());
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const int fragmentStart = fragment.position();
            const int from = std::max(fragmentStart, start);
            const int to = std::min(fragmentStart + fragment.length(), end);
            if (from < to) {
                const QString characters = fragment.text();
                text.appendCharacters(QStringView(characters).mid(from - fragmentStart, to - from),
                                      attributesInParagraph(fragment.charFormat(), style, defaultFont));
            }
        }
        const int separator = block.position() + block.length() - 1;
        if (separator >= end)
            break;
        const QTextBlock next = block.next();
        if (separator >= start && next.isValid()) {
            // A paragraph break is no tag, whatever format it was given.
            const QTextCharFormat format = withoutTag(next.charFormat());
            const QChar character = separatorCharacter(format);
            text.appendCharacters(QStringView(&character, 1), attributesInParagraph(format, style, defaultFont));
        }
    }
    return text;
}

int replaceRange(QTextDocument *document, TextRange range, const RichText &replacement)
{
    range = clampedRange(document, range);
    const QTextBlock first = document->findBlock(range.location);
    const QTextBlock last = document->findBlock(range.end());
    const int spanStart = first.position();
    const int spanEnd = last.position() + last.length() - 1;
    // The whole text replaced: nothing of the old one is left to read.
    const bool whole = range.location == spanStart && range.end() == spanEnd;
    RichText paragraphs = whole ? replacement : documentText(document, TextRange{spanStart, spanEnd - spanStart});
    if (!whole)
        paragraphs.replaceCharacters(TextRange{range.location - spanStart, range.length}, replacement);
    const QTextBlockFormat lastFormat = last.blockFormat();

    QTextCursor cursor(document);
    cursor.beginEditBlock();
    cursor.setPosition(spanStart);
    cursor.setPosition(spanEnd, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    writeText(cursor, paragraphs, false, lastFormat);
    cursor.endEditBlock();
    return range.location + replacement.length();
}

void replaceWholeText(QTextDocument *document, const RichText &text)
{
    // Without a page size the layout only forgets the changed blocks; given
    // its size back, it lays the text out as it does a text just set: what
    // shows first, the rest in slices while the user goes on. Laid out
    // after the edit, a megabyte of text holds the window for a while.
    const QSizeF pageSize = document->pageSize();
    document->setPageSize(QSizeF());
    // Written after the old text in blocks of its own, then the old text
    // removed: a caret at the start stays there instead of being pushed to
    // the end, which would have everything laid out to show it.
    QTextCursor cursor(document);
    cursor.joinPreviousEditBlock();
    const int oldEnd = document->characterCount() - 1;
    cursor.movePosition(QTextCursor::End);
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    writeText(cursor, text, true, std::nullopt);
    cursor.setPosition(0);
    cursor.setPosition(oldEnd + 1, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    cursor.endEditBlock();
    document->setPageSize(pageSize);
}

void editAttributes(QTextDocument *document, TextRange range, const std::function<void(TextAttributes &)> &edit,
                    bool tagLooksChanged)
{
    range = clampedRange(document, range);
    const int start = range.location;
    const int end = range.end();
    if (start >= end)
        return;
    const QFont defaultFont = document->defaultFont();
    // Formats are shared by index: each is edited once, however many runs
    // carry it. None: the edit leaves it as it is.
    QHash<int, std::optional<QTextCharFormat>> editedFormats;
    const auto editedFormat = [&](int index, const QTextCharFormat &format) -> const std::optional<QTextCharFormat> & {
        auto it = editedFormats.find(index);
        if (it != editedFormats.end())
            return *it;
        TextAttributes attributes = characterAttributes(format, defaultFont);
        const TextAttributes before = attributes;
        edit(attributes);
        const bool relayout = tagLooksChanged && format.objectType() == TagObjectType;
        std::optional<QTextCharFormat> result;
        if (attributes != before || relayout) {
            result = charFormat(attributes);
            // What the attributes do not hold: where a separator came from,
            // and a character's wish to have no paragraph style.
            for (const int property : {int(SeparatorProperty), int(ParagraphOverrideProperty)}) {
                if (format.hasProperty(property) && !result->hasProperty(property))
                    result->setProperty(property, format.property(property));
            }
            // A format of its own makes the layout measure the tag again.
            if (relayout)
                result->setProperty(TagLooksProperty, format.intProperty(TagLooksProperty) + 1);
        }
        return *editedFormats.insert(index, std::move(result));
    };

    // Collected first: each change splits the fragments being walked.
    struct Change {
        int from;
        int to;
        QTextCharFormat format;
    };
    QList<Change> changes;
    const auto add = [&](int from, int to, int index, const QTextCharFormat &format) {
        from = std::max(from, start);
        to = std::min(to, end);
        if (from >= to)
            return;
        const std::optional<QTextCharFormat> &edited = editedFormat(index, format);
        if (!edited)
            return;
        if (!changes.isEmpty() && changes.last().to == from && changes.last().format == *edited)
            changes.last().to = to;
        else
            changes.append({from, to, *edited});
    };
    for (QTextBlock block = document->findBlock(start); block.isValid() && block.position() < end;
         block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            add(fragment.position(), fragment.position() + fragment.length(), fragment.charFormatIndex(),
                fragment.charFormat());
        }
        // The separator after the block carries the next block's character format.
        const QTextBlock next = block.next();
        const int separator = block.position() + block.length() - 1;
        if (next.isValid())
            add(separator, separator + 1, next.charFormatIndex(), next.charFormat());
    }

    QTextCursor cursor(document);
    cursor.beginEditBlock();
    const bool lazy = !changes.isEmpty() && beginLongChange(document, range.length);
    for (const Change &change : std::as_const(changes)) {
        cursor.setPosition(change.from);
        cursor.setPosition(change.to, QTextCursor::KeepAnchor);
        cursor.setCharFormat(change.format);
    }
    if (lazy)
        endLongChange(document);
    cursor.endEditBlock();
}

void setParagraphAlignment(QTextDocument *document, TextRange range, int alignment)
{
    range = clampedRange(document, range);
    const QTextBlock first = document->findBlock(range.location);
    // A selection that ends where a paragraph begins does not reach into it.
    const QTextBlock last = document->findBlock(range.length > 0 ? range.end() - 1 : range.location);
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    for (QTextBlock block = first; block.isValid(); block = block.next()) {
        ParagraphStyle style = paragraphStyle(block.blockFormat()).value_or(ParagraphStyle());
        style.alignment = alignment;
        cursor.setPosition(block.position());
        cursor.mergeBlockFormat(blockFormat(style));
        if (block == last)
            break;
    }
    const int end = last.position() + last.length() - 1;
    const auto alignOwnStyle = [alignment](TextAttributes &attributes) {
        const auto it = attributes.find(TextAttributeName::ParagraphStyle);
        if (it == attributes.end() || it->typeId() != qMetaTypeId<ParagraphStyle>())
            return;
        auto own = it->value<ParagraphStyle>();
        own.alignment = alignment;
        *it = QVariant::fromValue(own);
    };
    editAttributes(document, TextRange{first.position(), end - first.position()}, alignOwnStyle);
    cursor.endEditBlock();
}

bool beginLongChange(QTextDocument *document, int length)
{
    if (length <= LazyLayoutLength || document->pageSize().isNull())
        return false;
    deferLayout(document);
    const QPointer<QTextDocument> guarded(document);
    document->appendUndoItem(new FunctionUndoItem([] {}, [guarded] { deferLayout(guarded); }));
    return true;
}

void endLongChange(QTextDocument *document)
{
    // Undone, the change's last step comes first.
    const QPointer<QTextDocument> guarded(document);
    document->appendUndoItem(new FunctionUndoItem([guarded] { deferLayout(guarded); }, [] {}));
}

QTextCharFormat charFormat(const TextAttributes &attributes)
{
    QTextCharFormat format;
    TextAttributes others;
    for (auto it = attributes.cbegin(); it != attributes.cend(); ++it) {
        const QString &name = it.key();
        const QVariant &value = it.value();
        if (name == TextAttributeName::Font && typed<FontDescriptor>(value)) {
            applyFont(format, value.value<FontDescriptor>());
            format.setProperty(FontProperty, value);
        } else if (name == TextAttributeName::Color && typed<RgbaColor>(value)) {
            format.setForeground(QBrush(qColor(value.value<RgbaColor>())));
            format.setProperty(ColorProperty, value);
        } else if (name == TextAttributeName::Underline && isNumber(value)) {
            format.setFontUnderline(isNonZero(value));
            format.setProperty(UnderlineProperty, value);
        } else if (name == TextAttributeName::Link && value.typeId() == QMetaType::QString) {
            format.setAnchor(true);
            format.setAnchorHref(value.toString());
        } else if (name == TextAttributeName::Attachment && typed<TextAttachmentRef>(value)) {
            format.setObjectType(TagObjectType);
            format.setProperty(AttachmentProperty, value);
        } else if (name == TextAttributeName::ParagraphStyle && typed<ParagraphStyle>(value)) {
            format.setProperty(ParagraphOverrideProperty, value);
        } else {
            others.insert(name, value);
        }
    }
    if (!others.isEmpty())
        format.setProperty(OtherAttributesProperty, QVariant(others));
    return format;
}

TextAttributes characterAttributes(const QTextCharFormat &format, const QFont &defaultFont)
{
    TextAttributes attributes;
    const QVariant others = format.property(OtherAttributesProperty);
    if (others.typeId() == QMetaType::QVariantMap)
        attributes = others.toMap();

    if (hasNativeFont(format)) {
        const auto stored = typed<FontDescriptor>(format.property(FontProperty));
        const FontDescriptor font = stored && nativeFontMatches(format, *stored)
                                        ? *stored
                                        : fontDescriptor(format.font().resolve(defaultFont));
        attributes.insert(TextAttributeName::Font, QVariant::fromValue(font));
    }
    if (format.hasProperty(QTextFormat::ForegroundBrush)) {
        const QBrush brush = format.foreground();
        const auto stored = typed<RgbaColor>(format.property(ColorProperty));
        if (stored && brush.style() == Qt::SolidPattern && brush.color() == qColor(*stored))
            attributes.insert(TextAttributeName::Color, QVariant::fromValue(*stored));
        else if (brush.style() != Qt::NoBrush)
            attributes.insert(TextAttributeName::Color, QVariant::fromValue(rgbaColor(brush.color())));
    }
    if (format.hasProperty(QTextFormat::TextUnderlineStyle) || format.hasProperty(QTextFormat::FontUnderline)) {
        const bool underlined = format.fontUnderline();
        const QVariant stored = format.property(UnderlineProperty);
        attributes.insert(TextAttributeName::Underline,
                          isNumber(stored) && isNonZero(stored) == underlined ? stored : QVariant(underlined ? 1 : 0));
    }
    if (format.isAnchor() && format.hasProperty(QTextFormat::AnchorHref))
        attributes.insert(TextAttributeName::Link, format.anchorHref());
    // Text typed after a tag inherits its format without the object type;
    // only the tag character itself carries the attachment.
    if (format.objectType() == TagObjectType) {
        const QVariant value = format.property(AttachmentProperty);
        if (typed<TextAttachmentRef>(value))
            attributes.insert(TextAttributeName::Attachment, value);
    }
    if (const auto own = typed<ParagraphStyle>(format.property(ParagraphOverrideProperty)))
        attributes.insert(TextAttributeName::ParagraphStyle, QVariant::fromValue(*own));
    return attributes;
}

std::optional<ParagraphStyle> paragraphStyle(const QTextBlockFormat &format)
{
    const bool aligned = format.hasProperty(QTextFormat::BlockAlignment);
    if (auto style = typed<ParagraphStyle>(format.property(ParagraphStyleProperty))) {
        // An alignment chosen in the view wins over the one the text gave.
        if (aligned && format.alignment() != qtAlignment(style->alignment))
            style->alignment = textAlignment(format.alignment());
        return style;
    }
    if (!aligned)
        return std::nullopt;
    ParagraphStyle style;
    style.alignment = textAlignment(format.alignment());
    return style;
}

TextAttachmentRef attachment(const QTextFormat &format)
{
    if (format.objectType() != TagObjectType)
        return nullptr;
    return typed<TextAttachmentRef>(format.property(AttachmentProperty)).value_or(nullptr);
}

QTextCharFormat withoutTag(QTextCharFormat format)
{
    for (const int property : {int(QTextFormat::ObjectType), int(QTextFormat::ObjectIndex), int(AttachmentProperty),
                               int(TagLooksProperty)})
        format.clearProperty(property);
    return format;
}

QTextBlockFormat blockFormat(const std::optional<ParagraphStyle> &style)
{
    QTextBlockFormat format;
    if (style) {
        format.setAlignment(qtAlignment(style->alignment));
        format.setProperty(ParagraphStyleProperty, QVariant::fromValue(*style));
    }
    return format;
}

QFont qFont(const FontDescriptor &descriptor)
{
    QFont font;
    if (!descriptor.family.isEmpty())
        font.setFamilies(QStringList{descriptor.family});
    if (showableSize(descriptor.pointSize))
        font.setPointSizeF(descriptor.pointSize);
    font.setBold(descriptor.bold);
    font.setItalic(descriptor.italic);
    return font;
}

QColor qColor(const RgbaColor &color)
{
    const auto unit = [](float value) { return std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : 0.0f; };
    return QColor::fromRgbF(unit(color.red), unit(color.green), unit(color.blue), unit(color.alpha));
}

RgbaColor rgbaColor(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return RgbaColor{float(rgb.redF()), float(rgb.greenF()), float(rgb.blueF()), float(rgb.alphaF())};
}

FontDescriptor fontDescriptor(const QFont &font)
{
    FontDescriptor descriptor;
    descriptor.family = font.family();
    descriptor.pointSize = font.pointSizeF() > 0 ? font.pointSizeF() : 12.0;
    descriptor.bold = font.weight() > QFont::Medium;
    descriptor.italic = font.italic();
    return descriptor;
}

} // namespace RichTextBridge
