#include "Localizer.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace {

using Key = std::pair<QString, QString>; // table, key

// Every (table, key) with an English text in the translation sources.
QSet<Key> englishTexts()
{
    QSet<Key> keys;
    QDirIterator it(QStringLiteral(CORV_SOURCE_DIR "/resources/translations"), {QStringLiteral("*.ts")});
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QXmlStreamReader xml(&file);
        QString context, source;
        while (!xml.atEnd()) {
            xml.readNext();
            if (!xml.isStartElement())
                continue;
            if (xml.name() == u"name")
                context = xml.readElementText();
            else if (xml.name() == u"source")
                source = xml.readElementText();
            else if (xml.name() == u"translation" && !xml.readElementText().isEmpty())
                keys.insert({context, source});
        }
        EXPECT_FALSE(xml.hasError()) << qPrintable(file.fileName()) << ": " << qPrintable(xml.errorString());
    }
    return keys;
}

QString unescapeCString(const QString &s)
{
    QString out;
    for (int i = 0; i < s.size(); ++i) {
        if (s[i] == u'\\' && i + 1 < s.size()) {
            const QChar c = s[++i];
            out += c == u'n' ? QChar(u'\n') : c == u't' ? QChar(u'\t') : c;
        } else {
            out += s[i];
        }
    }
    return out;
}

// Every literal lookup in the sources: localizedString("Table", "Key").
QList<std::pair<Key, QString>> keysUsedInCode()
{
    static const QRegularExpression call(
        QStringLiteral(R"re(localizedString\(\s*(?:QStringLiteral\()?"((?:[^"\\]|\\.)*)"\)?\s*,\s*(?:QStringLiteral\()?"((?:[^"\\]|\\.)*)")re"));
    QList<std::pair<Key, QString>> used;
    QDirIterator it(QStringLiteral(CORV_SOURCE_DIR "/src"), {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(file.readAll());
        for (auto m = call.globalMatch(text); m.hasNext();) {
            const auto match = m.next();
            used.append({{unescapeCString(match.captured(1)), unescapeCString(match.captured(2))}, path});
        }
    }
    return used;
}

} // namespace

TEST(Localizer, everyKeyTheCodeUsesHasEnglishText)
{
    const QSet<Key> english = englishTexts();
    for (const auto &[key, path] : keysUsedInCode())
        EXPECT_TRUE(english.contains(key)) << "no English text for table \"" << qPrintable(key.first) << "\" key \""
                                           << qPrintable(key.second) << "\" used in " << qPrintable(path);
}

TEST(Localizer, looksUpByTableAndKeyAndShowsMissingKeysAsThemselves)
{
    ASSERT_TRUE(Localizer::install());
    EXPECT_EQ(Localizer::localizedString("Localized-Tags", "Message Number Tag Name"), QStringLiteral("Message number"));
    EXPECT_EQ(Localizer::localizedString("Localized", "Message Number Tag Name"), QStringLiteral("Message Number Tag Name"))
        << "the same key in another table is another text";
    EXPECT_EQ(Localizer::localizedString("Localized", "No such key %d"), QStringLiteral("No such key %d"));
}
