#include "RtfPlainText.h"

#include "BetterString.h"

#include <QHash>
#include <QSet>
#include <QStringDecoder>

#include <vector>

namespace RtfPlainText {

namespace {

// Destinations whose text is not part of the document's text.
const QSet<QByteArray> &skippedDestinations()
{
    static const QSet<QByteArray> names = {
        "fonttbl",   "colortbl",  "stylesheet", "info",     "pict",       "object",        "header",
        "headerl",   "headerr",   "headerf",    "footer",   "footerl",    "footerr",       "footerf",
        "fldinst",   "themedata", "datastore",  "listtable", "listoverridetable", "rsidtbl", "generator",
        "xmlnstbl",  "latentstyles", "colorschememapping", "revtbl", "filetbl", "pgdsctbl", "private",
        "footnote",  "annotation", "atnid", "atnauthor", "xe", "tc", "bkmkstart", "bkmkend", "nonshppict",
    };
    return names;
}

// Control words that stand for characters.
const QHash<QByteArray, QString> &characterWords()
{
    static const QHash<QByteArray, QString> words = {
        {"par", QStringLiteral("\n")},       {"line", QStringLiteral("\n")},      {"sect", QStringLiteral("\n")},
        {"page", QStringLiteral("\n")},      {"row", QStringLiteral("\n")},       {"tab", QStringLiteral("\t")},
        {"cell", QStringLiteral("\t")},      {"emdash", QStringLiteral("\u2014")}, {"endash", QStringLiteral("\u2013")},
        {"bullet", QStringLiteral("\u2022")}, {"lquote", QStringLiteral("\u2018")}, {"rquote", QStringLiteral("\u2019")},
        {"ldblquote", QStringLiteral("\u201C")}, {"rdblquote", QStringLiteral("\u201D")},
        {"emspace", QStringLiteral(" ")},    {"enspace", QStringLiteral(" ")},    {"qmspace", QStringLiteral(" ")},
    };
    return words;
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

struct Group {
    bool skipped = false;
    // Characters that stand in for each \uN, for readers without Unicode.
    int fallbackLength = 1;
};

class Reader {
public:
    explicit Reader(const QByteArray &rtf) : m_rtf(rtf) {}

    QString read()
    {
        m_groups.push_back(Group());
        const qsizetype size = m_rtf.size();
        while (m_at < size) {
            const char c = m_rtf.at(m_at++);
            switch (c) {
            case '{':
                flushBytes();
                m_fallbackLeft = 0;
                m_groups.push_back(m_groups.back());
                m_destinationStart = true;
                continue;
            case '}':
                flushBytes();
                m_fallbackLeft = 0;
                if (m_groups.size() > 1)
                    m_groups.pop_back();
                break;
            case '\\':
                controlSequence();
                break;
            case '\r':
            case '\n':
                break;
            default:
                textByte(c);
                break;
            }
            m_destinationStart = false;
        }
        flushBytes();
        return m_text;
    }

private:
    [[nodiscard]] bool skipping() const { return m_groups.back().skipped; }

    void textByte(char c)
    {
        if (m_fallbackLeft > 0) {
            --m_fallbackLeft;
            return;
        }
        if (!skipping())
            m_bytes.append(c);
    }

    void text(const QString &characters)
    {
        flushBytes();
        if (!skipping())
            m_text += characters;
    }

    void flushBytes()
    {
        if (m_bytes.isEmpty())
            return;
        if (!m_decoder.isValid())
            m_decoder = QStringDecoder("windows-1252");
        m_text += m_decoder.decode(m_bytes);
        m_bytes.clear();
    }

    void controlSequence()
    {
        const qsizetype size = m_rtf.size();
        if (m_at >= size)
            return;
        const char first = m_rtf.at(m_at);
        if (!isLetter(first)) {
            ++m_at;
            controlSymbol(first);
            return;
        }
        const qsizetype nameStart = m_at;
        while (m_at < size && isLetter(m_rtf.at(m_at)) && m_at - nameStart < 32)
            ++m_at;
        const QByteArray name = m_rtf.mid(nameStart, m_at - nameStart);
        bool hasParameter = false;
        bool negative = false;
        qint64 parameter = 0;
        if (m_at < size && m_rtf.at(m_at) == '-') {
            negative = true;
            ++m_at;
        }
        for (int digits = 0; m_at < size && m_rtf.at(m_at) >= '0' && m_rtf.at(m_at) <= '9' && digits < 10; ++digits) {
            parameter = parameter * 10 + (m_rtf.at(m_at++) - '0');
            hasParameter = true;
        }
        if (negative)
            parameter = -parameter;
        if (m_at < size && m_rtf.at(m_at) == ' ')
            ++m_at;
        controlWord(name, hasParameter, parameter);
    }

    void controlSymbol(char symbol)
    {
        switch (symbol) {
        case '\\':
        case '{':
        case '}':
            textByte(symbol);
            return;
        case '\'': {
            const qsizetype size = m_rtf.size();
            // Two hex digits; a broken escape is dropped with what it has.
            int value = 0;
            int digits = 0;
            for (; digits < 2 && m_at < size && BetterString::hexDigitValue(m_rtf.at(m_at)) >= 0; ++digits)
                value = value * 16 + BetterString::hexDigitValue(m_rtf.at(m_at++));
            if (digits == 2)
                textByte(char(value));
            return;
        }
        case '~':
            text(QStringLiteral("\u00A0"));
            return;
        case '_':
            text(QStringLiteral("\u2011"));
            return;
        case '*':
            // An ignorable destination: readers that do not know it skip it.
            if (m_destinationStart)
                m_groups.back().skipped = true;
            return;
        case '\r':
        case '\n':
            text(QStringLiteral("\n"));
            return;
        default: // "\-" (an optional hyphen) and symbols of no text
            return;
        }
    }

    void controlWord(const QByteArray &name, bool hasParameter, qint64 parameter)
    {
        if (name == "u" && hasParameter) {
            // A signed 16-bit unit; a surrogate pair comes as two of them.
            text(QString(QChar(char16_t(parameter < 0 ? parameter + 65536 : parameter))));
            m_fallbackLeft = m_groups.back().fallbackLength;
            return;
        }
        m_fallbackLeft = 0;
        if (name == "uc" && hasParameter) {
            m_groups.back().fallbackLength = int(std::clamp<qint64>(parameter, 0, 16));
        } else if (name == "ansicpg" && hasParameter) {
            flushBytes();
            m_decoder = QStringDecoder(QByteArray("windows-" + QByteArray::number(parameter)).constData());
        } else if (name == "bin" && hasParameter) {
            // Binary data, which may hold any byte: skipped unread.
            m_at = std::min<qint64>(m_rtf.size(), m_at + std::max<qint64>(parameter, 0));
        } else if (skippedDestinations().contains(name)) {
            m_groups.back().skipped = true;
        } else if (const auto it = characterWords().constFind(name); it != characterWords().cend()) {
            text(*it);
        }
    }

    const QByteArray &m_rtf;
    qsizetype m_at = 0;
    std::vector<Group> m_groups;
    QStringDecoder m_decoder{"windows-1252"};
    QByteArray m_bytes;
    QString m_text;
    int m_fallbackLeft = 0;
    bool m_destinationStart = false;
};

} // namespace

QString plainText(const QByteArray &rtf)
{
    return Reader(rtf).read();
}

} // namespace RtfPlainText
