#include "BinaryPlistReader.h"

#include <bit>
#include <cstring>

namespace {

constexpr quint64 HeaderSize = 8, TrailerSize = 32;

quint64 bigEndian(const uchar *bytes, quint64 size)
{
    quint64 value = 0;
    for (quint64 i = 0; i < size; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

} // namespace

bool BinaryPlistReader::open(QByteArrayView data, QString *error)
{
    const auto refuse = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const quint64 size = quint64(data.size());
    if (size < HeaderSize + TrailerSize || !data.startsWith("bplist00"))
        return refuse(QStringLiteral("truncated binary property list"));
    m_bytes = reinterpret_cast<const uchar *>(data.data());
    const uchar *trailer = m_bytes + size - TrailerSize;
    m_offsetSize = trailer[6];
    m_refSize = trailer[7];
    m_count = bigEndian(trailer + 8, 8);
    m_top = bigEndian(trailer + 16, 8);
    m_tableOffset = bigEndian(trailer + 24, 8);
    if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8 || m_count == 0 || m_top >= m_count
        || m_tableOffset < HeaderSize || m_tableOffset > size - TrailerSize
        || m_count > (size - TrailerSize - m_tableOffset) / m_offsetSize)
        return refuse(QStringLiteral("damaged binary property list trailer"));
    return true;
}

BinaryPlistReader::Object BinaryPlistReader::object(quint64 index) const
{
    Object result;
    if (index >= m_count)
        return result;
    quint64 pos = bigEndian(m_bytes + m_tableOffset + index * m_offsetSize, m_offsetSize);
    if (pos < HeaderSize || pos >= m_tableOffset)
        return result;
    const unsigned marker = m_bytes[pos++];
    const unsigned low = marker & 0x0F;
    // The length of a string, data or container: the low nibble, or for 15
    // an integer object that follows.
    const auto length = [&](quint64 &count) {
        if (low != 0x0F) {
            count = low;
            return true;
        }
        if (pos >= m_tableOffset)
            return false;
        const unsigned inner = m_bytes[pos];
        if ((inner & 0xF0) != 0x10 || (inner & 0x0F) > 3)
            return false;
        const quint64 size = 1ull << (inner & 0x0F);
        if (m_tableOffset - pos - 1 < size)
            return false;
        count = bigEndian(m_bytes + pos + 1, size);
        pos += 1 + size;
        return true;
    };
    const quint64 room = m_tableOffset - pos;
    Object object;
    object.payload = m_bytes + pos;
    switch (marker >> 4) {
    case 0x0: // false, true
        if (low != 0x08 && low != 0x09)
            return result;
        object.kind = Kind::Bool;
        object.boolValue = low == 0x09;
        return object;
    case 0x1: // integer of 1, 2, 4, 8 or 16 bytes
        if (low > 4 || room < (1u << low))
            return result;
        object.kind = Kind::Integer;
        object.width = quint8(1u << low);
        return object;
    case 0x2: // real of 4 or 8 bytes
    case 0x3: // date: a real of 8 bytes
        if ((marker >> 4 == 0x3 ? low != 3 : low != 2 && low != 3) || room < (1u << low))
            return result;
        object.kind = marker >> 4 == 0x3 ? Kind::Date : Kind::Real;
        object.width = quint8(1u << low);
        return object;
    case 0x4: // data
    case 0x5: // single-byte string
    case 0x6: // UTF-16 string
        if (!length(object.count))
            return result;
        object.payload = m_bytes + pos;
        if (object.count > (m_tableOffset - pos) / (marker >> 4 == 0x6 ? 2 : 1))
            return result;
        object.kind = marker >> 4 == 0x4 ? Kind::Data : Kind::String;
        object.utf16 = marker >> 4 == 0x6;
        return object;
    case 0x8: // UID
        if (room < low + 1u)
            return result;
        object.kind = Kind::Uid;
        object.width = quint8(low + 1);
        return object;
    case 0xA: // array
    case 0xC: // set
    case 0xD: { // dictionary: keys, then values
        if (!length(object.count))
            return result;
        object.payload = m_bytes + pos;
        const quint64 perEntry = (marker >> 4) == 0xD ? 2 * m_refSize : m_refSize;
        if (object.count > (m_tableOffset - pos) / perEntry)
            return result;
        object.kind = (marker >> 4) == 0xA ? Kind::Array : (marker >> 4) == 0xC ? Kind::Set : Kind::Dictionary;
        return object;
    }
    default:
        return result;
    }
}

quint64 BinaryPlistReader::reference(const Object &container, quint64 i) const
{
    return bigEndian(container.payload + i * m_refSize, m_refSize);
}

qint64 BinaryPlistReader::integerValue(const Object &object)
{
    // Sixteen-byte integers hold values past qint64 in their upper half; the lower half is kept.
    const quint64 skip = object.width > 8 ? object.width - 8u : 0;
    const quint64 value = bigEndian(object.payload + skip, object.width - skip);
    return object.width >= 8 ? qint64(value) : qint64(value);
}

double BinaryPlistReader::realValue(const Object &object)
{
    if (object.width == 4)
        return double(std::bit_cast<float>(quint32(bigEndian(object.payload, 4))));
    return std::bit_cast<double>(bigEndian(object.payload, 8));
}

quint64 BinaryPlistReader::uidValue(const Object &object)
{
    const quint64 skip = object.width > 8 ? object.width - 8u : 0;
    return bigEndian(object.payload + skip, object.width - skip);
}

QByteArray BinaryPlistReader::dataValue(const Object &object)
{
    return QByteArray(reinterpret_cast<const char *>(object.payload), qsizetype(object.count));
}

QString BinaryPlistReader::stringValue(const Object &object)
{
    if (object.kind != Kind::String || object.count == 0)
        return QStringLiteral("");
    if (!object.utf16)
        return QString::fromUtf8(reinterpret_cast<const char *>(object.payload), qsizetype(object.count));
    QString text(qsizetype(object.count), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (quint64 i = 0; i < object.count; ++i)
        out[i] = char16_t((object.payload[2 * i] << 8) | object.payload[2 * i + 1]);
    return text;
}

bool BinaryPlistReader::stringEquals(const Object &object, QStringView text)
{
    if (object.kind != Kind::String || object.count != quint64(text.size()))
        return false;
    for (quint64 i = 0; i < object.count; ++i) {
        const char16_t unit = object.utf16 ? char16_t((object.payload[2 * i] << 8) | object.payload[2 * i + 1])
                                           : char16_t(object.payload[i]);
        // A single-byte string is UTF-8; beyond ASCII, compare it decoded.
        if (!object.utf16 && unit >= 0x80)
            return stringValue(object) == text;
        if (unit != text[qsizetype(i)].unicode())
            return false;
    }
    return true;
}
