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
        value.remove(u'"');
        attribute.insert(QStringLiteral("value"), value);
    }
    return attribute;
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
        const qsizetype close = html.indexOf(u'>', index);
        if (close < 0) {
            pending += QStringView(html).mid(index);
            break;
        }
        const QStringList words =
            BetterString::componentsSeparatedByCharactersInSetNotBySet(html.mid(index, close - index), separators, glue);
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
