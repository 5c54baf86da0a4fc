#include "RtfWriter.h"

#include <QColor>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>

#include <cmath>

namespace {

QByteArray escaped(QStringView text)
{
    QByteArray out;
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\' || u == u'{' || u == u'}') {
            out += '\\';
            out += char(u);
        } else if (u == u'\t') {
            out += "\\tab ";
        } else if (u == QChar::LineSeparator) {
            out += "\\line ";
        } else if (u < 0x20) {
            // Control characters from a server reply mean nothing in a document.
            out += ' ';
        } else if (u < 0x80) {
            out += char(u);
        } else {
            // RTF counts in signed 16-bit units; "?" stands in for readers
            // that cannot show the character. In a group of its own, so
            // that no reader skips more than the "?" after it.
            out += "{\\u" + QByteArray::number(qint16(u)) + "?}";
        }
    }
    return out;
}

// The index of the value in the list, added when new.
template <typename T>
int indexOf(QList<T> &list, const T &value)
{
    const qsizetype found = list.indexOf(value);
    if (found >= 0)
        return int(found);
    list.append(value);
    return int(list.size() - 1);
}

} // namespace

QByteArray RtfWriter::fromDocument(const QTextDocument &document)
{
    QStringList fonts{document.defaultFont().family()};
    // Colour 0 of the table is the reader's default; the list starts at 1.
    QList<QRgb> colors;
    QByteArray body;

    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QTextCharFormat format = fragment.charFormat();
            const QFont font = format.font();
            QByteArray group = "{\\f" + QByteArray::number(indexOf(fonts, font.family()));
            const double points = font.pointSizeF() > 0 ? font.pointSizeF() : document.defaultFont().pointSizeF();
            if (points > 0)
                group += "\\fs" + QByteArray::number(qRound(points * 2));
            if (font.bold())
                group += "\\b";
            if (font.italic())
                group += "\\i";
            if (font.underline())
                group += "\\ul";
            if (format.hasProperty(QTextFormat::ForegroundBrush)) {
                const QColor color = format.foreground().color();
                group += "\\cf" + QByteArray::number(indexOf(colors, color.rgb() | 0xFF000000u) + 1);
            }
            body += group + ' ' + escaped(fragment.text()) + '}';
        }
        if (block.next().isValid())
            body += "\\par\n";
    }

    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
    for (int i = 0; i < fonts.size(); ++i)
        out += "{\\f" + QByteArray::number(i) + "\\fnil " + escaped(fonts.at(i)) + ";}";
    out += "}\n{\\colortbl;";
    for (const QRgb color : colors) {
        out += "\\red" + QByteArray::number(qRed(color)) + "\\green" + QByteArray::number(qGreen(color)) + "\\blue"
            + QByteArray::number(qBlue(color)) + ';';
    }
    out += "}\n" + body + "\n}\n";
    return out;
}
