#include "BetterFileManager.h"
#include "CollectionUtils.h"
#include "DictionaryGetters.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace CollectionUtils;

TEST(FileHelpers, CreateDirectoriesForPath)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    QFile(root + QStringLiteral("/file")).open(QIODevice::WriteOnly);

    EXPECT_TRUE(BetterFileManager::createDirectoriesForPath(root + QStringLiteral("/a//b/c/")));
    EXPECT_TRUE(QFileInfo(root + QStringLiteral("/a/b/c")).isDir());
    EXPECT_TRUE(BetterFileManager::createDirectoriesForPath(root + QStringLiteral("/a/b")));
    EXPECT_EQ(QDir(root + QStringLiteral("/a/b")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("c")});
    // A file in the way is no folder, even when it ends the path.
    EXPECT_FALSE(BetterFileManager::createDirectoriesForPath(root + QStringLiteral("/file")));
    EXPECT_FALSE(BetterFileManager::createDirectoriesForPath(root + QStringLiteral("/file/sub")));
}

TEST(FileHelpers, FixPathByAppendingSuffix)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    QDir(root).mkpath(QStringLiteral("report.d"));  // a folder is no candidate
    QDir(root).mkpath(QStringLiteral("sub"));
    for (const char *name : {"report.txt", "report.pdf", "reportx.a", ".hidden.cfg", "sub/report.a"})
        QFile(root + u'/' + QString::fromUtf8(name)).open(QIODevice::WriteOnly);

    // Expected paths are below root; null for none.
    const struct { const char *path, *expected; } rows[] = {
        {"/report", "/report.pdf"}, {"/report/", "/report.pdf"}, {"/sub", "/sub"},
        {"/.hidden", "/.hidden.cfg"}, {"/repo", nullptr}, {"/missing/report", nullptr},
    };
    for (const auto &row : rows) {
        const QString found = BetterFileManager::fixPathByAppendingSuffix(root + row.path);
        EXPECT_EQ(found, row.expected ? root + row.expected : QString()) << row.path;
        EXPECT_EQ(found.isNull(), !row.expected) << row.path;
    }
}

TEST(CollectionHelpers, Comparisons)
{
    const QDateTime early = QDateTime::fromSecsSinceEpoch(100);
    // Results of compareStrings and compareArrayDictionaries.
    const struct { QVariant a, b; int plain, natural; } rows[] = {
        {QVariant(), QStringLiteral("a"), -1, -1},
        {QVariant(QString()), QStringLiteral(""), -1, -1},  // a null string is missing
        {QStringLiteral("B"), QStringLiteral("a"), -1, 1},
        {QStringLiteral("item10"), QStringLiteral("item2"), -1, 1},
        {QStringLiteral("n123456789012345678901234567890"), QStringLiteral("n99"), -1, 1},
        {QStringLiteral("a01"), QStringLiteral("a1"), -1, -1},  // equal numbers still get an order
        {qint64(9007199254740993), 9007199254740992.0, 1, 1},   // beyond a double's precision
        {std::nan(""), 1e300, 1, 1},
        {5, QStringLiteral("1"), -1, -1},
        {early, QStringLiteral("z"), 1, 1},
        {QVariantList{}, early, 1, 1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.a.toString().toStdString());
        const QVariantMap a{{"k", row.a}}, b{{"k", row.b}};
        EXPECT_EQ(compareStrings(row.a, row.b), row.plain);
        EXPECT_EQ(compareStrings(row.b, row.a), -row.plain);
        EXPECT_EQ(compareArrayDictionaries(a, b, "k"), row.natural);
        EXPECT_EQ(compareArrayDictionaries(b, a, "k"), -row.natural);
    }
}

TEST(CollectionHelpers, OrderIsTotalAndSortsAreStable)
{
    const QVariantList values{QVariant(), QStringLiteral("a10"), QStringLiteral("A9"), QStringLiteral("a09"),
                              QStringLiteral("-"), QStringLiteral("a9b"), QStringLiteral(""), 3, 2.5, std::nan(""),
                              true, QDateTime::fromSecsSinceEpoch(1), QVariantList{1}, QVariantMap{}};
    const auto byKey = [](const QVariant &a, const QVariant &b) {
        return compareArrayDictionaries({{"k", a}}, {{"k", b}}, "k");
    };
    for (const QVariant &a : values) {
        for (const QVariant &b : values) {
            ASSERT_EQ(byKey(a, b), -byKey(b, a));
            for (const QVariant &c : values) {
                if (byKey(a, b) <= 0 && byKey(b, c) <= 0) {
                    ASSERT_LE(byKey(a, c), 0);
                }
            }
        }
    }

    // Equal keys keep their order, also past the size where sorts switch to
    // an unstable algorithm.
    QList<std::pair<int, int>> items;
    for (int i = 0; i < 100; ++i)
        items.append({i * 7 % 3, i});
    const auto sorted = sortedStably(items, [](const auto &x, const auto &y) { return compareStrings(x.first, y.first); });
    EXPECT_TRUE(std::is_sorted(sorted.cbegin(), sorted.cend()));
}

TEST(DictionaryGetters, TypedReads)
{
    const struct { QVariant value; bool asBool; int asInt; QString asString; } rows[] = {
        {QStringLiteral("12abc"), true, 12, QStringLiteral("12abc")},
        {QStringLiteral("Yes"), false, 0, QStringLiteral("Yes")},
        {3, true, 3, QString()},
        {QVariantList{QStringLiteral("x")}, false, 0, QString()},
        {QVariant(), false, 0, QString()},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.value.toString().toStdString());
        const QVariantMap dictionary = row.value.isValid() ? QVariantMap{{"k", row.value}} : QVariantMap{};
        EXPECT_EQ(DoGetDictBoolForKey(dictionary, "k"), row.asBool);
        EXPECT_EQ(DoGetDictIntForKey(dictionary, "k"), row.asInt);
        EXPECT_EQ(DoGetDictStringForKey(dictionary, "k"), row.asString);
        EXPECT_EQ(DoGetDictStringForKey(dictionary, "k").isNull(), row.asString.isNull());
    }
}
