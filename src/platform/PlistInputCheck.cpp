#include "PlistInputCheck.h"

#include <QByteArrayView>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// A keyed archive is flat: top dictionary, $objects, an object's
// dictionary, its NS.objects array, and in XML the CF$UID dictionary of a
// reference. Anything nested much deeper is not a keyed archive, and
// libplist 2.2 parses recursively: a few ten thousand levels overflow its
// stack. Both forms are therefore measured before libplist sees them.
constexpr int MaxPlistNesting = 16;

quint64 bigEndian(const unsigned char *bytes, unsigned size)
{
    quint64 value = 0;
    for (unsigned i = 0; i < size; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

// Where a binary property list keeps its objects, from its trailer.
struct BinaryLayout {
    const unsigned char *bytes = nullptr;
    quint64 offsetSize = 0;
    quint64 refSize = 0;
    quint64 count = 0;
    quint64 tableOffset = 0; // objects lie between the header and here
};

// The references of a container object.
struct BinaryRefs {
    quint64 first = 0;
    quint64 count = 0;
};

// The length of a string, data or container: the marker's low nibble, or
// for 15 an integer object that follows.
bool readBinaryLength(const BinaryLayout &layout, quint64 &pos, unsigned low, quint64 &length)
{
    if (low != 0x0F) {
        length = low;
        return true;
    }
    if (pos >= layout.tableOffset)
        return false;
    const unsigned marker = layout.bytes[pos];
    if ((marker & 0xF0) != 0x10 || (marker & 0x0F) > 3)
        return false;
    const unsigned size = 1u << (marker & 0x0F);
    if (layout.tableOffset - pos - 1 < size)
        return false;
    length = bigEndian(layout.bytes + pos + 1, size);
    pos += 1 + size;
    return true;
}

// False when the object at `index` is of an unknown kind or runs past the objects.
bool readBinaryObject(const BinaryLayout &layout, quint64 index, BinaryRefs &refs)
{
    quint64 pos = bigEndian(layout.bytes + layout.tableOffset + index * layout.offsetSize, unsigned(layout.offsetSize));
    if (pos < 8 || pos >= layout.tableOffset)
        return false;
    const unsigned marker = layout.bytes[pos++];
    const unsigned low = marker & 0x0F;
    const quint64 room = layout.tableOffset - pos;
    quint64 length = 0;
    switch (marker >> 4) {
    case 0x0: // false, true
        return low == 0x08 || low == 0x09;
    case 0x1: // integer of 1, 2, 4, 8 or 16 bytes
        return low <= 4 && room >= (1u << low);
    case 0x2: // real of 4 or 8 bytes
        return (low == 2 || low == 3) && room >= (1u << low);
    case 0x3: // date
        return low == 3 && room >= 8;
    case 0x4: // data
    case 0x5: // ASCII string
        return readBinaryLength(layout, pos, low, length) && length <= layout.tableOffset - pos;
    case 0x6: // UTF-16 string
        return readBinaryLength(layout, pos, low, length) && length <= (layout.tableOffset - pos) / 2;
    case 0x8: // UID
        return room >= low + 1u;
    case 0xA: // array
    case 0xC: // set
    case 0xD: { // dictionary: keys, then values
        const quint64 perEntry = (marker >> 4) == 0xD ? 2 * layout.refSize : layout.refSize;
        if (!readBinaryLength(layout, pos, low, length) || length > (layout.tableOffset - pos) / perEntry)
            return false;
        refs = {pos, length * (perEntry / layout.refSize)};
        return true;
    }
    default:
        return false;
    }
}

} // namespace

// Checks the parts of a binary property list that libplist reaches from
// its root: markers, lengths, references and offsets within the data. It
// also walks the tree as libplist will build it, because libplist 2.2
// builds a fresh node for every reference: a dozen arrays that each refer
// four times to the next would expand into millions of nodes. Containers
// written by any property-list writer are referred to once, so the tree
// has at most one node per byte of references.
QString PlistInputCheck::binaryPlistProblem(const QByteArray &data)
{
    constexpr quint64 HeaderSize = 8, TrailerSize = 32;
    const quint64 size = quint64(data.size());
    if (size < HeaderSize + TrailerSize)
        return QStringLiteral("truncated binary property list");
    BinaryLayout layout;
    layout.bytes = reinterpret_cast<const unsigned char *>(data.constData());
    const unsigned char *trailer = layout.bytes + size - TrailerSize;
    layout.offsetSize = trailer[6];
    layout.refSize = trailer[7];
    layout.count = bigEndian(trailer + 8, 8);
    const quint64 top = bigEndian(trailer + 16, 8);
    layout.tableOffset = bigEndian(trailer + 24, 8);
    if (layout.offsetSize < 1 || layout.offsetSize > 8 || layout.refSize < 1 || layout.refSize > 8
        || layout.count == 0 || top >= layout.count || layout.tableOffset < HeaderSize
        || layout.tableOffset > size - TrailerSize
        || layout.count > (size - TrailerSize - layout.tableOffset) / layout.offsetSize)
        return QStringLiteral("damaged binary property list trailer");

    quint64 nodes = 0;
    std::vector<BinaryRefs> pending; // per open container, the references not yet visited
    quint64 index = top;
    for (;;) {
        BinaryRefs refs;
        if (!readBinaryObject(layout, index, refs))
            return QStringLiteral("damaged object in binary property list");
        if (++nodes > size + 1)
            return QStringLiteral("binary property list refers to shared or cyclic containers");
        if (refs.count > 0) {
            if (pending.size() >= MaxPlistNesting)
                return QStringLiteral("binary property list nested too deeply");
            pending.push_back(refs);
        }
        while (!pending.empty() && pending.back().count == 0)
            pending.pop_back();
        if (pending.empty())
            return {};
        BinaryRefs &next = pending.back();
        index = bigEndian(layout.bytes + next.first, unsigned(layout.refSize));
        next.first += layout.refSize;
        --next.count;
        if (index >= layout.count)
            return QStringLiteral("binary property list refers past its objects");
    }
}

// The nesting of arrays and dictionaries in an XML property list, read the
// way libplist's parser reads it: comments, processing instructions and
// CDATA are skipped to their terminators, and a double-quoted attribute
// may hold '>'. Whatever might be read differently ('<' inside a tag, a
// declaration with an internal subset) is refused; no property list has it.
QString PlistInputCheck::xmlNestingProblem(const QByteArray &data)
{
    const QByteArrayView text(data);
    qsizetype pos = 0;
    int depth = 0;
    const auto skipPast = [&](QByteArrayView terminator) {
        const qsizetype found = text.indexOf(terminator, pos);
        pos = found < 0 ? text.size() : found + terminator.size();
        return found >= 0;
    };
    while ((pos = text.indexOf('<', pos)) >= 0) {
        const QByteArrayView rest = text.sliced(pos);
        if (rest.startsWith("<!--")) {
            if (!skipPast("-->"))
                return QStringLiteral("unterminated XML comment");
            continue;
        }
        if (rest.startsWith("<![CDATA[")) {
            if (!skipPast("]]>"))
                return QStringLiteral("unterminated XML CDATA section");
            continue;
        }
        if (rest.startsWith("<?")) {
            if (!skipPast("?>"))
                return QStringLiteral("unterminated XML processing instruction");
            continue;
        }
        const bool declaration = rest.startsWith("<!");
        const bool closing = rest.startsWith("</");
        qsizetype end = declaration || closing ? 2 : 1;
        const qsizetype nameStart = end;
        while (end < rest.size() && !std::strchr(" \t\r\n/>\"<[", rest[end]))
            ++end;
        const QByteArrayView name = rest.sliced(nameStart, end - nameStart);
        bool quoted = false;
        for (; end < rest.size() && (quoted || rest[end] != '>'); ++end) {
            if (rest[end] == '"')
                quoted = !quoted;
            else if (!quoted && (rest[end] == '<' || (declaration && rest[end] == '[')))
                return QStringLiteral("malformed XML tag");
        }
        if (end >= rest.size())
            return QStringLiteral("unterminated XML tag");
        if (!declaration && (name == "array" || name == "dict")) {
            if (closing)
                depth = std::max(0, depth - 1);
            else if (rest[end - 1] != '/' && ++depth > MaxPlistNesting)
                return QStringLiteral("XML property list nested too deeply");
        }
        pos += end + 1;
    }
    return {};
}
