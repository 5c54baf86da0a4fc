#include "CSVReader.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char16_t Quote = u'"';
constexpr char16_t CR = u'\r';
constexpr char16_t LF = u'\n';
constexpr char16_t ByteOrderMark = 0xFEFF;

// One field as it stands in the text.
struct FieldSpan {
    // A quoted field's content between its quotes, else the whole field.
    qsizetype begin = 0;
    qsizetype end = 0;
    // What follows a closing quote before the next delimiter.
    qsizetype tailBegin = 0;
    qsizetype tailEnd = 0;
    bool quoted = false;
    // The content holds "" pairs that stand for one quote each.
    bool doubledQuotes = false;
    // A quote that opened the field but was not closed in time.
    bool unclosed = false;
};

// UTF-16 units of valid UTF-8: one per byte that starts a sequence, two for
// a sequence of four bytes.
qsizetype utf16Length(const char *text, qsizetype size)
{
    qsizetype units = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        units += (c & 0xC0) != 0x80;
        units += c >= 0xF0;
    }
    return units;
}

// Recipient tables repeat values down a column (titles, companies, cities,
// countries): a field equal to one met recently shares that one's string
// instead of allocating its own, which spares a typical table much of its
// memory and the time to allocate it. Columns whose values do not repeat
// (addresses, phone numbers) soon stop being looked up, and are tried again
// now and then.
template <typename Char>
class RecentValues {
public:
    // Room in proportion to the text, so a short one costs nothing to set up.
    explicit RecentValues(qsizetype textSize)
        : m_slots(std::clamp<size_t>(std::bit_ceil(size_t(textSize) / 256), 16, MaxSlots))
    {
    }

    QString value(const Char *characters, qsizetype size, qsizetype column)
    {
        // An empty field is a value, never a missing one (a null string).
        if (size == 0)
            return QStringLiteral("");
        if (size > MaxLength)
            return make(characters, size);
        if (column >= qsizetype(m_columns.size()))
            m_columns.resize(column + 1);
        ColumnUse &use = m_columns[column];
        if (use.tries >= 64 && use.hits * 8 < use.tries && ++use.skipped % 64 != 0)
            return make(characters, size);
        if (++use.tries == 4096) {
            use.tries /= 2;
            use.hits /= 2;
        }
        Slot &slot = m_slots[qHashBits(characters, size_t(size) * sizeof(Char)) & (m_slots.size() - 1)];
        if (slot.size == size && std::memcmp(characters, slot.characters, size_t(size) * sizeof(Char)) == 0) {
            ++use.hits;
        } else {
            std::memcpy(slot.characters, characters, size_t(size) * sizeof(Char));
            slot.size = size;
            slot.value = make(characters, size);
        }
        return slot.value;
    }

    static QString make(const Char *characters, qsizetype size)
    {
        if constexpr (sizeof(Char) == 1) {
            // QString::fromUtf8 drops a byte-order mark at the start, which
            // inside the file is a character of the field.
            qsizetype marks = 0;
            while (size - 3 * marks >= 3 && std::memcmp(characters + 3 * marks, "\xEF\xBB\xBF", 3) == 0)
                ++marks;
            if (marks == 0)
                return QString::fromUtf8(characters, size);
            return QString(marks, QChar(ByteOrderMark)) + QString::fromUtf8(characters + 3 * marks, size - 3 * marks);
        } else {
            return QString(reinterpret_cast<const QChar *>(characters), size);
        }
    }

private:
    static constexpr qsizetype MaxLength = 48;
    static constexpr size_t MaxSlots = 4096;
    // The characters in place: a miss must not cost an allocation of its own.
    struct Slot {
        qsizetype size = -1;
        Char characters[MaxLength];
        QString value;
    };
    struct ColumnUse {
        quint32 tries = 0;
        quint32 hits = 0;
        quint32 skipped = 0;
    };
    std::vector<Slot> m_slots;
    std::vector<ColumnUse> m_columns;
};

// Reads UTF-16 text (Char = char16_t) or valid UTF-8 (Char = char); the
// characters that matter are all ASCII, and UTF-8 never uses an ASCII byte
// inside a longer sequence. Limits count UTF-16 units either way, so both
// read a text alike.
template <typename Char>
class Scanner {
public:
    static constexpr bool Utf8 = sizeof(Char) == 1;

    Scanner(const Char *text, qsizetype size, char16_t delimiter)
        : m_text(text)
        , m_size(size)
        , m_delimiter(delimiter)
        , m_quoting(delimiter != Quote)
    {
    }

    [[nodiscard]] qsizetype size() const { return m_size; }
    [[nodiscard]] bool atRecordEnd(qsizetype p) const { return p >= m_size || m_text[p] == CR || m_text[p] == LF; }

    // Past the line end at p (CRLF counts as one).
    [[nodiscard]] qsizetype skipLineEnd(qsizetype p) const
    {
        if (p < m_size && m_text[p] == CR && p + 1 < m_size && m_text[p + 1] == LF)
            return p + 2;
        return std::min(p + 1, m_size);
    }

    // Reads the field starting at p and returns the position after it: at
    // the delimiter, at a line end or at the end of the text.
    qsizetype readField(qsizetype p, FieldSpan &field) const
    {
        field = {};
        if (!m_quoting || p >= m_size || m_text[p] != Quote) {
            field.begin = p;
            field.end = scanUnquoted(p);
            return field.end;
        }
        const qsizetype open = p;
        // A UTF-8 character of one UTF-16 unit takes up to three bytes.
        const qsizetype window = Utf8 ? 3 * CSVReader::MaxQuotedFieldLength : CSVReader::MaxQuotedFieldLength;
        const qsizetype limit = std::min(m_size, open + 1 + window + 1);
        qsizetype from = open + 1;
        for (;;) {
            const Char *hit = from < limit ? std::find(m_text + from, m_text + limit, Char(Quote)) : m_text + limit;
            if (hit == m_text + limit || tooLong(open + 1, hit - m_text)) {
                field.unclosed = true;
                field.doubledQuotes = false;
                field.begin = open;
                field.end = scanUnquoted(open + 1);
                return field.end;
            }
            const qsizetype close = hit - m_text;
            if (close + 1 < m_size && m_text[close + 1] == Quote) {
                field.doubledQuotes = true;
                from = close + 2;
                continue;
            }
            field.quoted = true;
            field.begin = open + 1;
            field.end = close;
            field.tailBegin = close + 1;
            field.tailEnd = scanUnquoted(close + 1);
            return field.tailEnd;
        }
    }

    [[nodiscard]] QString value(const FieldSpan &field, RecentValues<Char> &recent, qsizetype column) const
    {
        if (!field.doubledQuotes && field.tailBegin == field.tailEnd)
            return recent.value(m_text + field.begin, field.end - field.begin, column);
        std::basic_string<Char> value;
        value.reserve(field.end - field.begin + field.tailEnd - field.tailBegin);
        // Every quote inside the content is the first of a pair.
        qsizetype segment = field.begin;
        for (qsizetype i = field.begin; i < field.end; ++i) {
            if (m_text[i] == Quote) {
                value.append(m_text + segment, i + 1 - segment);
                segment = ++i + 1;
            }
        }
        value.append(m_text + segment, field.end - segment);
        value.append(m_text + field.tailBegin, field.tailEnd - field.tailBegin);
        return RecentValues<Char>::make(value.data(), qsizetype(value.size()));
    }

private:

    [[nodiscard]] bool tooLong(qsizetype begin, qsizetype end) const
    {
        const qsizetype length = end - begin;
        if (length <= CSVReader::MaxQuotedFieldLength)
            return false;
        return !Utf8 || utf16Length(reinterpret_cast<const char *>(m_text) + begin, length) > CSVReader::MaxQuotedFieldLength;
    }

    [[nodiscard]] qsizetype scanUnquoted(qsizetype p) const
    {
        while (p < m_size) {
            const Char c = m_text[p];
            if (c == m_delimiter || c == CR || c == LF)
                break;
            ++p;
        }
        return p;
    }

    const Char *m_text;
    qsizetype m_size;
    char16_t m_delimiter;
    bool m_quoting;
};

// Fields of the record at p with this delimiter, counting quotes as the
// reading does.
template <typename Char>
qsizetype fieldsInRecord(const Char *text, qsizetype size, qsizetype p, char16_t delimiter)
{
    const Scanner<Char> scanner(text, size, delimiter);
    FieldSpan field;
    qsizetype fields = 1;
    for (;;) {
        p = scanner.readField(p, field);
        if (scanner.atRecordEnd(p))
            return fields;
        ++fields;
        ++p;
    }
}

template <typename Char>
QChar detect(const Char *text, qsizetype size, qsizetype p)
{
    // The first line that gives a row: empty lines give none.
    while (p < size && (text[p] == CR || text[p] == LF))
        ++p;
    static constexpr std::array<char16_t, 4> candidates = {u'\t', u',', u':', u';'};
    char16_t best = candidates.front();
    qsizetype bestFields = fieldsInRecord(text, size, p, best);
    for (qsizetype i = 1; i < qsizetype(candidates.size()); ++i) {
        const qsizetype fields = fieldsInRecord(text, size, p, candidates[i]);
        if (fields > bestFields) {
            best = candidates[i];
            bestFields = fields;
        }
    }
    return QChar(best);
}

template <typename Char>
QList<QStringList> read(const Char *text, qsizetype size, qsizetype p, const QString &delimiter,
                        CSVReader::Report &status)
{
    status = {};
    status.delimiter = delimiter.isEmpty() ? detect(text, size, p) : delimiter.front();

    QList<QStringList> rows;
    const Scanner<Char> scanner(text, size, status.delimiter.unicode());
    FieldSpan field;
    RecentValues<Char> recent(size);
    qsizetype lastWidth = 0;
    while (p < scanner.size()) {
        QStringList row;
        row.reserve(lastWidth);
        qint64 dropped = 0;
        const auto keep = [&](const FieldSpan &f) {
            if (row.size() < CSVReader::MaxFieldsPerRow)
                row.append(scanner.value(f, recent, row.size()));
            else
                ++dropped;
        };
        for (;;) {
            p = scanner.readField(p, field);
            if (field.unclosed)
                ++status.unclosedQuotes;
            if (scanner.atRecordEnd(p)) {
                // A line that ends with the delimiter has no empty field after it.
                if (field.quoted || field.end > field.begin)
                    keep(field);
                p = scanner.skipLineEnd(p);
                break;
            }
            keep(field);
            ++p;
        }
        if (dropped > 0) {
            status.droppedFields += dropped;
            ++status.rowsWithDroppedFields;
        }
        if (!row.isEmpty()) {
            lastWidth = row.size();
            rows.append(std::move(row));
        }
    }
    return rows;
}

const char16_t *utf16(QStringView text)
{
    return reinterpret_cast<const char16_t *>(text.data());
}

qsizetype startOfText(QStringView text)
{
    return !text.isEmpty() && text.front() == QChar(ByteOrderMark) ? 1 : 0;
}

} // namespace

QChar CSVReader::detectDelimiter(QStringView text)
{
    return detect(utf16(text), text.size(), startOfText(text));
}

QList<QStringList> CSVReader::readFromString(const QString &text, const QString &delimiter, Report *report)
{
    Report local;
    return read(utf16(text), text.size(), startOfText(text), delimiter, report ? *report : local);
}

std::optional<QList<QStringList>> CSVReader::readFromBytes(const QByteArray &bytes, TextFileDecoder::Encoding encoding,
                                                           const QString &delimiter, Report *report, QString *error)
{
    Report local;
    Report &status = report ? *report : local;
    const QByteArrayView utf8 = TextFileDecoder::utf8Text(bytes, encoding);
    // The decoder has taken off the file's byte-order mark; a second one is
    // text of the first field.
    if (!utf8.isNull() && (delimiter.isEmpty() || delimiter.front().unicode() < 0x80)) {
        QList<QStringList> rows = read(utf8.data(), utf8.size(), 0, delimiter, status);
        status.encoding = TextFileDecoder::Encoding::Utf8;
        return rows;
    }
    const TextFileDecoder::Result decoded = TextFileDecoder::decode(bytes, encoding);
    if (!decoded.ok()) {
        if (error)
            *error = decoded.error;
        return std::nullopt;
    }
    QList<QStringList> rows = read(utf16(decoded.text), decoded.text.size(), 0, delimiter, status);
    status.encoding = decoded.encoding;
    return rows;
}

std::optional<QList<QStringList>> CSVReader::readFile(const QString &path, TextFileDecoder::Encoding encoding,
                                                      const QString &delimiter, Report *report, QString *error)
{
    const std::optional<QByteArray> bytes = TextFileDecoder::readBytes(path, error);
    if (!bytes)
        return std::nullopt;
    return readFromBytes(*bytes, encoding, delimiter, report, error);
}
