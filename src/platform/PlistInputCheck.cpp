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
// stack. XML is therefore measured before libplist sees it.
constexpr int MaxPlistNesting = 16;

} // namespace

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
