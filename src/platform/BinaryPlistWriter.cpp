#include "BinaryPlistWriter.h"

#include "AppException.h"

#include <QRandomGenerator>
#include <QtEndian>

#include <bit>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr quint64 HeaderSize = 8, TrailerSize = 32;

// Integers, references and offsets take 1, 2, 4 or 8 bytes, the widths
// every reader of the format knows.
int widthFor(quint64 value)
{
    if (value < (1ull << 8))
        return 1;
    if (value < (1ull << 16))
        return 2;
    if (value < (1ull << 32))
        return 4;
    return 8;
}

void putBigEndian(char *out, quint64 value, int size)
{
    for (int i = size - 1; i >= 0; --i) {
        out[i] = char(value & 0xFF);
        value >>= 8;
    }
}

// The marker of a string, data or container with its length: in the low
// nibble, or from 15 on as an integer object that follows.
quint64 markerSize(quint64 count)
{
    return count < 15 ? 1 : 2 + quint64(widthFor(count));
}

char *putMarker(char *out, unsigned kind, quint64 count)
{
    if (count < 15) {
        *out++ = char((kind << 4) | count);
        return out;
    }
    *out++ = char((kind << 4) | 0x0F);
    const int width = widthFor(count);
    *out++ = char(0x10 | std::countr_zero(unsigned(width)));
    putBigEndian(out, count, width);
    return out + width;
}

// The table of scalars sees every string of a table that is saved; a hash
// of eight bytes at a step keeps that cheap. The seed differs from process
// to process, so texts cannot be chosen to collide.
quint32 hashBytes(const char *bytes, size_t size)
{
    static const quint64 seed = QRandomGenerator::system()->generate64() | 1;
    quint64 h = seed ^ (size * 0x9E3779B97F4A7C15ull);
    for (; size >= 8; bytes += 8, size -= 8) {
        quint64 word;
        std::memcpy(&word, bytes, 8);
        h = (h ^ word) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
    }
    quint64 tail = 0;
    if (size > 0) // an empty string may have no characters at all
        std::memcpy(&tail, bytes, size);
    h = (h ^ tail ^ seed) * 0x94D049BB133111EBull;
    return quint32((h ^ (h >> 29)) >> 16);
}

QString tooLarge(qint64 maxBytes)
{
    return QStringLiteral("The data is too large to be written: more than %1 MB.").arg(maxBytes / (1024 * 1024));
}

} // namespace

BinaryPlistWriter::BinaryPlistWriter(qint64 maxBytes) : m_maxBytes(maxBytes), m_slots(1024)
{
    // Offsets into the scalars and scalar lengths are held in 30 and 32 bits.
    if (maxBytes <= 0 || maxBytes > qint64(CountMask))
        throw AppException(ExceptionNames::InvalidArgument, QStringLiteral("Unsupported property-list size bound."));
}

BinaryPlistWriter::Ref BinaryPlistWriter::addString(QStringView text)
{
    return addString(text, stringHash(text));
}

BinaryPlistWriter::Ref BinaryPlistWriter::addString(QStringView text, quint32 key)
{
    encodeString(text);
    return addScalar(key);
}

std::optional<BinaryPlistWriter::Ref> BinaryPlistWriter::findString(QStringView text)
{
    encodeString(text);
    const Lookup found = lookup(stringHash(text));
    return found.found ? std::optional<Ref>(found.ref) : std::nullopt;
}

void BinaryPlistWriter::encodeString(QStringView text)
{
    const char16_t *units = text.utf16();
    const qsizetype count = text.size();
    char16_t any = 0;
    for (qsizetype i = 0; i < count; ++i)
        any |= units[i];
    const bool ascii = any < 0x80;
    m_scratch.resize(markerSize(quint64(count)) + size_t(ascii ? count : 2 * count));
    char *out = putMarker(m_scratch.data(), ascii ? 0x5 : 0x6, quint64(count));
    if (ascii) {
        for (qsizetype i = 0; i < count; ++i)
            out[i] = char(units[i]);
    } else {
        for (qsizetype i = 0; i < count; ++i)
            qToBigEndian(units[i], out + 2 * i);
    }
}

// Strings are found by a hash of their characters, so that a lookup can be
// started before the string is encoded. Equal encodings are equal texts,
// and every other scalar's encoding differs from a string's.
quint32 BinaryPlistWriter::stringHash(QStringView text)
{
    return hashBytes(reinterpret_cast<const char *>(text.utf16()), size_t(text.size()) * 2);
}

quint32 BinaryPlistWriter::prefetchString(QStringView text) const
{
    const quint32 hash = stringHash(text);
    __builtin_prefetch(m_slots.data() + (hash & (m_slots.size() - 1)));
    return hash;
}

BinaryPlistWriter::Ref BinaryPlistWriter::addScalar()
{
    return addScalar(hashBytes(m_scratch.data(), m_scratch.size()));
}

// A marker and a value of 1, 2, 4 or 8 bytes: integers, reals, dates, UIDs.
void BinaryPlistWriter::setFixedScalar(quint8 marker, quint64 value, int width)
{
    m_scratch.resize(1 + width);
    m_scratch[0] = char(marker);
    putBigEndian(m_scratch.data() + 1, value, width);
}

BinaryPlistWriter::Ref BinaryPlistWriter::addInteger(qint64 value)
{
    // Negative numbers always take eight bytes, as other writers do.
    const int width = value < 0 ? 8 : widthFor(quint64(value));
    setFixedScalar(quint8(0x10 | std::countr_zero(unsigned(width))), quint64(value), width);
    return addScalar();
}

BinaryPlistWriter::Ref BinaryPlistWriter::addReal(double value)
{
    setFixedScalar(0x23, std::bit_cast<quint64>(value), 8);
    return addScalar();
}

BinaryPlistWriter::Ref BinaryPlistWriter::addBool(bool value)
{
    m_scratch.assign(1, value ? char(0x09) : char(0x08));
    return addScalar();
}

BinaryPlistWriter::Ref BinaryPlistWriter::addDate(double seconds)
{
    setFixedScalar(0x33, std::bit_cast<quint64>(seconds), 8);
    return addScalar();
}

BinaryPlistWriter::Ref BinaryPlistWriter::addUid(quint64 uid)
{
    const int width = widthFor(uid);
    setFixedScalar(quint8(0x80 | (width - 1)), uid, width);
    return appendScalar();
}

BinaryPlistWriter::Ref BinaryPlistWriter::addData(QByteArrayView bytes)
{
    const quint64 count = quint64(bytes.size());
    if (count > quint64(m_maxBytes))
        throw AppException(ExceptionNames::InvalidArgument, tooLarge(m_maxBytes));
    m_scratch.resize(markerSize(count) + count);
    char *out = putMarker(m_scratch.data(), 0x4, count);
    if (count)
        std::memcpy(out, bytes.data(), count);
    return addScalar();
}

BinaryPlistWriter::Ref BinaryPlistWriter::addArray(std::span<const Ref> items)
{
    return addContainer(Array, items, {});
}

BinaryPlistWriter::Ref BinaryPlistWriter::addDictionary(std::span<const Ref> keys, std::span<const Ref> values)
{
    if (keys.size() != values.size())
        throw AppException(ExceptionNames::InternalInconsistency,
                           QStringLiteral("A property-list dictionary was given more keys than values or the reverse."));
    return addContainer(Dictionary, keys, values);
}

BinaryPlistWriter::Ref BinaryPlistWriter::appendScalar()
{
    const Ref ref = Ref(m_objects.size());
    m_objects.push_back({quint32(m_scalars.size()), Scalar | quint32(m_scratch.size())});
    m_scalars.append(m_scratch.data(), m_scratch.size());
    checkSize();
    return ref;
}

BinaryPlistWriter::Lookup BinaryPlistWriter::lookup(quint32 hash)
{
    const size_t size = m_scratch.size();
    // A scalar's marker gives its length, so bytes that match from the
    // start for the whole length of the new one are the same scalar.
    const auto sameAt = [&](quint32 start) {
        return start + size <= m_scalars.size() && std::memcmp(m_scalars.data() + start, m_scratch.data(), size) == 0;
    };
    Recent &recent = recentFor(hash);
    if (recent.ref != 0 && recent.hash == hash && sameAt(recent.start))
        return {true, recent.ref - 1, 0};
    const size_t mask = m_slots.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot slot = m_slots[i];
        if (slot.ref == 0)
            return {false, 0, i};
        if (slot.hash != hash)
            continue;
        const Object &object = m_objects[slot.ref - 1];
        if ((object.kindAndCount & ~CountMask) == Scalar && sameAt(object.start)) {
            recent = {slot.ref, hash, object.start};
            return {true, slot.ref - 1, 0};
        }
    }
}

BinaryPlistWriter::Ref BinaryPlistWriter::addScalar(quint32 hash)
{
    const Lookup found = lookup(hash);
    if (found.found)
        return found.ref;
    const quint32 start = quint32(m_scalars.size());
    const Ref ref = appendScalar();
    m_slots[found.slot] = {ref + 1, hash};
    recentFor(hash) = {ref + 1, hash, start};
    if (++m_slotCount * 2 > m_slots.size())
        growSlots();
    return ref;
}

void BinaryPlistWriter::growSlots()
{
    PodBuffer<Slot> table(m_slots.size() * 2);
    const size_t mask = table.size() - 1;
    for (const Slot &slot : m_slots) {
        if (slot.ref == 0)
            continue;
        size_t i = slot.hash & mask;
        while (table[i].ref != 0)
            i = (i + 1) & mask;
        table[i] = slot;
    }
    m_slots = std::move(table);
}

BinaryPlistWriter::Ref BinaryPlistWriter::addContainer(Kind kind, std::span<const Ref> first, std::span<const Ref> second)
{
    for (std::span<const Ref> refs : {first, second}) {
        for (Ref ref : refs) {
            if (ref >= m_objects.size())
                throw AppException(ExceptionNames::InternalInconsistency,
                                   QStringLiteral("A property-list container refers to an object not yet written."));
        }
    }
    if (first.size() > CountMask || m_refs.size() + 2 * first.size() > quint64(m_maxBytes))
        throw AppException(ExceptionNames::InvalidArgument, tooLarge(m_maxBytes));
    const Ref ref = Ref(m_objects.size());
    m_objects.push_back({quint32(m_refs.size()), kind | quint32(first.size())});
    ++m_containerCount;
    m_refs.append(first);
    m_refs.append(second);
    checkSize();
    return ref;
}

// Each object takes at least its bytes, a marker, a byte per reference and
// a byte in the offset table, so this lower bound says early that the
// output cannot fit, before the rest of it is built.
void BinaryPlistWriter::checkSize() const
{
    const quint64 least = HeaderSize + m_scalars.size() + m_containerCount + m_refs.size() + m_objects.size() + TrailerSize;
    if (least > quint64(m_maxBytes) || m_objects.size() >= std::numeric_limits<Ref>::max())
        throw AppException(ExceptionNames::InvalidArgument, tooLarge(m_maxBytes));
}

namespace {

// The output in pieces of a megabyte, handed on as each fills.
class Pieces {
public:
    explicit Pieces(const BinaryPlistWriter::Write &write) : m_write(write), m_buffer(Size) {}

    // Room for a few bytes (a marker, a reference, an offset).
    char *room(size_t n)
    {
        if (m_used + n > Size)
            flush();
        return m_buffer.data() + m_used;
    }
    void advance(char *to) { m_used = size_t(to - m_buffer.data()); }
    // Writes `count` numbers of `width` bytes, each big-endian, the number
    // i being value(i).
    template <typename Value>
    void putNumbers(quint64 count, int width, const Value &value)
    {
        quint64 i = 0;
        while (i < count) {
            if (Size - m_used < size_t(width))
                flush();
            char *at = m_buffer.data() + m_used;
            const quint64 fit = std::min<quint64>(count - i, (Size - m_used) / size_t(width));
            switch (width) {
            case 1:
                for (quint64 k = 0; k < fit; ++k)
                    at[k] = char(value(i + k));
                break;
            case 2:
                for (quint64 k = 0; k < fit; ++k)
                    qToBigEndian(quint16(value(i + k)), at + 2 * k);
                break;
            case 4:
                for (quint64 k = 0; k < fit; ++k)
                    qToBigEndian(quint32(value(i + k)), at + 4 * k);
                break;
            default:
                for (quint64 k = 0; k < fit; ++k)
                    qToBigEndian(quint64(value(i + k)), at + 8 * k);
                break;
            }
            m_used += size_t(fit) * size_t(width);
            i += fit;
        }
    }
    void put(const char *bytes, size_t n)
    {
        while (n > 0) {
            if (m_used == Size)
                flush();
            const size_t part = std::min(n, Size - m_used);
            std::memcpy(m_buffer.data() + m_used, bytes, part);
            m_used += part;
            bytes += part;
            n -= part;
        }
    }
    // False once a piece was refused; nothing more is handed on then.
    bool flush()
    {
        if (m_ok && m_used > 0)
            m_ok = m_write(QByteArrayView(m_buffer.data(), qsizetype(m_used)));
        m_used = 0;
        return m_ok;
    }
    [[nodiscard]] bool ok() const { return m_ok; }

private:
    static constexpr size_t Size = size_t(1) << 20;
    const BinaryPlistWriter::Write &m_write;
    std::vector<char> m_buffer;
    size_t m_used = 0;
    bool m_ok = true;
};

} // namespace

QByteArray BinaryPlistWriter::finish(Ref top)
{
    QByteArray data;
    (void)finish(
        top,
        [&](quint64 total) {
            data.reserve(qsizetype(total));
            return true;
        },
        [&](QByteArrayView piece) {
            data.append(piece);
            return true;
        });
    return data;
}

bool BinaryPlistWriter::finish(Ref top, const std::function<bool(quint64 total)> &begin, const Write &write)
{
    const quint64 count = m_objects.size();
    if (top >= count)
        throw AppException(ExceptionNames::InternalInconsistency, QStringLiteral("A property list was finished without its root."));
    const int refSize = widthFor(count);

    quint64 objectBytes = 0;
    for (const Object &object : m_objects) {
        const quint64 n = object.kindAndCount & CountMask;
        switch (object.kindAndCount & ~CountMask) {
        case Scalar:
            objectBytes += n;
            break;
        case Array:
            objectBytes += markerSize(n) + n * quint64(refSize);
            break;
        default:
            objectBytes += markerSize(n) + 2 * n * quint64(refSize);
            break;
        }
    }
    const quint64 tableOffset = HeaderSize + objectBytes;
    const int offsetSize = widthFor(tableOffset);
    const quint64 total = tableOffset + count * quint64(offsetSize) + TrailerSize;
    if (total > quint64(m_maxBytes))
        throw AppException(ExceptionNames::InvalidArgument, tooLarge(m_maxBytes));

    // The lookup tables are no longer needed; give their memory back before the output is made.
    m_slots.release();
    std::string().swap(m_scratch);
    if (!begin(total))
        return false;

    Pieces out(write);
    out.put("bplist00", HeaderSize);
    quint64 offset = HeaderSize;
    for (Object &object : m_objects) {
        const quint32 n = object.kindAndCount & CountMask;
        const quint32 kind = object.kindAndCount & ~CountMask;
        const quint32 start = object.start;
        // Where the object lies is all that is needed of it from here on.
        object.start = quint32(offset);
        if (kind == Scalar) {
            out.put(m_scalars.data() + start, n);
            offset += n;
            continue;
        }
        char *marker = out.room(16);
        char *const markerEnd = putMarker(marker, kind == Array ? 0xA : 0xD, n);
        out.advance(markerEnd);
        offset += quint64(markerEnd - marker);
        const Ref *refs = m_refs.data() + start;
        const quint32 refCount = kind == Array ? n : 2 * n;
        out.putNumbers(refCount, refSize, [refs](quint64 i) { return refs[i]; });
        offset += quint64(refCount) * quint64(refSize);
        if (!out.ok())
            return false;
    }
    const Object *objects = m_objects.data();
    out.putNumbers(count, offsetSize, [objects](quint64 i) { return objects[i].start; });
    char trailer[TrailerSize] = {};
    trailer[6] = char(offsetSize);
    trailer[7] = char(refSize);
    putBigEndian(trailer + 8, count, 8);
    putBigEndian(trailer + 16, top, 8);
    putBigEndian(trailer + 24, tableOffset, 8);
    out.put(trailer, TrailerSize);

    m_objects.release();
    m_scalars.release();
    m_refs.release();
    return out.flush();
}
