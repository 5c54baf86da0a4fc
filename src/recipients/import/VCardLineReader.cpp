#include "VCardLineReader.h"

#include <algorithm>

namespace {

// Whether the property part of a line (up to the first ":") names the
// quoted-printable encoding, as "ENCODING=QUOTED-PRINTABLE" or, in 2.1,
// the bare parameter.
bool namesQuotedPrintable(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    const QByteArrayView head = colon < 0 ? line : line.first(colon);
    static constexpr QByteArrayView Marker = "QUOTED-PRINTABLE";
    for (qsizetype i = 0; i + Marker.size() <= head.size(); ++i) {
        if (head.sliced(i, Marker.size()).compare(Marker, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

VCardLineReader::VCardLineReader(QByteArrayView data, qsizetype maxLineBytes)
    : m_data(data), m_maxLineBytes(std::max<qsizetype>(maxLineBytes, 64))
{
}

QByteArrayView VCardLineReader::takePhysicalLine()
{
    const char *begin = m_data.data() + m_pos;
    const char *end = m_data.data() + m_data.size();
    const char *stop = std::find_if(begin, end, [](char c) { return c == '\n' || c == '\r'; });
    m_pos = stop - m_data.data();
    if (stop != end) {
        ++m_pos;
        if (*stop == '\r' && m_pos < m_data.size() && m_data[m_pos] == '\n')
            ++m_pos;
    }
    return QByteArrayView(begin, stop - begin);
}

void VCardLineReader::append(QByteArrayView part, Line &line)
{
    if (line.tooLong)
        return;
    const qsizetype room = m_maxLineBytes - m_buffer.size();
    if (part.size() > room) {
        part = part.first(room);
        line.tooLong = true;
    }
    m_buffer.append(part);
}

bool VCardLineReader::next(Line &line)
{
    if (m_pos >= m_data.size())
        return false;
    line = Line{};
    QByteArrayView text = takePhysicalLine();
    // The last byte of the whole logical line, also when only its start is kept.
    char last = text.isEmpty() ? 0 : text.back();
    if (text.size() > m_maxLineBytes) {
        text = text.first(m_maxLineBytes);
        line.tooLong = true;
    }
    bool inBuffer = false;
    const auto useBuffer = [&] {
        if (!inBuffer) {
            m_buffer.truncate(0);
            m_buffer.append(text);
            inBuffer = true;
        }
    };
    int quotedPrintable = -1;

    while (m_pos < m_data.size()) {
        if (last == '=') {
            if (quotedPrintable < 0)
                quotedPrintable = namesQuotedPrintable(inBuffer ? QByteArrayView(m_buffer) : text) ? 1 : 0;
            if (quotedPrintable == 1) {
                useBuffer();
                if (!line.tooLong)
                    m_buffer.chop(1);
                const QByteArrayView part = takePhysicalLine();
                append(part, line);
                last = part.isEmpty() ? 0 : part.back();
                continue;
            }
        }
        const char c = m_data[m_pos];
        if (c != ' ' && c != '\t')
            break;
        const QByteArrayView part = takePhysicalLine().sliced(m_keepFoldBlank ? 0 : 1);
        useBuffer();
        append(part, line);
        if (!part.isEmpty())
            last = part.back();
    }
    line.text = inBuffer ? QByteArrayView(m_buffer) : text;
    return true;
}
