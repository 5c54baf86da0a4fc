#include "BetterString.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace BetterString;

TEST(BetterString, WildcardMatch)
{
    const struct { const char *text, *pattern; bool matches; } rows[] = {
        {"xxabyycdzz", "ab*cd", true}, {"xaby", "ab", true},    {"abc", "A*", false},
        {"ab", "b*a", false},          {"aaa", "aa*aa", false}, {"aaaa", "aa*aa", true},
        {"", "", true},                {"", "*", true},         {"x@spam.example.org", "*@spam.example", true},
    };
    for (const auto &row : rows)
        EXPECT_EQ(matchesWildcardPattern(row.text, row.pattern), row.matches) << row.text << " / " << row.pattern;
    // A backtracking matcher would take minutes here.
    EXPECT_FALSE(matchesWildcardPattern(QString(200000, u'a'), QStringLiteral("*a").repeated(40) + u'b'));
}

TEST(BetterString, PathPieces)
{
    const struct { const char *path, *suffix, *withoutSuffix; } rows[] = {
        {"/x/archive.tar.gz", "gz", "archive.tar"}, {"/x/README", "", "README"},
        {"/x/dir.d//", "d", "dir"},                 {"/x/.profile", "", ".profile"},
        {"/x/.profile.bak", "bak", ".profile"},     {"/x/..", "", ".."},
        {"name.", "", "name"},                      {"/", "", "/"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(fileNameSuffix(row.path), row.suffix);
        EXPECT_FALSE(fileNameSuffix(row.path).isNull());
        EXPECT_EQ(fileNameWithoutSuffix(row.path), row.withoutSuffix);
    }
    EXPECT_EQ(deletingLastPathComponent("/x//dir/"), "/x");
    EXPECT_EQ(deletingLastPathComponent("/report"), "/");
    EXPECT_EQ(deletingLastPathComponent("report"), "");
}

TEST(BetterString, ExtendRangeToFullLines)
{
    const struct { const char *text; TextRange in, out; } rows[] = {
        {"ab\ncd", {4, 0}, {3, 2}},      {"abc", {1, 0}, {0, 3}},
        {"ab\ncd\nef", {1, 3}, {0, 5}},  {"ab\ncd\n", {6, 0}, {6, 0}},
        {"ab\n\ncd", {3, 0}, {3, 0}},    {"ab\ncd", {-4, 99}, {0, 5}},
        {"ab\ncd", {1, 2147483647}, {0, 5}},
    };
    for (const auto &row : rows) {
        TextRange range = row.in;
        extendRangeToFullLines(row.text, range);
        EXPECT_EQ(range, row.out) << row.text << " at " << row.in.location;
    }
}

TEST(BetterString, WithoutSpecialCharactersKeepsLength)
{
    const QString text = QString::fromUtf8("a\tb\nÉ~ \x7f") + QChar(0xD83D) + QChar(0xDE00);
    EXPECT_EQ(stringWithoutSpecialCharacters(text), QStringLiteral("a?b??~ ???"));
}

TEST(BetterString, Splitting)
{
    const struct { const char *text, *separators; QStringList split, glued; } rows[] = {
        {"a,,b,", ",", {"a", "", "b", ""}, {"a", "", "b", ""}},
        {"", ",", {""}, {""}},
        {"a = b c", " ", {"a", "=", "b", "c"}, {"a=b", "c"}},
        {"a =", " ", {"a", "="}, {"a="}},
        {"x = == y", " ", {"x", "=", "==", "y"}, {"x===", "y"}},
        {"= a", " ", {"=", "a"}, {"=", "a"}},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(myComponentsSeparatedByCharactersInSet(row.text, row.separators), row.split) << row.text;
        EXPECT_EQ(componentsSeparatedByCharactersInSetNotBySet(row.text, row.separators, "="), row.glued) << row.text;
    }
}

TEST(BetterString, AppendToFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    appendToFile(QStringLiteral("first\n"), path);
    appendToFile(QString::fromUtf8("ä\n"), path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("first\n\xc3\xa4\n"));
    appendToFile(QStringLiteral("x"), dir.filePath(QStringLiteral("missing/log.txt")));  // silently nothing
}
