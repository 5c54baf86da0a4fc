#include "Database.h"
#include "KeyedArchiver.h"
#include "KeyedUnarchiver.h"
#include "TypedArchiver.h"
#include "TypedUnarchiver.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using Map = QVariantMap;
using List = QVariantList;

namespace {

const struct {
    const char *name;
    QByteArray (*write)(const QVariant &);
    QVariant (*read)(const QByteArray &, QString *);
} archiveForms[] = {
    {"keyed", &KeyedArchiver::archivedDataWithRootObject, &KeyedUnarchiver::unarchiveObjectWithData},
    {"typed", &TypedArchiver::archivedDataWithRootObject, &TypedUnarchiver::unarchiveObjectWithData},
};

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace

TEST(DatabaseFile, RoundTripKeepsEverySlotNameAndValue)
{
    Database original;
    for (int i = 0; i < 75; ++i)
        original.addField(QStringLiteral("Feld %1 ü").arg(i));
    ASSERT_EQ(original.addField("Extra 😀"), "75");
    original.changeFieldNameTo(QStringLiteral(""), "3");
    original.setAddressFieldNo(2);
    original.addEntryWithDict(-1, {{"0", "Zoë 😀"}, {"2", "zoe@example.org"}, {"75", "𝔘𝔫𝔦"}, {"active", false}});
    original.addEntryWithDict(-1, {{"0", ""}, {"1", "東京"}, {"lastSent", QDateTime::fromMSecsSinceEpoch(1'712'345'678'901)}});
    original.addEmptyEntry(-1);
    const QVariantMap stored = original.fileData();
    EXPECT_EQ(stored.value("AddressColumn Num"), "2");

    std::vector<std::pair<const char *, QVariant>> carried = {{"plain", stored}};
    for (const auto &form : archiveForms)
        carried.emplace_back(form.name, form.read(form.write(stored), nullptr));
    for (const auto &[name, data] : carried) {
        SCOPED_TRACE(name);
        ASSERT_EQ(data.typeId(), QMetaType::QVariantMap);
        Database copy;
        copy.readFileData(data.toMap());
        EXPECT_EQ(copy.fileData(), stored); // names incl. the empty one, entries, address slot
        EXPECT_EQ(copy.columnCount(), 76);
        EXPECT_EQ(copy.fieldNames(), original.fieldNames());
        EXPECT_FALSE(copy.isEntryActive(0));
        EXPECT_EQ(copy.lastSentDate(1).toMSecsSinceEpoch(), 1'712'345'678'901);
    }
}

// Big enough that references and offsets take four bytes and lengths need
// their own integers; every row and value is compared.
TEST(DatabaseFile, LargeTablesComeBackWhole)
{
    constexpr int rows = 60'000;
    Database original;
    for (const char *name : {"e-mail", "first name", "last name", "city", "note"})
        original.addField(QString::fromUtf8(name));
    original.setAddressFieldNo(0);
    for (int row = 0; row < rows; ++row) {
        original.addEntryWithData(-1, {QStringLiteral("user%1@example.org").arg(row), QStringLiteral("Ann %1").arg(row % 300),
                                       QStringLiteral("M\u00fcller-%1 \U0001F600").arg(row), row % 5 ? QStringLiteral("Berlin") : QString(),
                                       row % 97 ? QString() : QString(40, QChar(u'x' + row % 3))});
        if (row % 7 == 0)
            original.setEntryState(row, false);
        if (row % 11 == 0)
            original.setLastSentDate(row, QDateTime::fromMSecsSinceEpoch(1'700'000'000'000LL + row * 1000LL, Qt::UTC));
    }
    const QVariantMap stored = original.fileData();
    for (const auto &form : archiveForms) {
        SCOPED_TRACE(form.name);
        QString error;
        const QVariant back = form.read(form.write(stored), &error);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        Database copy;
        copy.readFileData(back.toMap());
        ASSERT_EQ(copy.entryCount(), rows);
        EXPECT_EQ(copy.fileData(), stored);
    }

    // More objects than the reader once allowed: whatever is written opens again.
    const QVariantList many(4'100'000, QVariant(true));
    QString error;
    EXPECT_EQ(KeyedUnarchiver::unarchiveObjectWithData(KeyedArchiver::archivedDataWithRootObject(many), &error).toList().size(),
              many.size())
        << error.toStdString();
}

TEST(DatabaseFile, ReadFileDataTrustsNothing)
{
    const Map names{{"0", "Name"}, {"1", "Email"}};
    const Map oddNames{{"0", 7}, {"1", List{}}, {"x", "X"}, {"02", "Zero two"}, {"-1", "Minus"},
                       {"2", "Two"}, {"99999999", "Huge"}, {"9999", "Last"}};
    const struct { const char *what; Map data; int entries; QStringList fields; int columns; int address; } cases[] = {
        {"names only", {{"AddressColumn Num", "1"}, {"Address Array", List{names}}}, 0, {"Name", "Email"}, 75, 1},
        {"empty array", {{"Address Array", List{}}}, 0, {}, 75, 0},
        {"no array", {{"AddressColumn Num", "-1"}}, 0, {}, 75, -1},
        {"array not a list", {{"Address Array", "text"}}, 0, {}, 75, 0},
        {"names not a map", {{"Address Array", List{"x", Map{{"0", "a"}}}}}, 1, {}, 75, 0},
        {"odd items", {{"Address Array", List{names, 5, Map{{"0", "a"}}, List{}, Map{}}}}, 2, {"Name", "Email"}, 75, 0},
        {"odd names", {{"AddressColumn Num", "9999"}, {"Address Array", List{oddNames}}}, 0, {"Two", "Last"}, 10000, 9999},
        {"address with junk", {{"AddressColumn Num", " 7abc"}}, 0, {}, 75, 7},
        {"address as number", {{"AddressColumn Num", 3}}, 0, {}, 75, 3},
        {"address past slots", {{"AddressColumn Num", "75"}}, 0, {}, 75, -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Database db;
        db.addField("Old");
        db.addEmptyEntry(-1);
        db.readFileData(c.data);
        EXPECT_EQ(db.entryCount(), c.entries);
        EXPECT_EQ(db.fieldNames(), c.fields);
        EXPECT_EQ(db.fieldNameColumnIDMapping().size(), c.fields.size());
        EXPECT_EQ(db.columnCount(), c.columns);
        EXPECT_EQ(db.addressFieldNo(), c.address);
    }
}

TEST(DatabaseFile, ImportReadsEitherArchiveFormAndRefusesTheRest)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("old");
    const auto wrap = [](const QVariant &array) { return Map{{"Database", Map{{"AddressColumn Num", "1"}, {"Address Array", array}}}}; };
    const QVariant good = wrap(List{Map{{"0", "Name"}, {"1", "Email"}, {"80", "Extra"}},
                                    Map{{"0", "Ann"}, {"1", "ann@x"}, {"80", "e"}, {"active", false}}, "junk", Map{{"1", "bob@x"}}});
    const QVariant bad[] = {List{good}, Map{{"Database", "x"}}, wrap(Map{}), wrap(List{}), wrap(List{"x", Map{{"0", "a"}}})};

    EXPECT_FALSE(Database().importDatabaseFile(dir.filePath("missing")));
    for (const auto &form : archiveForms) {
        SCOPED_TRACE(form.name);
        const QByteArray whole = form.write(good);
        ASSERT_TRUE(writeFile(path, whole));
        Database db;
        db.addField("Email");
        QString reason;
        ASSERT_TRUE(db.importDatabaseFile(path, &reason)) << reason.toStdString();
        EXPECT_EQ(db.fieldNames(), QStringList({"Email", "Name", "Extra"}));
        ASSERT_EQ(db.entryCount(), 2);
        EXPECT_EQ(*db.entryArray()[0], (Map{{"0", "ann@x"}, {"1", "Ann"}, {"2", "e"}}));
        EXPECT_EQ(*db.entryArray()[1], (Map{{"0", "bob@x"}}));
        EXPECT_EQ(db.addressFieldNo(), -1);

        QList<QByteArray> files = {"not an archive", whole.left(whole.size() / 2)};
        for (const QVariant &root : bad)
            files.append(form.write(root));
        for (qsizetype i = 0; i < files.size(); ++i) {
            ASSERT_TRUE(writeFile(path, files[i]));
            Database empty;
            EXPECT_FALSE(empty.importDatabaseFile(path, &reason)) << i;
            EXPECT_TRUE(empty.entryCount() == 0 && empty.fieldCount() == 0) << i;
        }
    }
}
