#include "KeyFileParser.h"

#include "ImportWarnings.h"
#include "ImportedAccount.h"

#include <QUtf8StringView>

#include <optional>

namespace {

std::optional<QString> unescaped(QStringView value)
{
    QString text;
    text.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != u'\\') {
            text.append(c);
            continue;
        }
        if (++i >= value.size())
            return std::nullopt;
        switch (value[i].unicode()) {
        case u's':
            text.append(u' ');
            break;
        case u'n':
            text.append(u'\n');
            break;
        case u't':
            text.append(u'\t');
            break;
        case u'r':
            text.append(u'\r');
            break;
        case u'\\':
            text.append(u'\\');
            break;
        default:
            return std::nullopt;
        }
    }
    return text;
}

} // namespace

KeyFileParser::Groups KeyFileParser::parse(const QByteArray &text, ImportWarnings &warnings)
{
    Groups groups;
    if (text.contains('\0') || !QUtf8StringView(text).isValidUtf8()) {
        warnings.add(QStringLiteral("not UTF-8 text"));
        return groups;
    }
    const QString whole = QString::fromUtf8(text);
    // By name: a pointer into the table would not survive the next group added.
    std::optional<QString> group;
    qsizetype lineNumber = 0;
    for (QStringView line : QStringView(whole).split(u'\n')) {
        ++lineNumber;
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QStringView trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u'#'))
            continue;
        if (trimmed.startsWith(u'[')) {
            if (!trimmed.endsWith(u']') || trimmed.size() < 3) {
                warnings.add(QStringLiteral("line %1: not a group name").arg(lineNumber));
                group.reset();
                continue;
            }
            group = trimmed.mid(1, trimmed.size() - 2).toString();
            groups[*group];
            continue;
        }
        const qsizetype equals = trimmed.indexOf(u'=');
        const QStringView key = equals > 0 ? trimmed.left(equals).trimmed() : QStringView();
        if (key.isEmpty() || !group) {
            warnings.add(QStringLiteral("line %1: not a key").arg(lineNumber));
            continue;
        }
        if (key.contains(u'['))
            continue;
        const QStringView raw = trimmed.mid(equals + 1).trimmed();
        if (raw.size() > 2 * ImportedAccount::MaxTextLength) {
            warnings.add(QStringLiteral("line %1: value too long; skipped").arg(lineNumber));
            continue;
        }
        const std::optional<QString> value = unescaped(raw);
        if (!value || value->size() > ImportedAccount::MaxTextLength) {
            warnings.add(QStringLiteral("line %1: value not readable; skipped").arg(lineNumber));
            continue;
        }
        groups[*group].insert(key.toString(), *value);
    }
    return groups;
}
