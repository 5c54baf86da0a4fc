#include "CSVReader.h"

#include <algorithm>
#include <array>

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

class Scanner {
public:
    Scanner(QStringView text, char16_t delimiter)
        : m_text(text.utf16())
        , m_size(text.size())
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
        // The closing quote must come within the content limit.
        const qsizetype limit = std::min(m_size, open + 1 + CSVReader::MaxQuotedFieldLength + 1);
        qsizetype from = open + 1;
        for (;;) {
            const char16_t *hit = from < limit ? std::find(m_text + from, m_text + limit, Quote) : m_text + limit;
            if (hit == m_text + limit) {
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

    [[nodiscard]] QString value(const FieldSpan &field) const
    {
        const auto *chars = reinterpret_cast<const QChar *>(m_text);
        if (!field.doubledQuotes && field.tailBegin == field.tailEnd)
            return QString(chars + field.begin, field.end - field.begin);
        QString value;
        value.reserve(field.end - field.begin + field.tailEnd - field.tailBegin);
        // Every quote inside the content is the first of a pair.
        qsizetype segment = field.begin;
        for (qsizetype i = field.begin; i < field.end; ++i) {
            if (m_text[i] == Quote) {
                value.append(chars + segment, i + 1 - segment);
                segment = ++i + 1;
            }
        }
        value.append(chars + segment, field.end - segment);
        value.append(chars + field.tailBegin, field.tailEnd - field.tailBegin);
        return value;
    }

private:
    [[nodiscard]] qsizetype scanUnquoted(qsizetype p) const
    {
        while (p < m_size) {
            const char16_t c = m_text[p];
            if (c == m_delimiter || c == CR || c == LF)
                break;
            ++p;
        }
        return p;
    }

    const char16_t *m_text;
    qsizetype m_size;
    char16_t m_delimiter;
    bool m_quoting;
};

qsizetype startOfText(QStringView text)
{
    return !text.isEmpty() && text.front() == QChar(ByteOrderMark) ? 1 : 0;
}

// Fields of the record at p with this delimiter, counting quotes as the
// reading does.
qsizetype fieldsInRecord(QStringView text, qsizetype p, char16_t delimiter)
{
    const Scanner scanner(text, delimiter);
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

} // namespace

QChar CSVReader::detectDelimiter(QStringView text)
{
    // The first line that gives a row: empty lines give none.
    qsizetype p = startOfText(text);
    while (p < text.size() && (text[p] == QChar(CR) || text[p] == QChar(LF)))
        ++p;
    static constexpr std::array<char16_t, 4> candidates = {u'\t', u',', u':', u';'};
    char16_t best = candidates.front();
    qsizetype bestFields = fieldsInRecord(text, p, best);
    for (qsizetype i = 1; i < qsizetype(candidates.size()); ++i) {
        const qsizetype fields = fieldsInRecord(text, p, candidates[i]);
        if (fields > bestFields) {
            best = candidates[i];
            bestFields = fields;
        }
    }
    return QChar(best);
}

QList<QStringList> CSVReader::readFromString(const QString &text, const QString &delimiter, Report *report)
{
    Report local;
    Report &status = report ? *report : local;
    status = {};
    status.delimiter = delimiter.isEmpty() ? detectDelimiter(text) : delimiter.front();

    QList<QStringList> rows;
    const Scanner scanner(text, status.delimiter.unicode());
    FieldSpan field;
    qsizetype p = startOfText(text);
    qsizetype lastWidth = 0;
    while (p < scanner.size()) {
        QStringList row;
        row.reserve(lastWidth);
        qint64 dropped = 0;
        const auto keep = [&](const FieldSpan &f) {
            if (row.size() < MaxFieldsPerRow)
                row.append(scanner.value(f));
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
