#include "RowComparators.h"
#include "UidFactory.h"

#include <QDateTime>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

struct TestColumn : ColumnRef {
    QString uid() const override { return QStringLiteral("c"); }
    QString displayName() const override { return QStringLiteral("C"); }
};

struct TestRow : RowRef {
    TestRow(QString id, QVariant value) : id(std::move(id)), value(std::move(value)) {}
    QString uid() const override { return id; }
    bool staticData() const override { return true; }
    QVariant dataForColumn(const ColumnRef &) const override { return value; }
    QString id;
    QVariant value;
};

int sign(int value)
{
    return value < 0 ? -1 : value > 0 ? 1 : 0;
}

} // namespace

TEST(Uid, ShapeTimePartAndCollisions)
{
    // Outside check of the shape, independent of isWellFormedUid.
    const QRegularExpression shape(QStringLiteral("^par-[0-9]{9}[A-Za-z0-9]{32}$"));
    StringSet set;
    const QString uid = createNewUidWithPrefix(set, UidPrefix::Row);
    EXPECT_EQ(uid.size(), 45);
    EXPECT_TRUE(shape.match(uid).hasMatch()) << uid.toStdString();
    EXPECT_TRUE(set.contains(uid));

    // Hundredths of a second, low 32 bits, modulo 10^9, zero-padded.
    const qint64 at = 1'712'345'678'901; // 171234567890 hundredths
    const quint32 low = quint32(quint64(at / 10));
    QRandomGenerator seeded(7);
    const QString timed = createNewUidWithPrefix(set, UidPrefix::Table, at, seeded);
    EXPECT_EQ(timed.mid(4, 9), QStringLiteral("%1").arg(low % 1'000'000'000u, 9, 10, QLatin1Char('0')));
    StringSet early;
    QRandomGenerator any(1);
    EXPECT_EQ(createNewUidWithPrefix(early, UidPrefix::Table, 20, any).mid(4, 9), "000000002");

    // The same time and the same draws: the second call meets its first
    // candidate in the set and draws again.
    QRandomGenerator again(7);
    const QString redrawn = createNewUidWithPrefix(set, UidPrefix::Table, at, again);
    EXPECT_NE(redrawn, timed);
    EXPECT_EQ(redrawn.left(13), timed.left(13));
    EXPECT_EQ(set.size(), 3);

    const struct { const char *text; bool ok; } cases[] = {
        {"tbl-123456789abcdefghijklmnopqrstuvwxyzABCDEF", true},
        {"tbl-12345678Xabcdefghijklmnopqrstuvwxyz0123456", false}, // letter in the time part
        {"tbl-123456789abcdefghijklmnopqrstuvwxyzABCDE", false},  // one short
        {"tbl-123456789abcdefghijklmnopqrstuvwxyzABCDEFG", false}, // one long
        {"tbl-123456789abcdefghijklmnopqrstuvwxyzABCD/.", false},
        {"par-123456789abcdefghijklmnopqrstuvwxyzABCDEF", false},  // other prefix
        {"../123456789abcdefghijklmnopqrstuvwxyzABCDEF", false},
        {"tbl-١٢٣٤٥٦٧٨٩abcdefghijklmnopqrstuvwxyzABCDEF", false}, // digits, but not ASCII ones
        {"", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(isWellFormedUid(QString::fromUtf8(c.text), UidPrefix::Table), c.ok) << c.text;
}

TEST(RowOrder, TextComparison)
{
    const struct { const char *a, *b; int expected; } cases[] = {
        {"x2", "x10", -1},
        {"X2", "x10", -1},
        {"abc", "ABD", -1},
        {"user10@x.org", "user010@x.org", 1}, // equal by value: the raw text decides, never equal
        {"a", "a", 0},
        {"A", "a", -1},
        {"", "a", -1},
        {"a1b2", "a1b10", -1},
        {"99999999999999999999999", "100000000000000000000000", -1}, // past 64 bits
        {"a-1", "a1", -1},   // "-" sorts before the digits
        {"a:", "a9", 1},     // ":" after them
    };
    for (const auto &c : cases) {
        const QString a = QString::fromUtf8(c.a), b = QString::fromUtf8(c.b);
        EXPECT_EQ(sign(compareTextNaturally(a, b)), c.expected) << c.a << " vs " << c.b;
        EXPECT_EQ(sign(compareTextNaturally(b, a)), -c.expected) << c.b << " vs " << c.a;
    }
}

// std::sort is undefined on an order that is not strict weak; check the
// laws directly on values of every kind a row may hold.
TEST(RowOrder, MixedKindsGiveAStrictWeakOrder)
{
    const QList<QVariant> values = {
        QVariant(), QString(), QStringLiteral(""), QStringLiteral("10"), QStringLiteral("010"),
        QStringLiteral("9"), QStringLiteral("a"), QStringLiteral("A"), QStringLiteral("a10b"), QStringLiteral("a9c"),
        qint64(10), qint64(-3), 2.5, true, false, QDateTime::fromMSecsSinceEpoch(0, Qt::UTC),
        QByteArray("bytes"), QVariantList{1, 2}, QVariantMap{{"k", "v"}}, QStringLiteral("éclair"), QStringLiteral("Eclair"),
    };
    for (const QVariant &x : values) {
        EXPECT_EQ(compareSortValues(x, x), 0);
        for (const QVariant &y : values) {
            const int xy = sign(compareSortValues(x, y));
            EXPECT_EQ(xy, -sign(compareSortValues(y, x)));
            for (const QVariant &z : values) {
                const int yz = sign(compareSortValues(y, z));
                if (xy <= 0 && yz <= 0) {
                    EXPECT_LE(compareSortValues(x, z), 0) << x.toString().toStdString() << " " << y.toString().toStdString()
                                                         << " " << z.toString().toStdString();
                }
            }
        }
    }
}

TEST(RowOrder, SortByColumnMissingFirstAscendingLastDescendingAndStable)
{
    TestColumn column;
    QList<std::shared_ptr<TestRow>> rows = {
        std::make_shared<TestRow>("r10", "item10"), std::make_shared<TestRow>("none", QVariant()),
        std::make_shared<TestRow>("empty", ""), std::make_shared<TestRow>("R2", "Item2"),
        std::make_shared<TestRow>("r2", "item2"), std::make_shared<TestRow>("R2bis", "Item2"),
    };
    const auto ids = [&] {
        QStringList out;
        for (const auto &row : rows)
            out << row->uid();
        return out;
    };
    sortRowsByColumn(rows, column, true);
    EXPECT_EQ(ids(), QStringList({"none", "empty", "R2", "R2bis", "r2", "r10"}));
    sortRowsByColumn(rows, column, false);
    EXPECT_EQ(ids(), QStringList({"r10", "r2", "R2", "R2bis", "empty", "none"}));
    EXPECT_LT(compareArrayDatabaseRows(*rows[5], *rows[0], column), 0);
    EXPECT_GT(compareArrayDatabaseRowsInverse(*rows[5], *rows[0], column), 0);
}
