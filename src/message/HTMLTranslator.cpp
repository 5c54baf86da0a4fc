#include "HTMLTranslator.h"

#include "BetterString.h"

namespace {

bool isPlainText(const RichText &text)
{
    for (const auto &run : text.runs()) {
        if (!run.attributes.isEmpty())
            return false;
    }
    return true;
}

QVariantMap attributeOfWord(const QString &word)
{
    QVariantMap attribute;
    const qsizetype firstEquals = word.indexOf(u'=');
    attribute.insert(QStringLiteral("name"), firstEquals < 0 ? word : word.left(firstEquals));
    if (firstEquals >= 0) {
        const qsizetype secondEquals = word.indexOf(u'=', firstEquals + 1);
        QString value = secondEquals < 0 ? word.mid(firstEquals + 1) : word.mid(firstEquals + 1, secondEquals - firstEquals - 1);
        // A value may be quoted either way; only its own quotes go.
        if (value.size() >= 2 && value.startsWith(u'\'') && value.endsWith(u'\''))
            value = value.mid(1, value.size() - 2);
        value.remove(u'"');
        attribute.insert(QStringLiteral("value"), value);
    }
    return attribute;
}

bool isSeparator(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// The words of a tag from just after its "<", and where its ">" is; -1 when
// it has none. A quote that opens a value, after an "=", runs to its match,
// as the tokenizer reads it: what it holds, a ">" or separators included,
// belongs to the value. A lone "=" joins the words on either side of it.
qsizetype tagWords(const QString &html, qsizetype start, QStringList &words)
{
    QStringList pieces;
    QString piece;
    bool afterEquals = false;
    qsizetype index = start;
    for (; index < html.size(); ++index) {
        const QChar c = html.at(index);
        if (c == u'>')
            break;
        if (isSeparator(c)) {
            pieces << piece;
            piece.clear();
            continue;
        }
        if ((c == u'"' || c == u'\'') && afterEquals) {
            const qsizetype close = html.indexOf(c, index + 1);
            // An unclosed quote: read as the first ">" would end the tag.
            if (close < 0)
                return -1;
            piece += QStringView(html).mid(index, close + 1 - index);
            index = close;
            afterEquals = false;
            continue;
        }
        piece += c;
        afterEquals = c == u'=';
    }
    if (index >= html.size())
        return -1;
    pieces << piece;
    words = BetterString::joinedAroundGlue(pieces, QStringLiteral("="));
    return index;
}

} // namespace

RichText HTMLTranslator::parseHTMLString(const QString &html)
{
    static const QString separators = QStringLiteral(" \t\n\r");
    static const QString glue = QStringLiteral("=");

    // Plain characters are gathered and appended in one piece: appending
    // rich text character by character would cost a run merge each time.
    RichText result;
    QString pending;
    const auto flush = [&] {
        if (!pending.isEmpty()) {
            result.append(RichText(pending));
            pending.clear();
        }
    };

    const qsizetype length = html.size();
    qsizetype index = 0;
    while (index < length) {
        const QChar character = html.at(index++);
        pending += character;
        if (character != u'<')
            continue;
        QStringList words;
        qsizetype close = tagWords(html, index, words);
        if (close < 0) {
            close = html.indexOf(u'>', index);
            if (close < 0) {
                pending += QStringView(html).mid(index);
                break;
            }
            words = BetterString::componentsSeparatedByCharactersInSetNotBySet(html.mid(index, close - index),
                                                                              separators, glue);
        }
        for (qsizetype w = 0; w < words.size(); ++w) {
            const QString &word = words.at(w);
            m_replacementString = RichText(word);
            if (m_delegate)
                m_delegate->htmlTranslatorHandleTagAttribute(*this, attributeOfWord(word));
            if (w > 0)
                pending += u' ';
            if (isPlainText(m_replacementString)) {
                pending += m_replacementString.string();
            } else {
                flush();
                result.append(m_replacementString);
            }
        }
        // The ">" is taken by the next turn as an ordinary character.
        index = close;
    }
    flush();
    return result;
}
