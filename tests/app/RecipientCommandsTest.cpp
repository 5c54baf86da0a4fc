// The recipient commands without widgets: one undo step per change that
// restores entries, values and fields exactly, nothing while a send run is
// active, imports that never relabel what a table holds, the export.

#include "RecipientCommands.h"

#include "AddressBookSnapshot.h"
#include "BlacklistManager.h"
#include "CSVReader.h"
#include "Database.h"
#include "Person.h"

#include "AttributedTagString.h"
#include "ConditionTag.h"
#include "KeyedArchiver.h"
#include "MessageTab.h"
#include "SimpleTag.h"
#include "TagPasteboard.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <random>
#include <set>


namespace {

QByteArray card(const QByteArray &uid, const QByteArray &first, const QByteArray &last, const QByteArray &email,
                const QByteArray &extra = {})
{
    return "BEGIN:VCARD\r\nVERSION:4.0\r\nUID:" + uid + "\r\nFN:" + first + " " + last + "\r\nN:" + last + ";"
           + first + ";;;\r\nEMAIL:" + email + "\r\n" + extra + "END:VCARD\r\n";
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Five recipients under "e-mail" (the address column), "name" and "city".
void fillTable(Database &db)
{
    db.changeFieldNameTo("e-mail", "0");
    db.changeFieldNameTo("name", "1");
    db.changeFieldNameTo("city", "2");
    db.setAddressFieldNo(0);
    db.addEntryWithData(-1, {" ann@example.org,", "Ann", "Oslo"});
    db.addEntryWithData(-1, {"bob@example.org", "bob", "Bergen"});
    db.addEntryWithData(-1, {"ANN@example.org", "Cid", "Oslo"});
    db.addEntryWithData(-1, {"dan@example.org", "Dan 10", "Trondheim"});
    db.addEntryWithData(-1, {"eve@example.org", "Dan 9", ""});
}

// The values of a column, row by row, joined by "|".
std::string columnValues(const Database &db, const QString &columnID)
{
    QStringList values;
    for (int row = 0; row < db.entryCount(); ++row)
        values << db.entryValue(row, columnID);
    return values.join(u'|').toStdString();
}

// What a step must restore: which entries in which order (their identity),
// what each holds, the fields and the address column.
struct TableState {
    QList<const Database::Entry *> entries;
    QList<QVariantMap> values;
    QStringList slotNames;
    int addressSlot = -1;
    friend bool operator==(const TableState &, const TableState &) = default;
};

TableState stateOf(const Database &db)
{
    TableState state;
    for (const Database::EntryRef &entry : db.entryArray()) {
        state.entries.append(entry.get());
        state.values.append(entry->toMap());
    }
    for (int slot = 0; slot < db.columnCount(); ++slot)
        state.slotNames.append(db.fieldNameForColumnID(Database::columnIdentifier(slot)));
    state.addressSlot = db.addressFieldNo();
    return state;
}

std::ostream &operator<<(std::ostream &out, const TableState &state)
{
    out << state.entries.size() << " entries, address " << state.addressSlot << ", fields";
    for (const QString &name : state.slotNames) {
        if (!name.isNull())
            out << " '" << name.toStdString() << "'";
    }
    return out;
}

struct Fixtures {
    QTemporaryDir dir;
    QString projectFile, vcardFile;
    std::shared_ptr<const AddressBookSnapshot> contacts;

    Fixtures()
    {
        Database other;
        other.changeFieldNameTo("city", "0");
        other.changeFieldNameTo("e-mail", "1");
        other.addEntryWithData(-1, {"Bodø", "fay@example.org"});
        projectFile = dir.filePath("other.quorv2");
        writeFile(projectFile, KeyedArchiver::archivedDataWithRootObject(QVariantMap{{"Database", other.fileData()}}));
        vcardFile = dir.filePath("cards.vcf");
        writeFile(vcardFile, card("gus", "Gus", "Grey", "gus@example.org") + card("hal", "Hal", "Hill", "hal@example.org"));
        writeFile(dir.filePath("contacts/people.vcf"),
                  card("ivy", "Ivy", "Ide", "ivy@example.org", "CATEGORIES:Friends\r\n")
                      + card("jon", "Jon", "Jay", "jon@example.org"));
        writeFile(dir.filePath("contacts/groups.vcf"),
                  "BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:group\r\nUID:g1\r\nFN:Friends\r\nMEMBER:urn:uuid:jon\r\n"
                  "END:VCARD\r\n");
        contacts = AddressBookSnapshot::read(dir.filePath("contacts"));
    }
};

struct Step {
    const char *name;
    std::function<bool(RecipientCommands &)> run;
    // What the Edit menu says Undo and Redo undo and redo.
    const char *shownName;
};

// Every command that changes the table, in an order in which each changes something.
QList<Step> everyCommand(const Fixtures &files)
{
    return {
        {"add", [](RecipientCommands &c) { return c.addRecipient(1) == 1; }, "Add Recipient"},
        {"remove", [](RecipientCommands &c) { return c.removeRecipients({1, 4}); }, "Remove Recipients"},
        {"duplicate", [](RecipientCommands &c) { return c.duplicateRecipients({0, 2}); }, "Duplicate Recipients"},
        {"sort", [](RecipientCommands &c) { return c.sortByColumn("1"); }, "Sort"},
        {"serial numbers", [](RecipientCommands &c) { return c.addSerialNumbers("2"); }, "Number the Rows"},
        {"switch all off", [](RecipientCommands &c) { return c.filterAll(false) > 0; }, "Switch Off Recipients"},
        {"switch rows on", [](RecipientCommands &c) { return c.filterRows({0, 1, 2}, true) == 3; }, "Switch On Recipients"},
        {"switch on by field",
         [](RecipientCommands &c) {
             return c.filterMatching([](const Database::Entry &e) { return e.value("0").toString().contains("eve"); },
                                     true)
                    > 0;
         },
         "Switch On Recipients"},
        {"switch off blacklisted",
         [](RecipientCommands &c) { return c.filterByBlacklist(BlacklistMatcher({"bob@example.org"}), false) > 0; },
         "Switch Off Recipients"},
        {"clean up addresses", [](RecipientCommands &c) { return c.checkAddressSyntax() > 0; }, "Clean Up Addresses"},
        {"switch off repeated addresses", [](RecipientCommands &c) { return c.disableRepeatedAddresses() > 0; }, "Switch Off Repeated Addresses"},
        {"remove field", [](RecipientCommands &c) { return c.removeField("2", 5); }, "Remove Field “city”"},
        {"delimited text with titles",
         [](RecipientCommands &c) { return c.importRows({{"name", "e-mail"}, {"Kim", "kim@example.org"}}, true) == 1; },
         "Import"},
        {"delimited text", [](RecipientCommands &c) { return c.importRows({{"lou@example.org", "Lou", "Lund", "x"}}, false); }, "Import"},
        {"vCard drop", [](RecipientCommands &c) { return c.importVCardData(card("mia", "Mia", "Moe", "mia@x.org"), 2) == 1; }, "Import"},
        {"vCard files", [&files](RecipientCommands &c) { return c.importVCardFiles({files.vcardFile}) == 2; }, "Import"},
        {"project files", [&files](RecipientCommands &c) { return c.importProjectFiles({files.projectFile}) == 1; }, "Import"},
        {"contacts", [&files](RecipientCommands &c) { return c.importContacts(*files.contacts, {}, false) == 2; }, "Import"},
    };
}

// The commands over a table and a message, wired as the document window
// wires them: renames reach the message's tags, removals take them.
struct Wired {
    Database db;
    QUndoStack stack;
    MessageTab message;
    RecipientCommands commands{&db, &stack};

    Wired()
    {
        message.observeFieldNameChanges(&db);
        commands.setMessage(&message);
        QObject::connect(&commands, &RecipientCommands::tagNameChanged,
                         [this](const QString &from, const QString &to) { message.tagNameChanged(from, to); });
    }
    // A tag of the field at the end of the body.
    void tag(const QString &field)
    {
        RichText body = message.bodyString();
        DoInsertTagInAttributedString(std::make_shared<SimpleTag>(field), body, body.length());
        message.setBodyText(body);
    }
    std::string tags() const { return AttributedTagString::textTagString(message.bodyString()).toStdString(); }
    std::string fields() const { return db.fieldNames().join(u',').toStdString(); }
    std::string under(int row, const QString &field) const
    {
        return db.entryValue(row, db.fieldNameColumnIDMapping().value(field)).toStdString();
    }
};

} // namespace

TEST(RecipientCommands, EveryChangeIsOneUndoStepThatRestoresEntriesValuesAndFields)
{
    const Fixtures files;
    Database db;
    fillTable(db);
    QUndoStack stack;
    RecipientCommands commands(&db, &stack);
    const QList<Step> steps = everyCommand(files);
    QList<TableState> states{stateOf(db)};
    for (const Step &step : steps) {
        ASSERT_TRUE(step.run(commands)) << step.name;
        ASSERT_EQ(stack.count(), states.size()) << step.name;
        EXPECT_EQ(stack.undoText().toStdString(), step.shownName) << step.name;
        states.append(stateOf(db));
        EXPECT_NE(states.last(), states.at(states.size() - 2)) << step.name;
    }
    // All the way back, then forward again: each step undone leaves every
    // later and earlier change as it was.
    for (qsizetype i = steps.size(); i > 0; --i) {
        stack.undo();
        EXPECT_EQ(stateOf(db), states.at(i - 1)) << "undo " << steps.at(i - 1).name;
        EXPECT_EQ(stack.redoText().toStdString(), steps.at(i - 1).shownName);
    }
    EXPECT_TRUE(stack.isClean());
    for (qsizetype i = 0; i < steps.size(); ++i) {
        stack.redo();
        EXPECT_EQ(stateOf(db), states.at(i + 1)) << "redo " << steps.at(i).name;
    }
}

TEST(RecipientCommands, AnUndoKeepsTheStampsAndEditsMadeAfterItsStep)
{
    const Fixtures files;
    Database db;
    fillTable(db);
    QUndoStack stack;
    RecipientCommands commands(&db, &stack);
    // Each recipient carries a mark of its own under a key no command
    // touches, so a recipient is known again in a copy of its entry; a
    // duplicate gets a mark of its own.
    const QString mark = QStringLiteral("test mark");
    int marks = 0;
    QHash<int, QDateTime> stamps;
    QHash<int, QString> names;
    const QList<Step> steps = everyCommand(files);
    for (qsizetype i = 0; i < steps.size(); ++i) {
        ASSERT_TRUE(steps.at(i).run(commands)) << steps.at(i).name;
        // After every step a run stamps every row, as the run controller
        // does, and row 0's name is edited.
        const QDateTime when = QDateTime::fromMSecsSinceEpoch(1'700'000'000'000 + i * 1000);
        QSet<int> seen;
        for (const Database::EntryRef &entry : db.entryArray()) {
            if (!entry->contains(mark) || seen.contains(entry->value(mark).toInt()))
                entry->insert(mark, ++marks);
            seen.insert(entry->value(mark).toInt());
            entry->insert(Database::LastSentKey, when);
            stamps.insert(entry->value(mark).toInt(), when);
        }
        const QString name = QStringLiteral("edited after %1").arg(steps.at(i).name);
        ASSERT_TRUE(commands.editCell(0, "1", name));
        names.insert(db.entryArray().first()->value(mark).toInt(), name);
    }
    for (qsizetype i = steps.size(); i > 0; --i) {
        stack.undo();
        for (const Database::EntryRef &entry : db.entryArray()) {
            const int recipient = entry->value(mark).toInt();
            EXPECT_EQ(entry->value(Database::LastSentKey), stamps.value(recipient)) << "undo " << steps.at(i - 1).name;
            if (names.contains(recipient)) {
                EXPECT_EQ(entry->value("1"), names.value(recipient)) << "undo " << steps.at(i - 1).name;
            }
        }
    }
}

TEST(RecipientCommands, NothingChangesWhileASendRunIsActive)
{
    const Fixtures files;
    Database db;
    fillTable(db);
    QUndoStack stack;
    RecipientCommands commands(&db, &stack);
    commands.setRunActiveQuery([] { return true; });
    const TableState before = stateOf(db);
    QSignalSpy edited(&commands, &RecipientCommands::documentEdited);
    for (const Step &step : everyCommand(files))
        EXPECT_FALSE(step.run(commands)) << step.name;
    EXPECT_FALSE(commands.editCell(0, "1", "Anne"));
    EXPECT_FALSE(commands.editCell(0, "active", false));
    EXPECT_EQ(commands.renameField("1", "full name"), RecipientCommands::Rename::Refused);
    EXPECT_FALSE(commands.setAddressColumn(1));
    EXPECT_FALSE(commands.exportText(files.dir.filePath("out.txt")));
    EXPECT_EQ(stateOf(db), before);
    EXPECT_EQ(stack.count(), 0);
    EXPECT_EQ(edited.count(), 0);
}

TEST(RecipientCommands, CommandsThatChangeNothingLeaveNoStep)
{
    Database db;
    fillTable(db);
    QUndoStack stack;
    RecipientCommands commands(&db, &stack);
    EXPECT_FALSE(commands.sortByColumn("rowIndex")) << "every row compares equal";
    EXPECT_EQ(commands.filterAll(true), 0) << "all are active";
    EXPECT_FALSE(commands.removeField("40", 10)) << "an unnamed slot without values";
    EXPECT_FALSE(commands.removeRecipients({7, -1}));
    ASSERT_TRUE(commands.sortByColumn("1"));
    EXPECT_FALSE(commands.sortByColumn("1")) << "sorted already";
    EXPECT_EQ(stack.count(), 1);
}

TEST(RecipientCommands, SortIsStableWithMissingValuesFirstAndDigitRunsByValue)
{
    Database db;
    fillTable(db);
    db.addEntryWithData(-1, {"fay@example.org"});
    db.addEntryWithData(-1, {"gus@example.org", "ann"});
    RecipientCommands commands(&db, nullptr);
    ASSERT_TRUE(commands.sortByColumn("1"));
    QStringList names;
    for (int i = 0; i < db.entryCount(); ++i)
        names << db.entryValue(i, "1");
    EXPECT_EQ(names, QStringList({QString(), "Ann", "ann", "bob", "Cid", "Dan 9", "Dan 10"}));

    db.setLastSentDate(3, QDateTime(QDate(2024, 5, 1), QTime(9, 0)));
    db.setLastSentDate(1, QDateTime(QDate(2023, 5, 1), QTime(9, 0)));
    const Database::Entry *first = db.entryArray().at(1).get();
    ASSERT_TRUE(commands.sortByColumn("lastSent"));
    EXPECT_FALSE(db.lastSentDate(4).isValid()) << "never sent first";
    EXPECT_EQ(db.entryArray().at(5).get(), first);
}

TEST(RecipientCommands, SerialNumbersGoOnlyIntoFieldColumns)
{
    Database db;
    fillTable(db);
    QUndoStack stack;
    RecipientCommands commands(&db, &stack);
    QSignalSpy alerts(&commands, &RecipientCommands::alert);
    for (const char *fixed : {"active", "lastSent", "rowIndex", ""}) {
        EXPECT_FALSE(commands.addSerialNumbers(fixed)) << fixed;
        ASSERT_FALSE(alerts.isEmpty()) << fixed;
        EXPECT_EQ(alerts.takeLast().at(0).toString(), "NO_COLUMN_SELECTED_SERNUM_TITLE");
    }
    EXPECT_TRUE(db.isEntryActive(0));
    EXPECT_TRUE(commands.addSerialNumbers("5"));
    EXPECT_EQ(db.entryValue(0, "5"), "0");
    EXPECT_EQ(db.entryValue(4, "5"), "4");
}

TEST(RecipientCommands, RemovingAFieldIsUndoneWithValuesNameAddressColumnAndPlace)
{
    Database db;
    fillTable(db);
    QUndoStack stack;
    RecipientCommands commands(&db, &stack);
    QSignalSpy placed(&commands, &RecipientCommands::fieldColumnPlacement);
    ASSERT_TRUE(commands.removeField("0", 4));
    EXPECT_EQ(db.addressFieldNo(), -1);
    EXPECT_TRUE(db.entryValue(1, "0").isNull());
    EXPECT_EQ(db.fieldNameForColumnID("0"), "");
    // A field made in the emptied slot since stays; the removed one comes
    // back in a free slot, in the old place in the view.
    EXPECT_EQ(db.addField("phone"), "0");
    stack.undo();
    EXPECT_EQ(db.fieldNameForColumnID("0"), "phone");
    EXPECT_EQ(db.fieldNameForColumnID("3"), "e-mail");
    EXPECT_EQ(db.addressFieldNo(), 3);
    EXPECT_EQ(db.entryValue(1, "3"), "bob@example.org");
    ASSERT_EQ(placed.count(), 2);
    EXPECT_EQ(placed.at(0), QVariantList({"0", -1}));
    EXPECT_EQ(placed.at(1), QVariantList({"3", 4}));

    // Only that field comes back: a rename and an address column chosen
    // after the removal of another field stay.
    ASSERT_TRUE(commands.removeField("2", 5));
    ASSERT_EQ(commands.renameField("1", "full name"), RecipientCommands::Rename::Renamed);
    ASSERT_TRUE(commands.setAddressColumn(1));
    stack.undo();
    EXPECT_EQ(db.fieldNames(), QStringList({"phone", "full name", "city", "e-mail"}));
    EXPECT_EQ(db.addressFieldNo(), 1);
    EXPECT_EQ(db.entryValue(1, "2"), "Bergen");
}

TEST(RecipientCommands, OlderStepsFollowAFieldThatUndoPutInAnotherSlot)
{
    Database db;
    fillTable(db);
    QUndoStack stack;
    RecipientCommands commands(&db, &stack);
    ASSERT_TRUE(commands.addSerialNumbers("2"));
    ASSERT_TRUE(commands.removeRecipients({4}));
    ASSERT_TRUE(commands.removeField("2", 5));
    ASSERT_EQ(commands.renameField("2", "phone"), RecipientCommands::Rename::Renamed);
    ASSERT_TRUE(commands.editCell(0, "2", "555"));

    stack.undo();
    ASSERT_EQ(db.fieldNames(), QStringList({"e-mail", "name", "phone", "city"}));
    // The row removed before the field comes back with its value under the field.
    stack.undo();
    EXPECT_EQ(columnValues(db, "3"), "0|1|2|3|4");
    stack.undo();
    EXPECT_EQ(columnValues(db, "3"), "Oslo|Bergen|Oslo|Trondheim|");
    EXPECT_EQ(columnValues(db, "2"), "555||||");

    for (int i = 0; i < 3; ++i)
        stack.redo();
    EXPECT_EQ(db.fieldNames(), QStringList({"e-mail", "name", "phone"}));
    EXPECT_EQ(columnValues(db, "2"), "555|||");
    EXPECT_EQ(columnValues(db, "3"), "|||");
}

TEST(RecipientCommands, RowsComeBackWithTheirValuesUnderTheirOwnFieldsNeverOneMadeSince)
{
    Database db;
    db.changeFieldNameTo("e-mail", "0");
    db.changeFieldNameTo("F", "1");
    db.changeFieldNameTo("G", "2");
    db.addEntryWithData(-1, {"a@x.org", "F-a", "G-a"});
    db.addEntryWithData(-1, {"b@x.org", "F-b", "G-b"});
    QUndoStack stack;
    RecipientCommands commands(&db, &stack);
    ASSERT_TRUE(commands.removeRecipients({1}));
    ASSERT_TRUE(commands.removeField("2", 5));
    ASSERT_TRUE(commands.removeField("1", 4));
    ASSERT_EQ(commands.renameField("1", "Phone"), RecipientCommands::Rename::Renamed);
    ASSERT_TRUE(commands.editCell(0, "1", "555"));
    for (int i = 0; i < 3; ++i)
        stack.undo();
    const auto under = [&db](int row, const char *field) {
        return db.entryValue(row, db.fieldNameColumnIDMapping().value(field)).toStdString();
    };
    ASSERT_EQ(db.entryCount(), 2);
    EXPECT_EQ(under(0, "Phone"), "555");
    EXPECT_EQ(under(1, "Phone"), "");
    EXPECT_EQ(under(0, "F") + " " + under(1, "F"), "F-a F-b");
    EXPECT_EQ(under(0, "G") + " " + under(1, "G"), "G-a G-b");
}

TEST(RecipientCommands, ARowComesBackWithoutTheValuesOfAFieldThatCannotComeBack)
{
    Database db;
    db.changeFieldNameTo("F", "0");
    db.changeFieldNameTo("G", "1");
    db.addEntryWithData(-1, {"F-a", "G-a"});
    db.addEntryWithData(-1, {"F-b", "G-b"});
    // A recipient with a value in every other column a table can have.
    QStringList full(Database::MaxColumnCount, QStringLiteral("x"));
    full[0] = full[1] = QString();
    db.addEntryWithData(-1, full);
    QUndoStack stack;
    RecipientCommands commands(&db, &stack);
    QSignalSpy alerts(&commands, &RecipientCommands::alert);
    ASSERT_TRUE(commands.removeRecipients({1}));
    ASSERT_TRUE(commands.removeField("1", 4));
    ASSERT_EQ(commands.renameField("1", "phone"), RecipientCommands::Rename::Renamed);
    ASSERT_TRUE(commands.editCell(0, "1", "555"));
    stack.undo();
    ASSERT_EQ(alerts.count(), 1);
    EXPECT_EQ(alerts.first().at(0).toString(), "FIELD_RESTORE_REFUSED_TITLE");
    stack.undo();
    ASSERT_EQ(db.entryCount(), 3);
    EXPECT_EQ(db.entryValue(1, "0"), "F-b");
    EXPECT_EQ(db.entryValue(1, "1").toStdString(), "") << "G's value under phone";
    EXPECT_EQ(db.entryValue(0, "1"), "555");
}

TEST(RecipientCommands, AnUndoTakesTheValuesWrittenUnderItsFieldSinceAndLeavesThoseHeldBefore)
{
    Database db;
    db.changeFieldNameTo("e-mail", "0");
    db.addEntryWithData(-1, {"a@x.org", "held"});
    db.addEntryWithData(-1, {"b@x.org"});
    QUndoStack stack;
    RecipientCommands commands(&db, &stack);
    // Rows without titles name the slot by position, over the value held there.
    ASSERT_EQ(commands.importRows({{"c@x.org", "x"}}, false), 1);
    ASSERT_EQ(db.fieldNameForColumnID("1"), "2");
    ASSERT_TRUE(commands.editCell(0, "1", "edited"));
    ASSERT_TRUE(commands.editCell(1, "1", "typed"));
    stack.undo();
    EXPECT_EQ(columnValues(db, "1"), "held|");
    stack.redo();
    EXPECT_EQ(columnValues(db, "1"), "edited|typed|x");
}

TEST(RecipientCommands, AFieldMadeWhereARedoWouldPutItsFieldEndsTheRedoSteps)
{
    Database db;
    db.changeFieldNameTo("mail", "0");
    db.addEntryWithData(-1, {"a@x.org"});
    QUndoStack stack;
    RecipientCommands commands(&db, &stack);
    ASSERT_EQ(commands.importRows({{"mail", "city"}, {"b@x.org", "Bergen"}}, true), 1);
    ASSERT_EQ(db.fieldNameForColumnID("1"), "city");
    stack.undo();
    QSignalSpy redoable(&stack, &QUndoStack::canRedoChanged);
    ASSERT_EQ(commands.renameField("1", "phone"), RecipientCommands::Rename::Renamed);
    ASSERT_TRUE(commands.editCell(0, "1", "555"));
    EXPECT_FALSE(stack.canRedo());
    EXPECT_EQ(redoable.count(), 1) << "the Redo item listens";
    stack.redo();
    EXPECT_EQ(db.entryCount(), 1);
    EXPECT_EQ(db.fieldNames(), QStringList({"mail", "phone"}));
}

// A name given back by an undo or a redo that another field took since
// goes to the field under a free name, and its tags follow; the field that
// took it keeps it and its own tags.
TEST(RecipientCommands, NoUndoOrRedoGivesAFieldTheNameOfAnother)
{
    {
        // The redo of an import whose new field's name was given to another since.
        Wired w;
        w.db.changeFieldNameTo("mail", "0");
        w.db.changeFieldNameTo("name", "1");
        w.db.addEntryWithData(-1, {"a@x.org", "A"});
        ASSERT_EQ(w.commands.importRows({{"mail", "n"}, {"c@x.org", "imported"}}, true), 1);
        w.tag("n");
        w.stack.undo();
        ASSERT_EQ(w.commands.renameField("3", "n"), RecipientCommands::Rename::Renamed);
        ASSERT_TRUE(w.commands.editCell(0, "3", "typed"));
        w.tag("n");
        w.stack.redo();
        EXPECT_EQ(w.fields(), "mail,name,n 2,n");
        EXPECT_EQ(w.under(1, "n 2"), "imported");
        EXPECT_EQ(w.under(0, "n"), "typed");
        EXPECT_EQ(w.tags(), "<n 2><n>");
        w.stack.undo();
        EXPECT_EQ(w.fields(), "mail,name,n");
        EXPECT_EQ(w.tags(), "<><n>");
        w.stack.redo();
        EXPECT_EQ(w.fields(), "mail,name,n 2,n");
        EXPECT_EQ(w.tags(), "<n 2><n>");
    }
    {
        // The undo of a title row's rename whose old name was given to another since.
        Wired w;
        w.db.changeFieldNameTo("mail", "0");
        w.db.changeFieldNameTo("first", "1");
        w.db.changeFieldNameTo("last", "2");
        w.tag("first");
        ASSERT_EQ(w.commands.importRows({{"mail", "town"}, {"a@x.org", "Oslo"}}, true), 1);
        ASSERT_EQ(w.fields(), "mail,town,last");
        ASSERT_EQ(w.commands.renameField("2", "first"), RecipientCommands::Rename::Renamed);
        w.tag("first");
        w.stack.undo();
        EXPECT_EQ(w.fields(), "mail,first 2,first");
        EXPECT_EQ(w.tags(), "<first 2><first>");
        w.stack.redo();
        EXPECT_EQ(w.fields(), "mail,town,first");
        EXPECT_EQ(w.under(0, "town"), "Oslo");
        EXPECT_EQ(w.tags(), "<town><first>");
    }
    {
        // An empty title's field, named after its position.
        Wired w;
        w.db.changeFieldNameTo("mail", "0");
        w.db.addEntryWithData(-1, {"a@x.org"});
        ASSERT_EQ(w.commands.importRows({{"mail", ""}, {"b@x.org", "x"}}, true), 1);
        ASSERT_EQ(w.fields(), "mail,2");
        w.stack.undo();
        ASSERT_EQ(w.commands.renameField("0", "2"), RecipientCommands::Rename::Renamed);
        w.stack.redo();
        EXPECT_EQ(w.fields(), "2,2 2");
        EXPECT_EQ(w.under(1, "2 2"), "x");
        EXPECT_EQ(w.under(1, "2"), "b@x.org");
    }
}

// The address column stays with the field it was chosen on, and where an
// undo or a redo takes that field out of the table, it goes back to where
// it stood before the step; never to a slot without a field, which the next
// field made there would silently become.
TEST(RecipientCommands, TheAddressColumnFollowsItsField)
{
    Wired w;
    w.db.changeFieldNameTo("name", "0");
    w.db.changeFieldNameTo("mail", "1");
    w.db.setAddressFieldNo(1);
    w.db.addEntryWithData(-1, {"Ann", "ann@x.org"});
    ASSERT_EQ(w.commands.importRows({{"name", "work mail"}, {"Bob", "bob@work.org"}}, true), 1);
    ASSERT_TRUE(w.commands.setAddressColumn(2));
    w.stack.undo();
    EXPECT_EQ(w.db.addressFieldNo(), 1);
    w.stack.redo();
    EXPECT_EQ(w.db.addressFieldNo(), 2) << "back with its field";
    EXPECT_EQ(w.db.addressForEntry(1), "bob@work.org");
    w.stack.undo();
    EXPECT_EQ(w.db.addressFieldNo(), 1);
    ASSERT_EQ(w.commands.importVCardData(card("cy", "Cy", "Zed", "cy@z.org"), -1), 1);
    EXPECT_EQ(w.db.addressForEntry(1).toStdString(), "cy@z.org");

    // A field chosen since that the undo leaves alone keeps the address column.
    ASSERT_TRUE(w.commands.setAddressColumn(0));
    w.stack.undo();
    EXPECT_EQ(w.db.addressFieldNo(), 0);

    // Contacts into a table without an address column make theirs one;
    // another of their fields chosen since comes back as it, not theirs.
    Wired v;
    v.db.changeFieldNameTo("name", "0");
    v.db.addEntryWithData(-1, {"Ann"});
    ASSERT_EQ(v.commands.importVCardData(card("cy", "Cy", "Zed", "cy@z.org"), -1), 1);
    ASSERT_EQ(v.db.addressForEntry(1), "cy@z.org");
    const int last = Database::columnIndexFromIdentifier(
        v.db.fieldNameColumnIDMapping().value(Person::localizedPropertyName(Person::Last)));
    ASSERT_TRUE(v.commands.setAddressColumn(last));
    v.stack.undo();
    EXPECT_EQ(v.db.addressFieldNo(), -1);
    v.stack.redo();
    EXPECT_EQ(v.db.addressForEntry(1).toStdString(), "Zed");
}

// A value written since an undo step's change, in a cell the step changed,
// stays through the step's undo and redo, as a cell edit does everywhere.
TEST(RecipientCommands, AnUndoOfValuesKeepsWhatWasTypedSince)
{
    Database db;
    fillTable(db);
    QUndoStack stack;
    RecipientCommands commands(&db, &stack);
    ASSERT_TRUE(commands.addSerialNumbers("2"));
    ASSERT_TRUE(commands.editCell(1, "2", "typed-after"));
    stack.undo();
    EXPECT_EQ(columnValues(db, "2"), "Oslo|typed-after|Oslo|Trondheim|");
    ASSERT_TRUE(commands.editCell(2, "2", "typed-between"));
    stack.redo();
    EXPECT_EQ(columnValues(db, "2"), "0|typed-after|typed-between|3|4");

    // The clean-up strips " ann@example.org," and switches the row without an address off.
    ASSERT_TRUE(commands.editCell(4, "0", "no address"));
    ASSERT_EQ(commands.checkAddressSyntax(), 2);
    ASSERT_EQ(db.entryValue(0, "0"), "ann@example.org");
    ASSERT_FALSE(db.isEntryActive(4));
    ASSERT_TRUE(commands.editCell(0, "0", "anne@example.org"));
    stack.undo();
    EXPECT_EQ(db.entryValue(0, "0").toStdString(), "anne@example.org");
    EXPECT_EQ(db.entryValue(4, "0").toStdString(), "no address") << "not changed since";
    EXPECT_TRUE(db.isEntryActive(4));
}

// What an undo of a field removal reads instead of every older step's rows:
// the rows each step took out of the table, against a plain set difference.
TEST(RecipientCommands, EachStepKnowsTheRowsItTookOut)
{
    std::mt19937 random(7);
    for (int round = 0; round < 400; ++round) {
        Database::EntryList before;
        const int size = int(random() % 12);
        for (int i = 0; i < size; ++i)
            before.append(std::make_shared<Database::Entry>());
        Database::EntryList after = before;
        switch (random() % 4) {
        case 0: // rows removed
            for (int n = int(random() % 4); n > 0 && !after.isEmpty(); --n)
                after.removeAt(random() % after.size());
            break;
        case 1: // rows added in one place
            for (int n = 1 + int(random() % 3), at = int(random() % (after.size() + 1)); n > 0; --n)
                after.insert(at, std::make_shared<Database::Entry>());
            break;
        case 2: // sorted
            std::shuffle(after.begin(), after.end(), random);
            break;
        default: // some removed, one added, the rest shuffled
            if (!after.isEmpty())
                after.removeAt(random() % after.size());
            after.append(std::make_shared<Database::Entry>());
            std::shuffle(after.begin(), after.end(), random);
        }
        std::set<const Database::Entry *> staying;
        for (const Database::EntryRef &entry : after)
            staying.insert(entry.get());
        std::vector<int> expected;
        for (int i = 0; i < before.size(); ++i) {
            if (!staying.count(before.at(i).get()))
                expected.push_back(i);
        }
        // Not QList's ==, which hands memcmp the null data of empty lists.
        const QList<int> out = rowsTakenOut(before, after);
        ASSERT_EQ(std::vector<int>(out.cbegin(), out.cend()), expected) << "round " << round;
    }
}

TEST(RecipientCommands, RenamesRefuseEmptyAndTakenNames)
{
    Database db;
    fillTable(db);
    RecipientCommands commands(&db, nullptr);
    QSignalSpy alerts(&commands, &RecipientCommands::alert);
    QSignalSpy edited(&commands, &RecipientCommands::documentEdited);
    using Rename = RecipientCommands::Rename;
    const struct {
        const char *name;
        Rename result;
        const char *alert;
    } cases[] = {
        {"", Rename::Refused, "FIELD_NAME_EMPTY_TEXT"},   {"  ", Rename::Refused, "FIELD_NAME_EMPTY_TEXT"},
        {"city", Rename::Refused, "FIELD_NAME_DUPLICATE_TEXT"}, {"name", Rename::Unchanged, nullptr},
        {"full name", Rename::Renamed, nullptr},
    };
    for (const auto &c : cases) {
        alerts.clear();
        EXPECT_EQ(commands.renameField("1", c.name), c.result) << c.name;
        EXPECT_EQ(alerts.isEmpty(), c.alert == nullptr) << c.name;
        if (c.alert && !alerts.isEmpty()) {
            EXPECT_EQ(alerts.first().at(1).toString(), c.alert);
        }
    }
    EXPECT_EQ(db.fieldNames(), QStringList({"e-mail", "full name", "city"}));
    EXPECT_EQ(edited.count(), 1);
    EXPECT_EQ(commands.renameField("active", "on"), Rename::Refused);
}

TEST(RecipientCommands, CellEditsKeepFixedColumnsAndRenameTagsOnlyForATagName)
{
    Database db;
    fillTable(db);
    db.addEntryWithData(0, {"", "city", "Anna"});
    RecipientCommands commands(&db, nullptr);
    QSignalSpy renamed(&commands, &RecipientCommands::tagNameChanged);
    QSignalSpy edited(&commands, &RecipientCommands::documentEdited);
    const struct {
        int row;
        const char *column;
        QVariant value;
        bool taken;
        bool renamesTags;
    } cases[] = {
        {0, "2", "Anne", true, true},          // the first row names a tag
        {1, "1", "Annie", true, false},        // not the first row
        {0, "0", "x@y.org", true, false},      // no old value
        {0, "1", "town", true, false},         // the old value is a field's name
        {0, "2", "Anne", true, false},         // unchanged
        {0, "lastSent", "today", false, false}, // read-only columns
        {0, "rowIndex", "7", false, false},
        {0, "active", "No", false, false},     // a checkbox only
        {0, "active", false, true, false},
    };
    for (const auto &c : cases) {
        renamed.clear();
        EXPECT_EQ(commands.editCell(c.row, c.column, c.value), c.taken) << c.column;
        EXPECT_EQ(renamed.count(), c.renamesTags ? 1 : 0) << c.column << " " << c.value.toString().toStdString();
    }
    EXPECT_EQ(db.entryValue(0, "2"), "Anne");
    EXPECT_FALSE(db.lastSentDate(0).isValid());
    EXPECT_FALSE(db.isEntryActive(0));
    EXPECT_EQ(edited.count(), 5);
}

TEST(RecipientCommands, ImportsMapNamesAndNeverRelabelHeldValues)
{
    Database db;
    fillTable(db);
    QUndoStack stack;
    RecipientCommands commands(&db, &stack);

    // Titles in another order, one unknown title, a row wider than the titles.
    ASSERT_EQ(commands.importRows({{"city", "e-mail", "zip"}, {"Molde", "kim@example.org", "6400", "extra"}}, true), 1);
    EXPECT_EQ(db.fieldNames(), QStringList({"e-mail", "name", "city", "zip", "4"}));
    EXPECT_EQ(db.entryArray().last()->toMap(),
              QVariantMap({{"0", "kim@example.org"}, {"2", "Molde"}, {"3", "6400"}, {"4", "extra"}}));

    // A card whose address goes to the address column, wherever it is.
    db.changeFieldNameTo("company", "0");
    db.changeFieldNameTo("e-mail", "5");
    db.setAddressFieldNo(5);
    ASSERT_EQ(commands.importVCardData(card("ola", "Ola", "Berg", "ola@example.org"), 0), 1);
    EXPECT_EQ(db.entryValue(0, "5"), "ola@example.org");
    EXPECT_TRUE(db.entryValue(0, "0").isNull());
    EXPECT_EQ(db.fieldNames().mid(0, 5), QStringList({"company", "name", "city", "zip", "4"}));
    EXPECT_EQ(db.addressFieldNo(), 5);
    EXPECT_EQ(db.entryValue(1, "0"), " ann@example.org,") << "the old values stay under their field";

    // Many new titles become fields in the order of their columns.
    QStringList titles;
    for (int i = 0; i < 12; ++i)
        titles << QStringLiteral("t%1").arg(i);
    const QStringList before = db.fieldNames();
    ASSERT_EQ(commands.importRows({titles, titles}, true), 1);
    EXPECT_EQ(db.fieldNames().mid(before.size()), titles);
}

TEST(RecipientCommands, TitlesFindTheirFieldsInAnyLetterCaseAnExactNameFirst)
{
    Database db;
    fillTable(db);
    db.changeFieldNameTo("Name", "3");
    RecipientCommands commands(&db, nullptr);
    ASSERT_EQ(commands.importRows({{"NAME", "Name", "City", "E-Mail"}, {"a", "b", "c", "d@x.org"}}, true), 1);
    EXPECT_EQ(db.fieldNames().join(u'|'), "e-mail|name|city|Name");
    EXPECT_EQ(db.entryArray().last()->toMap(), QVariantMap({{"0", "d@x.org"}, {"1", "a"}, {"2", "c"}, {"3", "b"}}));
}

TEST(RecipientCommands, TitlesOfOneFieldInTwoSpellingsKeepBothColumns)
{
    // The exact title takes the field, wherever it stands; the other
    // spelling gets a field of its own instead of writing over its values.
    Database db;
    db.changeFieldNameTo("e-mail", "0");
    db.changeFieldNameTo("phone", "1");
    db.setAddressFieldNo(0);
    db.addEntryWithData(-1, {"a@x.org", "1"});
    RecipientCommands commands(&db, nullptr);
    ASSERT_EQ(commands.importRows({{"e-Mail", "Phone", "PHONE", "e-mail"}, {"b@x.org", "2", "3", "c@x.org"}}, true), 1);
    EXPECT_EQ(db.fieldNames().join(u'|'), "e-mail|phone|e-Mail|PHONE");
    EXPECT_EQ(db.entryArray().last()->toMap(), QVariantMap({{"0", "c@x.org"}, {"1", "2"}, {"2", "b@x.org"}, {"3", "3"}}));
}

TEST(RecipientCommands, ATitleRowNamesTheSlotsOfATableWithoutEntries)
{
    Database db;
    db.changeFieldNameTo("e-mail", "0");
    db.setAddressFieldNo(0);
    RecipientCommands commands(&db, nullptr);
    const QList<QStringList> rows{{"email", "first", ""}, {"a@x.org", "A"}, {"b@x.org", "B"}, {"c@x.org", "C", "3"}};
    EXPECT_EQ(commands.importRows(rows, true), 3);
    EXPECT_EQ(db.fieldNames(), QStringList({"email", "first", "3"}));
    EXPECT_EQ(db.addressForEntry(2), "c@x.org");

    Database plain;
    plain.changeFieldNameTo("e-mail", "0");
    RecipientCommands plainCommands(&plain, nullptr);
    EXPECT_EQ(plainCommands.importRows(rows, false), 4);
    EXPECT_EQ(plain.fieldNames(), QStringList({"e-mail", "2", "3"})) << "unnamed slots with values get their position";
    EXPECT_EQ(plain.entryValue(0, "0"), "email");
}

TEST(RecipientCommands, TitlesFindTheFieldsOfATableWithoutEntriesAndLeaveTheirTagsToThem)
{
    const struct {
        QStringList titles;
        const char *fields;
        const char *tags;
    } cases[] = {
        {{"city", "e-mail"}, "e-mail,city", "<e-mail><city>"},
        {{"mail", "city"}, "mail,city", "<mail><city>"},
        {{"mail", "town"}, "mail,town", "<mail><town>"},
    };
    for (const auto &c : cases) {
        Database db;
        db.changeFieldNameTo("e-mail", "0");
        db.changeFieldNameTo("city", "1");
        MessageTab message;
        message.observeFieldNameChanges(&db);
        RichText body;
        DoInsertTagInAttributedString(std::make_shared<SimpleTag>("e-mail"), body, 0);
        DoInsertTagInAttributedString(std::make_shared<SimpleTag>("city"), body, 1);
        message.setBodyText(body);
        QUndoStack stack;
        RecipientCommands commands(&db, &stack);
        commands.setMessage(&message);
        const QString titles = c.titles.join(u',');
        ASSERT_EQ(commands.importRows({c.titles, c.titles}, true), 1);
        EXPECT_EQ(db.fieldNames().join(u',').toStdString(), c.fields) << titles.toStdString();
        EXPECT_EQ(AttributedTagString::textTagString(message.bodyString()).toStdString(), c.tags) << titles.toStdString();
        for (const QString &title : c.titles)
            EXPECT_EQ(db.entryValue(0, db.fieldNameColumnIDMapping().value(title)), title) << titles.toStdString();
        stack.undo();
        EXPECT_EQ(db.fieldNames().join(u',').toStdString(), "e-mail,city") << titles.toStdString();
        EXPECT_EQ(AttributedTagString::textTagString(message.bodyString()).toStdString(), "<e-mail><city>")
            << titles.toStdString();
    }
}

// The message of a table wired to its commands as the window wires them,
// and the clipboard as the views use it, without widgets: what is cut stays
// where the message's renames reach it, as in a view's undo history.
struct TagClipboard {
    Database db;
    MessageTab message;
    QUndoStack stack;
    RecipientCommands commands{&db, &stack};
    QList<RichText> history;

    TagClipboard()
    {
        fillTable(db);
        message.observeFieldNameChanges(&db);
        commands.setMessage(&message);
        message.setTagWalker([this](const MessageTab::TagVisitor &visit) {
            for (const RichText &piece : std::as_const(history)) {
                for (const SimpleTagRef &tag : AttributedTagString::tags(piece))
                    visit(*tag);
            }
        });
    }
    void setSubjectCondition()
    {
        RichText subject;
        DoInsertTagInAttributedString(
            std::make_shared<ConditionTag>("where", QList<ConditionRule>{{"city", ConditionRule::Equals, "Oslo", {}}}),
            subject, 0);
        message.setSubjectText(subject);
    }
    static std::unique_ptr<QMimeData> copy(RichText text, TextRange range)
    {
        AttributedTagString::saveAttachments(text);
        return std::unique_ptr<QMimeData>(TagPasteboard::mimeDataForText(text.attributedSubstring(range)));
    }
    std::unique_ptr<QMimeData> copyFromBody(int at) const { return copy(message.bodyString(), {at, 1}); }
    std::unique_ptr<QMimeData> copySubject() const
    {
        return copy(message.subjectString(), {0, int(message.subjectString().length())});
    }
    std::unique_ptr<QMimeData> cutFromBody(int at)
    {
        std::unique_ptr<QMimeData> data = copyFromBody(at);
        RichText text = message.bodyString();
        history.append(text.attributedSubstring({at, 1}));
        text.deleteCharacters({at, 1});
        message.setBodyText(text);
        return data;
    }
    void pasteAtEnd(const QMimeData *data)
    {
        const TagPasteboard::Contents pasted = TagPasteboard::read(data);
        ASSERT_EQ(pasted.kind, TagPasteboard::Contents::Kind::TaggedText);
        RichText text = message.bodyString();
        text.append(pasted.text);
        message.setBodyText(text);
    }
    // The same bytes as another program (or another run of this one) offers them.
    static void pasteAsForeign(const QMimeData &data, TagClipboard &into)
    {
        QMimeData foreign;
        foreign.setData(TagPasteboard::MimeType, data.data(TagPasteboard::MimeType));
        foreign.setText(data.text());
        into.pasteAtEnd(&foreign);
    }
    // The body's tags, then the field of each condition's first rule.
    [[nodiscard]] std::string tags() const
    {
        QString seen = AttributedTagString::textTagString(message.bodyString());
        for (const SimpleTagRef &tag : AttributedTagString::tags(message.bodyString())) {
            if (const auto *condition = dynamic_cast<const ConditionTag *>(tag.get()))
                seen += u' ' + condition->dataArray().value(0).field;
        }
        return seen.toStdString();
    }
};

// A tag cut or copied while its field is out of the table, and pasted, is
// still the tag that field took, and reads its name if it came back
// meanwhile; a copy made before the removal follows the tag it was copied
// from, not a field of the same name made since. The same bytes offered by
// another program are not ours.
TEST(RecipientCommands, TagsPastedInTheMessageFollowTheFieldThatTookThem)
{
    TagClipboard clip;
    RichText body;
    DoInsertTagInAttributedString(std::make_shared<SimpleTag>("name"), body, 0);
    DoInsertTagInAttributedString(std::make_shared<SimpleTag>("city"), body, 1);
    clip.message.setBodyText(body);

    const std::unique_ptr<QMimeData> early = clip.copyFromBody(0);
    ASSERT_TRUE(clip.commands.removeField("1", 4));
    // A field of the same name made since and removed has no part in the early copy.
    const QString again = clip.db.addField("name");
    clip.pasteAtEnd(early.get());
    ASSERT_TRUE(clip.commands.removeField(again, 5));
    ASSERT_EQ(clip.tags(), "<><city><>");
    // The first removal's tag moved to the end, and the same bytes once more
    // as another program offers them.
    const std::unique_ptr<QMimeData> moved = clip.cutFromBody(0);
    clip.pasteAtEnd(moved.get());
    TagClipboard::pasteAsForeign(*moved, clip);
    ASSERT_EQ(clip.tags(), "<city><><><>");

    clip.stack.undo();
    EXPECT_EQ(clip.tags(), "<city><><><>") << "the early copy is the first removal's";
    clip.stack.undo();
    EXPECT_EQ(clip.db.fieldNames().join(u',').toStdString(), "e-mail,name,city,name 2");
    EXPECT_EQ(clip.tags(), "<city><name 2><name 2><>");
    clip.stack.redo();
    clip.stack.redo();
    EXPECT_EQ(clip.tags(), "<city><><><>");

    // Cut, the field back, pasted: the tag reads the field's name.
    const std::unique_ptr<QMimeData> movedAgain = clip.cutFromBody(1);
    clip.stack.undo();
    clip.stack.undo();
    clip.pasteAtEnd(movedAgain.get());
    EXPECT_EQ(clip.tags(), "<city><name 2><><name 2>");
}

// A tag or a condition cut or copied in the message and pasted in the same
// window is still its field's, whatever became of the field meanwhile:
// renamed, it reads the new name; removed, none, until the removal's undo
// gives the name back. The same bytes from another program read as copied.
TEST(RecipientCommands, TagsPastedAfterTheirFieldWasRenamedOrRemovedReadItsNameNow)
{
    TagClipboard clip;
    RichText body;
    DoInsertTagInAttributedString(std::make_shared<SimpleTag>("name"), body, 0);
    DoInsertTagInAttributedString(std::make_shared<SimpleTag>("city"), body, 1);
    clip.message.setBodyText(body);
    clip.setSubjectCondition();

    const std::unique_ptr<QMimeData> copied = clip.copyFromBody(0);
    const std::unique_ptr<QMimeData> moved = clip.cutFromBody(1);
    const std::unique_ptr<QMimeData> condition = clip.copySubject();
    ASSERT_EQ(clip.commands.renameField("1", "first name"), RecipientCommands::Rename::Renamed);
    ASSERT_EQ(clip.commands.renameField("2", "town"), RecipientCommands::Rename::Renamed);
    clip.pasteAtEnd(copied.get());
    clip.pasteAtEnd(moved.get());
    clip.pasteAtEnd(condition.get());
    EXPECT_EQ(clip.tags(), "<first name><first name><town><where> town");

    ASSERT_TRUE(clip.commands.removeField("2", 5));
    clip.pasteAtEnd(moved.get());
    clip.pasteAtEnd(condition.get());
    EXPECT_EQ(clip.tags(), "<first name><first name><><where><><where>  ");
    TagClipboard::pasteAsForeign(*moved, clip);
    clip.stack.undo();
    EXPECT_EQ(clip.tags(), "<first name><first name><town><where><town><where><city> town town");
}

// A removal's redo takes the field's tags and rules anew: a condition
// copied before it, while the field was away or after it came back, pasted
// after the redo, has its rule with the field.
TEST(RecipientCommands, AConditionCopiedBeforeARemovalWasRedoneFollowsTheField)
{
    TagClipboard clip;
    clip.setSubjectCondition();
    ASSERT_TRUE(clip.commands.removeField("2", 5));
    const std::unique_ptr<QMimeData> copied = clip.copySubject();
    clip.stack.undo();
    clip.stack.redo();
    clip.message.setBodyText(TagPasteboard::read(copied.get()).text);
    const auto rule = [&clip](int at) {
        return std::static_pointer_cast<ConditionTag>(AttributedTagString::tags(clip.message.bodyString()).value(at))
            ->dataArray()
            .value(0)
            .field.toStdString();
    };
    ASSERT_EQ(rule(0), "");
    clip.stack.undo();
    EXPECT_EQ(rule(0), "city");

    const std::unique_ptr<QMimeData> copiedBack = clip.copySubject();
    clip.stack.redo();
    clip.pasteAtEnd(copiedBack.get());
    EXPECT_EQ(rule(0), "");
    EXPECT_EQ(rule(1), "");
    clip.stack.undo();
    EXPECT_EQ(rule(1), "city");

    // Another rule in its place since is not the one copied.
    const std::unique_ptr<QMimeData> copiedLast = clip.copySubject();
    const auto source =
        std::static_pointer_cast<ConditionTag>(AttributedTagString::tags(clip.message.subjectString()).value(0));
    source->setDataArray({{"name", ConditionRule::Equals, "Oslo", RichText("elsewhere")}});
    clip.message.setBodyText(TagPasteboard::read(copiedLast.get()).text);
    EXPECT_EQ(rule(0), "city");
}

TEST(RecipientCommands, AGroupNameOfTwoGroupsImportsTheMembersOfBoth)
{
    const Fixtures files;
    ASSERT_EQ(files.contacts->groups().size(), 2);
    Database db;
    RecipientCommands commands(&db, nullptr);
    EXPECT_EQ(commands.importContacts(*files.contacts, "Friends", false), 2);
    EXPECT_EQ(db.addressFieldNo(), 0);
    QStringList addresses{db.addressForEntry(0), db.addressForEntry(1)};
    addresses.sort();
    EXPECT_EQ(addresses, QStringList({"ivy@example.org", "jon@example.org"}));
    EXPECT_GE(db.fieldIndexForName(Person::localizedPropertyName(Person::GroupNameProperty)), 0);
}

TEST(RecipientCommands, UnreadableFilesAreListedInOneAlert)
{
    const Fixtures files;
    Database db;
    fillTable(db);
    RecipientCommands commands(&db, nullptr);
    QSignalSpy alerts(&commands, &RecipientCommands::alert);
    writeFile(files.dir.filePath("broken.quorv2"), "not an archive");
    EXPECT_EQ(commands.importProjectFiles({files.dir.filePath("missing.quorv2"), files.projectFile,
                                           files.dir.filePath("broken.quorv2")}),
              1);
    ASSERT_EQ(alerts.count(), 1);
    const QString detail = alerts.first().at(2).toString();
    EXPECT_TRUE(detail.contains("missing.quorv2") && detail.contains("broken.quorv2")) << detail.toStdString();
    EXPECT_FALSE(detail.contains("other.quorv2"));
}

TEST(RecipientCommands, ExportWritesTabSeparatedLinesAndReportsWhatItChanged)
{
    QTemporaryDir dir;
    Database db;
    db.changeFieldNameTo("e-mail", "0");
    db.changeFieldNameTo("name", "1");
    RecipientCommands commands(&db, nullptr);
    QSignalSpy alerts(&commands, &RecipientCommands::alert);
    const QString path = dir.filePath("out.txt");
    const QString tabs(db.columnCount() - 2, u'\t');

    ASSERT_TRUE(commands.exportText(path));
    EXPECT_EQ(readWholeFile(path), "") << "an empty table gives an empty file";

    db.addEntryWithData(-1, {"a", "b"});
    db.addEntryWithData(-1, {"c"});
    db.setLastSentDate(0);
    ASSERT_TRUE(commands.exportText(path));
    EXPECT_EQ(readWholeFile(path), ("a\tb" + tabs + "\nc\t" + tabs).toUtf8());
    EXPECT_TRUE(alerts.isEmpty());

    db.addEntryWithData(-1, {"line\nbreak", "tab\there", "Müller\r\n"});
    ASSERT_TRUE(commands.exportText(path));
    EXPECT_TRUE(readWholeFile(path).endsWith(("\nline break\ttab here\tMüller  " + tabs.mid(1)).toUtf8()));
    ASSERT_EQ(alerts.count(), 1);
    EXPECT_TRUE(alerts.first().at(2).toString().contains("3")) << alerts.first().at(2).toString().toStdString();

    // Read back, the export gives the table's values again.
    Database copy;
    RecipientCommands copyCommands(&copy, nullptr);
    ASSERT_EQ(copyCommands.importRows(*CSVReader::readFile(path, TextFileDecoder::Encoding::Automatic, "\t"), false),
              3);
    for (int row = 0; row < 2; ++row) {
        for (const char *slot : {"0", "1"})
            EXPECT_EQ(copy.entryValue(row, slot).isEmpty() ? QString() : copy.entryValue(row, slot),
                      db.entryValue(row, slot).isEmpty() ? QString() : db.entryValue(row, slot));
    }

    // Failed writes: a folder that is a file, a pipe (no device or pipe is
    // ever replaced by a file) and a folder.
    writeFile(dir.filePath("plain"), "x");
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600), 0);
    for (const QString &bad : {dir.filePath("plain/out.txt"), dir.filePath("pipe"), dir.path()}) {
        alerts.clear();
        EXPECT_FALSE(commands.exportText(bad)) << bad.toStdString();
        ASSERT_EQ(alerts.count(), 1) << bad.toStdString();
        EXPECT_EQ(alerts.first().at(0).toString(), "EXPORT_FAILED_TITLE");
    }
    EXPECT_EQ(readWholeFile(dir.filePath("plain")), "x");
    EXPECT_FALSE(QFileInfo(dir.filePath("pipe")).isFile());
}
