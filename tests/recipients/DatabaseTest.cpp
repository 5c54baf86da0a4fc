#include "Database.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"

#include <gtest/gtest.h>

using Map = QVariantMap;

TEST(Database, NewTableAndFieldSlots)
{
    Database db;
    db.addEmptyEntry(-1);
    EXPECT_TRUE(db.fieldNames().isEmpty() && db.addressForEntry(0).isNull());
    EXPECT_EQ(db.columnCount(), 75);
    EXPECT_EQ(db.fieldIndexForName(QStringLiteral("")), -1);

    for (const char *name : {"First", "Second", "Third"})
        db.addField(name);
    db.removeColumn("1");
    EXPECT_EQ(db.addField("Fourth"), "1");
    db.changeFieldNameTo("Tenth", "10"); // "10" sorts before "2" as text, not as a slot
    EXPECT_EQ(db.fieldNames(), QStringList({"First", "Fourth", "Third", "Tenth"}));
    EXPECT_EQ(db.fieldIndexForName("Third"), 2);
    EXPECT_EQ(db.columnIDForFieldIndex(3), "10");
    for (int bad : {-1, 4})
        EXPECT_TRUE(db.fieldNameAtIndex(bad).isNull() && db.columnIDForFieldIndex(bad).isNull());

    const struct { QString id; int slot; } ids[] = {{"0", 0}, {"12", 12}, {" 7", 7}, {"abc", -1}, {"", -1}, {"00", -1}, {"-5", -1}};
    for (const auto &c : ids)
        EXPECT_EQ(Database::columnIndexFromIdentifier(c.id), c.slot) << c.id.toStdString();
}

TEST(Database, NotificationsAndNonSlotIdentifiers)
{
    Database db;
    db.addEntryWithDict(-1, {{"active", false}, {"05", "x"}});
    struct Event { QString name; Map info; QStringList fields; Database::ColumnMap mapping; };
    QList<Event> seen;
    const auto observation = NotificationCenter::defaultCenter().addObserver({}, &db, [&](const Notification &n) {
        seen.append({n.name, n.userInfo, db.fieldNames(), db.fieldNameColumnIDMapping()});
    });
    for (const QString id : {"active", "lastSent", "05", "-1", "", "10000"}) {
        db.changeFieldNameTo("Name", id);
        db.removeColumn(id);
    }
    EXPECT_TRUE(seen.isEmpty());
    EXPECT_EQ(*db.entryArray().first(), (Map{{"active", false}, {"05", "x"}}));

    db.changeFieldNameTo("Mail", "4");
    db.changeFieldNameTo("Email", "4");
    db.setAddressFieldNo(4);
    db.removeColumn("4");
    db.changeFieldNameTo(QString(), "4");
    const QString changed = NotificationNames::DatabaseFieldNamesChanged;
    const QList<std::pair<QString, Map>> expected = {
        {changed, {{"newName", "Mail"}}}, {changed, {{"oldName", "Mail"}, {"newName", "Email"}}},
        {changed, {{"oldName", "Email"}, {"newName", ""}}}, {NotificationNames::DatabaseUpdated, {}},
        {changed, {{"oldName", ""}}}};
    ASSERT_EQ(seen.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(seen[i].name == expected[i].first && seen[i].info == expected[i].second) << i;
    EXPECT_EQ(seen[1].fields, QStringList{"Email"});
    EXPECT_EQ(seen[1].mapping, (Database::ColumnMap{{"Mail", "4"}}));
    EXPECT_TRUE(db.fieldNameColumnIDMapping().isEmpty());
    // Kept, the removed address slot would claim the next added field.
    EXPECT_EQ(db.addressFieldNo(), -1);
}

TEST(Database, EntryIndexesAndActiveFlags)
{
    Database db;
    db.addEntryWithData(-1, {"a0", "b0"});
    db.addEntryWithData(7, {"a1"});
    db.addEntryWithDict(0, {{"0", "first"}});
    EXPECT_EQ(QStringList({db.entryValue(0, "0"), db.entryValue(1, "1"), db.entryValue(2, "0")}),
              QStringList({"first", "b0", "a1"}));
    db.setAddressFieldNo(0);
    for (int bad : {-1, 3}) {
        EXPECT_TRUE(db.entryValue(bad, "0").isNull() && db.addressForEntry(bad).isNull());
        EXPECT_FALSE(db.isEntryActive(bad) || db.lastSentDate(bad).isValid());
        db.setEntryState(bad, false);
        db.setLastSentDate(bad);
        db.removeEntry(bad);
        db.cloneEntry(bad);
    }
    EXPECT_EQ(db.entryCount(), 3);

    const struct { QVariant stored; bool active; } flags[] = {
        {QVariant(), true}, {false, false}, {true, true}, {"No", false}, {"0", false}, {"Yes", true}, {1, true}};
    for (const auto &c : flags)
        EXPECT_EQ(Database::entryActiveFlag(c.stored.isValid() ? Map{{"active", c.stored}} : Map{}), c.active)
            << c.stored.toString().toStdString();
}

TEST(Database, EntriesAreSharedWithCopiesOfTheList)
{
    Database db;
    for (const char *value : {"0", "1", "2"})
        db.addEntryWithData(-1, {value});
    db.setEntryState(0, false);
    db.setLastSentDate(0);
    db.cloneEntry(0);
    ASSERT_EQ(db.entryCount(), 4);
    EXPECT_EQ(*db.entryArray()[3], (Map{{"0", "0"}, {"active", false}}));

    const Database::EntryList undo = db.entryArray();
    db.removeEntry(3);
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(1'700'000'000'123);
    db.setLastSentDate(1, when);
    db.setEntryArray(undo);
    EXPECT_EQ(db.entryCount(), 4);
    EXPECT_EQ(db.lastSentDate(1), when);
    // The same entry objects: a stamp written through a list kept
    // elsewhere (a send run's) reaches the table's entry after the removal.
    db.removeColumn("0");
    EXPECT_TRUE(db.entryValue(1, "0").isNull());
    EXPECT_EQ(undo[1], db.entryArray()[1]);
}

TEST(Database, MappedAppendTakesOnlyStringsOfMappedSlots)
{
    Database db;
    db.addField("Email");
    const auto mapping = db.createRequiredFieldNames({{"0", "Name"}, {"1", "Email"}, {"80", "Extra"}, {"2", 5}, {"x", "X"}});
    EXPECT_EQ(mapping, (Database::ColumnMap{{"0", "1"}, {"1", "0"}, {"80", "2"}}));
    EXPECT_EQ(db.fieldNames(), QStringList({"Email", "Name", "Extra"}));
    db.appendEntryArray({Map{{"0", "Ann"}, {"1", "a@x"}, {"80", "e"}, {"2", "z"}, {"active", false},
                             {"lastSent", QDateTime::currentDateTime()}},
                         "not an entry", Map{{"0", 42}, {"1", QVariantList{"a"}}}},
                        mapping);
    ASSERT_EQ(db.entryCount(), 2);
    EXPECT_EQ(*db.entryArray()[0], (Map{{"1", "Ann"}, {"0", "a@x"}, {"2", "e"}}));
    EXPECT_EQ(*db.entryArray()[1], Map{});
}

TEST(Database, EntriesKeepEveryKeyAndTypeOfTheirStoredForm)
{
    const QVariantMap stored{{"0", "Ann"}, {"2", QString()}, {"10", ""}, {"05", "five"}, {"3", 7},
                             {"4", QByteArray("raw")}, {"9999", "last"}, {"10000", "past"}, {"active", false}};
    Database db;
    db.addEntryWithDict(-1, stored);
    const Database::Entry &entry = *db.entryArray().first();
    EXPECT_EQ(entry.toMap(), stored);
    EXPECT_EQ(entry.size(), stored.size());
    EXPECT_TRUE(entry.contains("2") && entry.value("2").isValid() && entry.value("2").toString().isNull());
    EXPECT_FALSE(entry.contains("5") || entry.contains("00") || entry.value("1").isValid());
    EXPECT_EQ(entry.value("3"), QVariant(7));
    EXPECT_EQ(entry.value("4").typeId(), QMetaType::QByteArray);

    // A key changes its kind of value both ways and is never held twice.
    Database::Entry copy = entry;
    copy.insert("3", "seven");
    copy.insert("0", 1);
    copy.remove("05");
    copy.remove("10000");
    EXPECT_EQ(copy.toMap(), (Map{{"0", 1}, {"2", QString()}, {"10", ""}, {"3", "seven"}, {"4", QByteArray("raw")},
                                 {"9999", "last"}, {"active", false}}));
    EXPECT_EQ(copy.size(), 7);
    EXPECT_EQ(*db.entryArray().first(), stored); // the copy's changes stay its own
    EXPECT_FALSE(copy == entry);
    copy = Database::Entry(stored);
    EXPECT_TRUE(copy == entry);

    // Renames and removed columns of other slots leave the values alone.
    db.changeFieldNameTo("Name", "0");
    db.changeFieldNameTo("Other", "0");
    db.removeColumn("10");
    EXPECT_EQ(db.entryValue(0, "0"), "Ann");
    EXPECT_FALSE(db.entryArray().first()->contains("10"));
    EXPECT_EQ(db.fileData().value(Database::AddressArrayKey).toList().value(1).toMap().value("9999"), "last");
}

TEST(Database, ColumnsWithoutNameNeverShareASlot)
{
    Database db;
    EXPECT_EQ(db.addField(""), "0");
    db.addEntryWithData(-1, {"first column"});
    db.addEntryWithDict(-1, {{"1", "hidden"}, {"76", "beyond the slots"}});
    // Slot 0 is free by name but holds values, slot 1 holds values unnamed.
    EXPECT_EQ(db.addField("E-Mail"), "2");
    EXPECT_EQ(db.entryValue(0, "0"), "first column");
    for (int slot = 3; slot < 75; ++slot)
        db.addField(QString::number(slot));
    EXPECT_EQ(db.addField("Next"), "75");
    EXPECT_EQ(db.addField("After the values"), "77");
    EXPECT_EQ(db.columnCount(), 78);

    // A title row: an empty title is named after its column, and a long row
    // makes its columns visible at once.
    Database titled;
    QStringList titles{"Email", "", "Name"};
    for (int i = 3; i < 100; ++i)
        titles.append(QStringLiteral("Title %1").arg(i));
    titled.setFieldNamesFromArray(titles);
    EXPECT_EQ(titled.fieldCount(), 100);
    EXPECT_EQ(titled.fieldNames().mid(0, 3), QStringList({"Email", "2", "Name"}));
    EXPECT_EQ(titled.addField("New"), "100");

    Database imported;
    const auto mapping = imported.createRequiredFieldNames({{"0", ""}, {"1", "Email"}, {"4", ""}});
    EXPECT_EQ(mapping, (Database::ColumnMap{{"0", "0"}, {"1", "1"}, {"4", "2"}}));
    EXPECT_EQ(imported.fieldNames(), QStringList({"1", "Email", "5"}));
    // Slot order, not the identifiers' text order ("10" before "2").
    EXPECT_EQ(imported.createRequiredFieldNames({{"10", "Tenth"}, {"2", "Second"}}),
              (Database::ColumnMap{{"2", "3"}, {"10", "4"}}));
    // A field takes one old column: the exact name first, then one other
    // spelling; the rest get fields of their own under names no field has.
    EXPECT_EQ(imported.createRequiredFieldNames({{"0", "EMAIL"}, {"1", "email"}, {"2", "Email"}, {"3", "Email"}}),
              (Database::ColumnMap{{"0", "5"}, {"1", "6"}, {"2", "1"}, {"3", "7"}}));
    EXPECT_EQ(imported.fieldNames().mid(5), QStringList({"EMAIL", "email", "Email 2"}));
}

TEST(Database, NameMappingFollowsEveryChangeAsARebuildWould)
{
    Database db;
    // Duplicates ("10" comes after "1" and before "2" as text), renames,
    // removals and a rename back; after each step the kept mapping must be
    // the one a rebuild from the names gives.
    const struct { QString id; QString name; } steps[] = {
        {"1", "Mail"}, {"2", "Mail"}, {"10", "Mail"}, {"2", "Name"}, {"1", ""}, {"10", QString()},
        {"3", "Mail"}, {"3", "Mail"}, {"2", "Mail"}, {"2", QString()}, {"3", "City"}};
    for (const auto &step : steps) {
        db.changeFieldNameTo(step.name, step.id);
        const Database::ColumnMap kept = db.fieldNameColumnIDMapping();
        db.refreshFieldNameColumnIDMapping();
        EXPECT_EQ(kept, db.fieldNameColumnIDMapping()) << step.id.toStdString() << " " << step.name.toStdString();
    }

    // A table as wide as slots allow, built field by field and all at once.
    QStringList names;
    for (int i = 0; i < Database::MaxColumnCount; ++i)
        names.append(QStringLiteral("Column %1").arg(i % 5000)); // every name twice
    Database wide;
    wide.addEntryWithDict(-1, {{"0", "a value in the first slot"}});
    const QStringList ids = wide.addFields(names);
    ASSERT_EQ(ids.size(), names.size());
    EXPECT_EQ(ids.first(), "1");
    EXPECT_EQ(ids[Database::MaxColumnCount - 2], QString::number(Database::MaxColumnCount - 1));
    EXPECT_TRUE(ids.last().isNull()) << "no slot left";
    EXPECT_TRUE(wide.addField("One more").isNull());
    EXPECT_EQ(wide.fieldCount(), Database::MaxColumnCount - 1);
    EXPECT_EQ(wide.fieldNameColumnIDMapping().value("Column 7"), "8") << "\"8\" comes after \"5008\" as text";
    const Database::ColumnMap kept = wide.fieldNameColumnIDMapping();
    wide.refreshFieldNameColumnIDMapping();
    EXPECT_EQ(kept, wide.fieldNameColumnIDMapping());

    Database oneByOne;
    for (const QString &name : names.mid(0, 500))
        oneByOne.addField(name);
    EXPECT_EQ(oneByOne.fieldNames(), names.mid(0, 500));
}
