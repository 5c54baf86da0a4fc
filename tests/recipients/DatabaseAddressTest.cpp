#include "Database.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

// One entry of a case: the address (none when the entry has no value) and
// the active flag.
struct Row {
    std::optional<QString> address;
    bool active = true;
    friend bool operator==(const Row &, const Row &) = default;
};

Row inactive(const char *address)
{
    return {QString::fromUtf8(address), false};
}

std::string show(const QList<Row> &rows)
{
    std::string out;
    for (const Row &row : rows)
        out += (row.address ? "<" + row.address->toStdString() + ">" : "none") + (row.active ? "" : " off") + "; ";
    return out;
}

// A table with the address in slot 2 and a name in slot 0.
void fill(Database &db, const QList<Row> &rows)
{
    db.setAddressFieldNo(2);
    for (const Row &row : rows) {
        QVariantMap entry{{"0", "name"}};
        if (row.address)
            entry.insert("2", *row.address);
        if (!row.active)
            entry.insert("active", false);
        db.addEntryWithDict(-1, entry);
    }
}

QList<Row> rowsOf(const Database &db)
{
    QList<Row> rows;
    for (const Database::EntryRef &entry : db.entryArray()) {
        const QVariant value = entry->value("2");
        rows.append({value.isValid() ? std::optional<QString>(value.toString()) : std::nullopt,
                     Database::entryActiveFlag(*entry)});
    }
    return rows;
}

} // namespace

TEST(DatabaseAddress, CleanUpAndDuplicates)
{
    enum Operation { Syntax, Doublettes };
    const struct {
        const char *what;
        Operation operation;
        QList<Row> before;
        QList<Row> after;
        int result;
    } cases[] = {
        {"blanks and commas go, the address stays active", Syntax,
         {{" ann@x.org, "}, {"bo\r\nb@x.org"}, {"cy@x.org"}}, {{"ann@x.org"}, {"bob@x.org"}, {"cy@x.org"}}, 2},
        {"no at sign or two: switched off, written back as they are", Syntax,
         {{"nobody"}, {"a@b@x.org"}, inactive("off@x.org")}, {inactive("nobody"), inactive("a@b@x.org"), inactive("off@x.org")}, 2},
        {"nothing to change", Syntax, {{"a@x.org"}, {"b@x.org"}}, {{"a@x.org"}, {"b@x.org"}}, 0},
        {"no address: off, and no value made up", Syntax, {{std::nullopt}, {"a@x.org"}}, {{std::nullopt, false}, {"a@x.org"}}, 1},
        {"one address in three cases: the first stays", Doublettes,
         {{"Ann@X.org"}, {"b@x.org"}, {"ann@x.org"}, {"ANN@x.ORG"}},
         {{"Ann@X.org"}, {"b@x.org"}, inactive("ann@x.org"), inactive("ANN@x.ORG")}, 2},
        {"an inactive entry shadows nothing", Doublettes, {inactive("a@x.org"), {"A@x.org"}}, {inactive("a@x.org"), {"A@x.org"}}, 0},
        {"numbers are compared as written", Doublettes,
         {{"user10@x.org"}, {"user010@x.org"}, {"user9@x.org"}, {"User10@x.org"}},
         {{"user10@x.org"}, {"user010@x.org"}, {"user9@x.org"}, inactive("User10@x.org")}, 1},
        {"letter case beyond ASCII", Doublettes, {{"MÜLLER@x.de"}, {"müller@x.de"}, {"muller@x.de"}},
         {{"MÜLLER@x.de"}, inactive("müller@x.de"), {"muller@x.de"}}, 1},
        {"blanks are not trimmed here", Doublettes, {{"a@x.org"}, {" a@x.org"}}, {{"a@x.org"}, {" a@x.org"}}, 0},
        {"of the entries without address one stays", Doublettes,
         {{std::nullopt}, {""}, {std::nullopt}, {""}}, {{std::nullopt}, {""}, {std::nullopt, false}, inactive("")}, 2},
    };
    for (const auto &c : cases) {
        Database db;
        fill(db, c.before);
        int posted = 0;
        const auto observation = NotificationCenter::defaultCenter().addObserver(
            NotificationNames::DatabaseUpdated, &db, [&](const Notification &) { ++posted; });
        const int result = c.operation == Syntax ? db.checkEMailAddressSyntax() : db.disableDoublettes();
        EXPECT_EQ(rowsOf(db), c.after) << c.what << ": " << show(rowsOf(db));
        if (c.operation == Doublettes) {
            EXPECT_EQ(result, c.result) << c.what;
        }
        EXPECT_EQ(posted, c.result > 0 ? 1 : 0) << c.what;
    }

    Database none;
    fill(none, {{"a@x.org"}, {"a@x.org"}});
    none.setAddressFieldNo(-1);
    EXPECT_EQ(none.disableDoublettes(), 0);
    EXPECT_EQ(none.checkEMailAddressSyntax(), 0);

    const Database::Entry missing, lower(QVariantMap{{"2", "ann@x.org"}}), upper(QVariantMap{{"2", "ANN@x.org"}}),
        other(QVariantMap{{"2", "ann1@x.org"}});
    EXPECT_EQ(compareEMailAddresses(lower, upper, "2"), 0);
    EXPECT_EQ(compareEMailAddresses(missing, lower, "2"), -1);
    EXPECT_EQ(compareEMailAddresses(lower, missing, "2"), 1);
    EXPECT_EQ(compareEMailAddresses(missing, missing, "2"), 0);
    EXPECT_EQ(compareEMailAddresses(upper, other, "2"), -compareEMailAddresses(other, lower, "2"));
}

TEST(DatabaseAddress, SearchGoesOneWayWithoutWrappingAround)
{
    Database db;
    db.addEntryWithDict(-1, {{"0", "Ann"}, {"1", "ann@x.org"}});
    db.addEntryWithDict(-1, {{"0", "Bob"}, {"74", "hidden NOTE"}, {"active", true}});
    db.addEntryWithDict(-1, {{"0", "Ann-Marie"}, {"lastSent", QDateTime::currentDateTime()}});
    const struct {
        QString text;
        int start;
        int step;
        int found;
    } cases[] = {
        {"ann", 0, 1, 0},  {"ann", 1, 1, 2},   {"ANN", 2, -1, 2}, {"bob", 2, -1, 1},
        {"note", 0, 1, 1}, // values of unnamed slots count
        {"true", 0, 1, -1}, {"20", 0, 1, -1}, // flags and dates are no text
        {"bob", 2, 1, -1},  {"ann", 3, 1, -1}, {"bob", 0, -1, -1}, {"ann", -1, 1, -1}, {"ann", 0, 0, -1},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(db.findNextOccurenceOf(c.text, c.start, c.step), c.found)
            << c.text.toStdString() << " from " << c.start << " step " << c.step;
    }
    EXPECT_EQ(db.findNextOccurenceOf("ann", 1), 2);
    EXPECT_EQ(db.findPrevOccurenceOf("ann", 1), 0);
}
