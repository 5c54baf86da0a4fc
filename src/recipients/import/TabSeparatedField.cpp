#include "TabSeparatedField.h"

#include <algorithm>

namespace TabSeparatedField {

namespace {

bool isBreak(QChar c)
{
    return c == u'\t' || c == u'\n' || c == u'\r';
}

bool needsQuotes(QStringView value)
{
    return !value.isEmpty() && (value.front() == u'"' || value.front() == QChar(0xFEFF));
}

} // namespace

bool append(QString &out, QStringView value)
{
    if (needsQuotes(value)) {
        bool changed = false;
        out.append(u'"');
        for (const QChar c : value) {
            if (isBreak(c)) {
                out.append(u' ');
                changed = true;
                continue;
            }
            out.append(c);
            if (c == u'"')
                out.append(c);
        }
        out.append(u'"');
        return changed;
    }
    // Nearly every value is written as it is, in one piece.
    const auto firstBreak = std::find_if(value.cbegin(), value.cend(), isBreak);
    const qsizetype start = out.size();
    out.append(value);
    if (firstBreak == value.cend())
        return false;
    for (qsizetype i = start + (firstBreak - value.cbegin()); i < out.size(); ++i) {
        if (isBreak(out.at(i)))
            out[i] = u' ';
    }
    return true;
}

} // namespace TabSeparatedField
