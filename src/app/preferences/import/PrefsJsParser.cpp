#include "PrefsJsParser.h"

#include "ImportedAccount.h"

#include <QUtf8StringView>

#include <climits>
#include <optional>

namespace {

class Reader {
public:
    Reader(const QByteArray &text, const PrefsJsParser::Sink &sink)
        : m_text(text), m_p(text.constData()), m_end(text.constData() + text.size()), m_sink(sink)
    {
    }

    void run()
    {
        while (skipBlanks() && m_p < m_end) {
            const char *start = m_p;
            if (!statement())
                recover(start);
        }
    }

    QStringList warnings;
    int moreWarnings = 0;

private:
    static bool isIdentifierChar(char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    }

    void warn(const char *where, const QString &what)
    {
        if (warnings.size() >= PrefsJsParser::MaxWarnings) {
            ++moreWarnings;
            return;
        }
        const qsizetype line = 1 + QByteArrayView(m_text.constData(), where - m_text.constData()).count('\n');
        warnings.append(QStringLiteral("prefs.js, line %1: %2").arg(line).arg(what));
    }

    bool fail(const QString &what)
    {
        if (m_error.isEmpty())
            m_error = what;
        return false;
    }

    // Skips white space and comments; false after an unterminated comment.
    bool skipBlanks()
    {
        while (m_p < m_end) {
            const char c = *m_p;
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
                ++m_p;
            } else if (c == '#' || (c == '/' && m_p + 1 < m_end && m_p[1] == '/')) {
                while (m_p < m_end && *m_p != '\n')
                    ++m_p;
            } else if (c == '/' && m_p + 1 < m_end && m_p[1] == '*') {
                const char *comment = m_p;
                const qsizetype close = QByteArrayView(m_p + 2, m_end - m_p - 2).indexOf("*/");
                if (close < 0) {
                    warn(comment, QStringLiteral("comment not closed"));
                    m_p = m_end;
                    return false;
                }
                m_p += 2 + close + 2;
            } else {
                break;
            }
        }
        return true;
    }

    QByteArrayView identifier()
    {
        const char *start = m_p;
        while (m_p < m_end && isIdentifierChar(*m_p))
            ++m_p;
        return QByteArrayView(start, m_p - start);
    }

    bool punctuation(char wanted)
    {
        if (!skipBlanks() || m_p >= m_end || *m_p != wanted)
            return fail(QStringLiteral("expected \"%1\"").arg(QLatin1Char(wanted)));
        ++m_p;
        return true;
    }

    std::optional<int> hexDigits(int count)
    {
        if (m_end - m_p < count)
            return std::nullopt;
        int value = 0;
        for (int i = 0; i < count; ++i) {
            const char c = m_p[i];
            int digit = -1;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            if (digit < 0)
                return std::nullopt;
            value = value * 16 + digit;
        }
        m_p += count;
        return value;
    }

    // A quoted string at m_p. Read to its end even when it is too long, so
    // that the next statement starts where it should.
    std::optional<QString> string()
    {
        if (!skipBlanks() || m_p >= m_end || (*m_p != '"' && *m_p != '\'')) {
            fail(QStringLiteral("expected a string"));
            return std::nullopt;
        }
        const char quote = *m_p++;
        QString value;
        bool valid = true;
        const auto append = [&](char32_t codePoint) {
            if (value.size() <= ImportedAccount::MaxTextLength)
                value.append(QString::fromUcs4(&codePoint, 1));
        };
        const char *run = m_p; // plain bytes not yet appended
        const auto flush = [&] {
            if (m_p > run && value.size() <= ImportedAccount::MaxTextLength)
                value.append(QString::fromUtf8(run, std::min<qsizetype>(m_p - run, 4 * ImportedAccount::MaxTextLength)));
        };
        while (true) {
            if (m_p >= m_end) {
                fail(QStringLiteral("string not closed"));
                return std::nullopt;
            }
            const char c = *m_p;
            if (c == quote) {
                flush();
                ++m_p;
                break;
            }
            if (c != '\\') {
                ++m_p;
                continue;
            }
            flush();
            ++m_p;
            if (m_p >= m_end)
                continue;
            const char escape = *m_p++;
            switch (escape) {
            case '"':
            case '\'':
            case '\\':
                append(char32_t(escape));
                break;
            case 'n':
                append(U'\n');
                break;
            case 'r':
                append(U'\r');
                break;
            case 'x': {
                const std::optional<int> code = hexDigits(2);
                if (!code || *code == 0) {
                    valid = fail(QStringLiteral("bad \\x escape"));
                    break;
                }
                append(char32_t(*code));
                break;
            }
            case 'u': {
                std::optional<int> code = hexDigits(4);
                if (code && *code >= 0xD800 && *code <= 0xDBFF) {
                    // A high surrogate must be followed by an escaped low one.
                    std::optional<int> low;
                    if (m_end - m_p >= 2 && m_p[0] == '\\' && m_p[1] == 'u') {
                        m_p += 2;
                        low = hexDigits(4);
                    }
                    code = low && *low >= 0xDC00 && *low <= 0xDFFF
                               ? std::optional<int>(0x10000 + ((*code - 0xD800) << 10) + (*low - 0xDC00))
                               : std::nullopt;
                } else if (code && *code >= 0xDC00 && *code <= 0xDFFF) {
                    code.reset();
                }
                if (!code || *code == 0) {
                    valid = fail(QStringLiteral("bad \\u escape"));
                    break;
                }
                append(char32_t(*code));
                break;
            }
            default:
                valid = fail(QStringLiteral("unknown escape \\%1").arg(QLatin1Char(escape)));
                break;
            }
            run = m_p;
        }
        if (value.size() > ImportedAccount::MaxTextLength)
            valid = fail(QStringLiteral("string longer than %1 characters").arg(ImportedAccount::MaxTextLength));
        if (!valid)
            return std::nullopt;
        return value;
    }

    std::optional<PrefsJsParser::Value> value()
    {
        if (!skipBlanks() || m_p >= m_end) {
            fail(QStringLiteral("expected a value"));
            return std::nullopt;
        }
        if (*m_p == '"' || *m_p == '\'') {
            std::optional<QString> text = string();
            if (!text)
                return std::nullopt;
            return PrefsJsParser::Value(*text);
        }
        if (*m_p == '-' || *m_p == '+' || (*m_p >= '0' && *m_p <= '9')) {
            const bool negative = *m_p == '-';
            if (*m_p == '-' || *m_p == '+')
                ++m_p;
            if (m_p >= m_end || *m_p < '0' || *m_p > '9') {
                fail(QStringLiteral("expected a number"));
                return std::nullopt;
            }
            qint64 number = 0;
            while (m_p < m_end && *m_p >= '0' && *m_p <= '9') {
                number = number * 10 + (*m_p++ - '0');
                if (number > qint64(INT_MAX) + 1) {
                    fail(QStringLiteral("number out of range"));
                    return std::nullopt;
                }
            }
            if (negative)
                number = -number;
            if (number > INT_MAX || number < INT_MIN) {
                fail(QStringLiteral("number out of range"));
                return std::nullopt;
            }
            return PrefsJsParser::Value(int(number));
        }
        const QByteArrayView word = identifier();
        if (word == "true")
            return PrefsJsParser::Value(true);
        if (word == "false")
            return PrefsJsParser::Value(false);
        fail(QStringLiteral("expected a value"));
        return std::nullopt;
    }

    bool statement()
    {
        m_error.clear();
        const QByteArrayView keyword = identifier();
        const bool isPref = keyword == "pref";
        if (!isPref && keyword != "user_pref" && keyword != "sticky_pref")
            return fail(QStringLiteral("expected user_pref"));
        if (!punctuation('('))
            return false;
        const std::optional<QString> name = string();
        if (!name || !punctuation(','))
            return false;
        const std::optional<PrefsJsParser::Value> parsed = value();
        if (!parsed)
            return false;
        while (skipBlanks() && m_p < m_end && *m_p == ',' && isPref) {
            ++m_p;
            skipBlanks();
            const QByteArrayView attribute = identifier();
            if (attribute != "sticky" && attribute != "locked")
                return fail(QStringLiteral("unknown attribute"));
        }
        if (!punctuation(')') || !punctuation(';'))
            return false;
        m_sink(*name, *parsed);
        return true;
    }

    // Mozilla's recovery: the rest of the statement, through its ";", is dropped.
    void recover(const char *start)
    {
        warn(start, m_error.isEmpty() ? QStringLiteral("syntax error") : m_error);
        while (m_p < m_end && *m_p != ';')
            ++m_p;
        if (m_p < m_end)
            ++m_p;
    }

    const QByteArray &m_text;
    const char *m_p;
    const char *m_end;
    const PrefsJsParser::Sink &m_sink;
    QString m_error;
};

} // namespace

bool PrefsJsParser::parse(const QByteArray &text, const Sink &sink, QStringList *warnings)
{
    if (text.contains('\0') || !QUtf8StringView(text).isValidUtf8()) {
        if (warnings)
            warnings->append(QStringLiteral("prefs.js is not UTF-8 text; nothing was read from it"));
        return false;
    }
    Reader reader(text, sink);
    reader.run();
    if (warnings) {
        warnings->append(reader.warnings);
        if (reader.moreWarnings > 0)
            warnings->append(QStringLiteral("prefs.js: %1 more statements skipped").arg(reader.moreWarnings));
    }
    return true;
}
