// The rules of the recipient filters and the sort order of the table.

#include "TestSupport.h"
#include "FieldContentsRule.h"
#include "RecipientSort.h"
#include "SendDateRule.h"

#include "CollectionUtils.h"
#include "Database.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

namespace {

Database::Entry entryWith(const QVariantMap &values)
{
    return Database::Entry(values);
}

} // namespace

TEST(RecipientRules, FieldContents)
{
    const struct {
        int operation;
        const char *text;
        QVariant value;
        bool matches;
    } cases[] = {
        {0, "bc", "ABCD", true},     {0, "", "abc", false},       {1, "", "abc", true},
        {1, "x", QVariant(), false}, {3, "x", QVariant(), false}, {2, "abc", "ABC", true},
        {2, "abc", "abc", true},     {2, "abc", "abcd", false},   {3, "abc", "abcd", true},
        {4, "9", "10", true},        {4, "10", "9", false},       {5, "item 10", "Item 9", true},
        {4, "abc", "ABC", false},    {5, "abc", "ABC", false},    {6, "a", "a", false},
        {-1, "a", "a", false},
    };
    for (const auto &c : cases) {
        QVariantMap values{{"0", "other"}};
        if (c.value.isValid())
            values.insert("3", c.value);
        const FieldContentsRule rule(c.operation, "3", c.text);
        EXPECT_EQ(rule.matches(entryWith(values)), c.matches)
            << c.operation << " '" << c.text << "' '" << c.value.toString().toStdString() << "'";
    }
}

TEST(RecipientRules, SendDateComparesInstantsAcrossADaylightSavingChange)
{
    const TimeZone zone("Europe/Berlin");
    // The clocks went back at 03:00 summer time on 2023-10-29.
    const QDateTime picked(QDate(2023, 10, 29), QTime(3, 30));
    const QDateTime hourBefore = picked.addSecs(-3600);
    const QDateTime dayBefore = picked.addDays(-1);
    const struct {
        int range;
        QDateTime sent;
        bool matches;
    } cases[] = {
        {0, dayBefore, true},  {0, hourBefore, true},   {0, picked, false}, {0, QDateTime(), false},
        {1, dayBefore, false}, {1, picked.addSecs(60), true}, {1, picked, false}, {1, QDateTime(), true},
        {2, dayBefore, false},
    };
    for (const auto &c : cases) {
        QVariantMap values;
        if (c.sent.isValid())
            values.insert(Database::LastSentKey, c.sent);
        EXPECT_EQ(SendDateRule(c.range, picked).matches(entryWith(values)), c.matches)
            << c.range << " " << c.sent.toString(Qt::ISODate).toStdString();
    }
    EXPECT_EQ(hourBefore.toUTC().secsTo(picked.toUTC()), 3600);
}

TEST(RecipientRules, SortKeysOrderAsTheNaturalComparison)
{
    // Letters of both cases, digits with leading zeros, a character that
    // folds (Σ/σ/ς), one outside the first plane and a few delimiters.
    const QStringList pieces = {"a", "A", "b", "0", "1", "9", "00", "10", " ", "-", "Σ", "σ", "ς", "\U0001F600", "é", "É"};
    QRandomGenerator random(20240501);
    QStringList texts;
    for (int i = 0; i < 3000; ++i) {
        QString text;
        for (int n = random.bounded(6); n > 0; --n)
            text += pieces.at(random.bounded(int(pieces.size())));
        texts << text;
    }
    for (const QString &a : texts.mid(0, 300)) {
        for (const QString &b : texts.mid(300, 300)) {
            const int natural = CollectionUtils::compareNatural(a, b);
            int keyed = RecipientSort::naturalKey(a).compare(RecipientSort::naturalKey(b));
            if (keyed == 0)
                keyed = a.compare(b);
            ASSERT_EQ(natural < 0, keyed < 0) << a.toStdString() << " | " << b.toStdString();
            ASSERT_EQ(natural > 0, keyed > 0) << a.toStdString() << " | " << b.toStdString();
        }
    }
}
