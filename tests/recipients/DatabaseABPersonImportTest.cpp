#include "Database.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"

#include <gtest/gtest.h>

namespace {

QByteArray card(const QByteArray &lastName, const QByteArray &emails)
{
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + lastName + ";;;;\r\n" + emails + "END:VCARD\r\n";
}

// The entry as "field name=value" lines, "0" shown as the address.
QStringList fields(const Database &db, int index)
{
    QStringList lines;
    const QVariantMap entry = db.entryArray().at(index)->toMap();
    for (auto it = entry.constBegin(); it != entry.constEnd(); ++it)
        lines.append(db.fieldNameForColumnID(it.key()) + u'=' + it.value().toString());
    lines.sort();
    return lines;
}

} // namespace

TEST(DatabaseABPersonImport, EntriesFromCardsInFileOrderAtTheIndex)
{
    Database db;
    db.setupFieldNamesForABImport();
    EXPECT_EQ(db.fieldNames(), QStringList({"Email", "First name", "Last name"}));
    EXPECT_EQ(db.addressFieldNo(), 0);
    db.addEntryWithData(-1, {"top@x"});
    db.addEntryWithData(-1, {"bottom@x"});

    const QByteArray data = card("A", "EMAIL;TYPE=home:a@home\r\nEMAIL;TYPE=work,pref:a@work\r\n") +
                            "BEGIN:VCARD\r\nVERSION:3.0\r\nKIND:group\r\nFN:Team\r\nEND:VCARD\r\n" +
                            card("B", "") + card("C", "ADR;TYPE=home:;;Main St 1;Town;;12345;\r\n") +
                            "BEGIN:VCARD\r\nN:Cut;;;;\r\n";
    const VCardImportSummary summary = db.addEntries(1, data);
    EXPECT_EQ(summary.addedEntries, 3);
    EXPECT_EQ(summary.skippedCards, 1);
    QStringList addresses;
    for (int i = 0; i < db.entryCount(); ++i)
        addresses.append(db.addressForEntry(i));
    EXPECT_EQ(addresses, QStringList({"top@x", "a@work", "", "", "bottom@x"}));
    EXPECT_EQ(fields(db, 1), QStringList({"Email (home)=a@home", "Email (work)=a@work", "Email=a@work", "Last name=A"}));
    EXPECT_EQ(fields(db, 3), QStringList({"Address (home) (City)=Town", "Address (home) (Street)=Main St 1",
                                          "Address (home) (ZIP)=12345", "Email=", "Last name=C"}));

    // Again, at the end: the same fields serve.
    const QStringList before = db.fieldNames();
    db.addEntries(-1, data);
    EXPECT_EQ(db.fieldNames(), before);
    EXPECT_EQ(db.entryCount(), 8);
    EXPECT_EQ(db.addressForEntry(5), "a@work");
}

TEST(DatabaseABPersonImport, CollatedAddressesAndGroups)
{
    const VCardReadResult read = VCard::personsFromVCard(
        card("A", "EMAIL:first@x\r\nEMAIL;PREF=1:second@x\r\n") + card("NoMail", "") +
        "BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:group\r\nFN:Club\r\nEND:VCARD\r\n");
    ASSERT_EQ(read.persons.size(), 2);
    const Person &group = read.groups.at(0);
    struct Case {
        const Person *group;
        bool collate;
        QString address;
    };
    const Case cases[] = {{nullptr, true, "first@x, second@x"}, {nullptr, false, "second@x"}, {&group, false, "second@x"}};
    for (const Case &c : cases) {
        Database db;
        db.setupFieldNamesForABImport();
        db.addEntry(-1, read.persons.at(0), c.group, c.collate);
        db.addEntry(0, read.persons.at(1), c.group, c.collate);
        EXPECT_EQ(db.addressForEntry(1), c.address);
        EXPECT_EQ(db.entryValue(0, "0"), "");
        EXPECT_EQ(db.fieldIndexForName("Group") >= 0, c.group != nullptr);
        if (c.group) {
            EXPECT_EQ(db.entryValue(1, db.columnIDForFieldIndex(db.fieldIndexForName("Group"))), "Club");
        }
    }
}

// Without the prepared names, slot 0 would go to the first labelled field
// and show one person's primary address under another's "work" heading.
TEST(DatabaseABPersonImport, UnnamedAddressSlotIsNamedBeforeOtherFieldsAreMade)
{
    Database db;
    QStringList made;
    const auto observation = NotificationCenter::defaultCenter().addObserver(
        NotificationNames::DatabaseFieldNamesChanged, &db,
        [&](const Notification &n) { made.append(n.userInfo.value(NotificationNames::DatabaseNewNameKey).toString()); });
    db.addEntries(-1, card("A", "EMAIL;TYPE=home:a@home\r\n") + card("B", "EMAIL;TYPE=work:b@work\r\n"));
    EXPECT_EQ(db.fieldNameForColumnID("0"), "Email");
    EXPECT_EQ(made, QStringList({"Email", "Email (home)", "Last name", "Email (work)"}));
    EXPECT_EQ(fields(db, 0), QStringList({"Email (home)=a@home", "Email=a@home", "Last name=A"}));
}

// A hostile card with twenty thousand labels, and a table with no free slot.
TEST(DatabaseABPersonImport, FieldsMadeByOneImportAreBounded)
{
    QByteArray labels;
    for (int i = 0; i < 20000; ++i)
        labels += "item" + QByteArray::number(i) + ".EMAIL:m" + QByteArray::number(i) + "@x\r\nitem" +
                  QByteArray::number(i) + ".X-ABLabel:L" + QByteArray::number(i) + "\r\n";
    Database db;
    const VCardImportSummary summary = db.addEntries(-1, card("Many", labels));
    EXPECT_EQ(summary.addedEntries, 1);
    // Slot 0 is named apart from the budget; the last name finds none left.
    EXPECT_EQ(db.fieldCount(), 1 + Database::MaxNewFieldsPerContactImport);
    EXPECT_EQ(summary.droppedValues, 20000 + 1 - Database::MaxNewFieldsPerContactImport);

    QVariantMap names;
    for (int slot = 0; slot < Database::MaxColumnCount; ++slot)
        names.insert(Database::columnIdentifier(slot), QStringLiteral("f%1").arg(slot));
    Database full;
    full.readFileData({{Database::AddressArrayKey, QVariantList{names}}});
    QVariantMap entry;
    full.addPropertyValue("v", "New field", entry);
    full.addMultiStringProperty({{{"work", "w@x", {}}}, 0}, "Email", entry);
    EXPECT_TRUE(entry.isEmpty());
}
