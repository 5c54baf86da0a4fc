#include "AddressBookColumn.h"
#include "AddressBookDatabase.h"
#include "AddressBookRow.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "PlainArrayColumn.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray card(const QByteArray &lines)
{
    return "BEGIN:VCARD\r\nVERSION:4.0\r\n" + lines + "END:VCARD\r\n";
}

QByteArray person(const QByteArray &last, const QByteArray &more = {})
{
    return card("N:" + last + ";;;;\r\n" + more);
}

class AddressBookSource : public ::testing::Test {
protected:
    void write(const QString &relative, const QByteArray &data)
    {
        const QString path = m_dir.filePath(relative);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(data) == data.size());
    }

    std::shared_ptr<AddressBookDatabase> loaded(const AddressBookSnapshot::Limits &limits = {})
    {
        auto source = AddressBookDatabase::create(m_dir.path(), limits);
        source->waitUntilLoaded();
        return source;
    }

    static QStringList values(const TableRefPtr &table, const QString &columnUid)
    {
        QStringList list;
        const ColumnRefPtr column = table->columnWithId(columnUid);
        for (int i = 0; column && i < table->numberOfRows(); ++i)
            list.append(table->rowAtIndex(i)->dataForColumn(*column).toString());
        return list;
    }

    static QStringList tableNames(const DatabaseRef &source)
    {
        QStringList list;
        for (const TableRefPtr &table : source.tables())
            list.append(table->uid() + u'=' + table->displayName());
        return list;
    }

    QTemporaryDir m_dir;
};

} // namespace

// Every .vcf below the folder, in path order; no directory link followed,
// nothing hidden, nothing but regular files.
TEST_F(AddressBookSource, FolderWalk)
{
    write("b.vcf", person("B1") + person("B2"));
    write("a/z.VCF", person("AZ"));
    write("a/deeper/x.vcf", person("AX"));
    write(".hidden/h.vcf", person("Hidden"));
    write("a/.tmp.vcf", person("HalfWritten"));
    write("notes.txt", person("Text"));
    QTemporaryDir outside;
    QFile(outside.filePath("o.vcf")).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(m_dir.path(), m_dir.filePath("a/loop")));
    ASSERT_TRUE(QFile::link(outside.path(), m_dir.filePath("elsewhere")));
    ASSERT_TRUE(QFile::link(m_dir.filePath("b.vcf"), m_dir.filePath("c-link.vcf")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(m_dir.filePath("fifo.vcf")).constData(), 0600), 0);

    const auto source = loaded();
    EXPECT_EQ(source->uid(), "db-AppleAddressBook");
    EXPECT_EQ(source->displayName(), "Contacts");
    EXPECT_EQ(tableNames(*source), QStringList{"tbl-all=All Contacts"});
    const TableRefPtr all = source->tableWithUid("tbl-all");
    EXPECT_EQ(values(all, "abc-Last"), QStringList({"AX", "AZ", "B1", "B2", "B1", "B2"}));
    EXPECT_EQ(all->rowAtIndex(0)->staticData(), true);
    EXPECT_EQ(all->rowAtIndex(6), nullptr);

    // A too deep folder, too many files, too large a file: left out and counted.
    AddressBookSnapshot::Limits limits;
    limits.maxDepth = 1;
    limits.maxFiles = 3;
    limits.maxFileBytes = person("B1").size() * 2 - 1;
    const auto bounded = loaded(limits);
    EXPECT_EQ(values(bounded->tableWithUid("tbl-all"), "abc-Last"), QStringList({"AZ"}));
    EXPECT_EQ(bounded->snapshot()->omissions().filesOverLimit, 2);
}

TEST_F(AddressBookSource, EmptyOrMissingFolder)
{
    for (const QString &folder : {m_dir.path(), m_dir.filePath("missing")}) {
        const auto source = AddressBookDatabase::create(folder);
        source->waitUntilLoaded();
        ASSERT_EQ(source->tables().size(), 1);
        EXPECT_EQ(source->tables().first()->numberOfRows(), 0);
        QStringList columns;
        for (const ColumnRefPtr &column : source->columns())
            columns.append(column->uid());
        EXPECT_EQ(columns, QStringList({"abc-Email", "abc-First", "abc-Last", "abc-Middle", "abc-Prefix", "abc-Suffix",
                                        "abc-Nickname", "abc-Organization", "abc-Department", "abc-JobTitle",
                                        "abc-Phone", "abc-URLs", "abc-Note"}));
    }
}

// Labelled columns come from the first hundred people only.
TEST_F(AddressBookSource, LabelledColumnsAndValues)
{
    QByteArray data = person("P0", "EMAIL;TYPE=home:p0@home\r\nEMAIL;TYPE=work;PREF=1:p0@work\r\n");
    for (int i = 1; i < 100; ++i)
        data += person("P" + QByteArray::number(i), i == 50 ? "EMAIL;TYPE=work:p50@work\r\n" : "");
    data += person("P100", "EMAIL;TYPE=x-late:late@x\r\nTEL;TYPE=cell:1\r\n");
    write("all.vcf", data);

    const auto source = loaded();
    QStringList columns;
    for (const ColumnRefPtr &column : source->columns())
        columns.append(column->uid() + u'=' + column->displayName());
    EXPECT_EQ(columns.mid(0, 3), QStringList({"abc-Email=Email", "abc-Email-home=Email (home)", "abc-Email-work=Email (work)"}));
    EXPECT_FALSE(columns.join(u' ').contains("x-late"));
    EXPECT_TRUE(columns.contains("abc-Phone=Phone") && !columns.join(u' ').contains("abc-Phone-"));

    const TableRefPtr all = source->tableWithUid("tbl-all");
    const QStringList plain = values(all, "abc-Email");
    const QStringList work = values(all, "abc-Email-work");
    EXPECT_EQ(QStringList({plain[0], plain[1], plain[50], plain[100]}), QStringList({"p0@work", "", "p50@work", "late@x"}));
    EXPECT_EQ(QStringList({work[0], work[1], work[100]}), QStringList({"p0@work", "", ""}));
    EXPECT_EQ(all->rowAtIndex(100)->dataForColumn(AddressBookColumn(Person::Phone, "cell")), "1");
    EXPECT_EQ(all->rowAtIndex(0)->dataForColumn(PlainArrayColumn("Email", "abc-Email")), "");

    all->sortByColumn(*all->columnWithId("abc-Email"), false);
    EXPECT_EQ(values(all, "abc-Last").mid(0, 3), QStringList({"P50", "P0", "P100"}));
    all->sortByColumn(*all->columnWithId("abc-Last"), true);
    EXPECT_EQ(values(all, "abc-Last").mid(0, 3), QStringList({"P0", "P1", "P2"}));
    EXPECT_EQ(values(all, "abc-Last").last(), "P100");
}

TEST_F(AddressBookSource, GroupCardsAndCategories)
{
    write("people.vcf", person("Ann", "UID:urn:uuid:ann\r\nCATEGORIES:Friends,Chess\r\n") +
                            person("Bob", "UID:bob\r\nCATEGORIES:Chess\r\n") + person("Cid", "UID:cid\r\n"));
    write("groups/team.vcf",
          card("KIND:group\r\nUID:urn:uuid:team\r\nFN:Team\r\nMEMBER:urn:uuid:bob\r\nMEMBER:ann\r\n"
               "MEMBER:urn:uuid:nobody\r\nMEMBER:urn:uuid:bob\r\n") +
              card("KIND:group\r\nFN:No UID\r\n"));

    const auto source = loaded();
    const QStringList tables = tableNames(*source);
    ASSERT_EQ(tables.size(), 5);
    EXPECT_EQ(tables.mid(0, 2), QStringList({"tbl-all=All Contacts", "urn:uuid:team=Team"}));
    EXPECT_TRUE(tables[2].startsWith("file-") && tables[2].endsWith("=No UID"));
    EXPECT_EQ(tables.mid(3), QStringList({"category:Friends=Friends", "category:Chess=Chess"}));
    EXPECT_EQ(values(source->tableWithUid("urn:uuid:team"), "abc-Last"), QStringList({"Bob", "Ann"}));
    EXPECT_EQ(values(source->tableWithUid("category:Chess"), "abc-Last"), QStringList({"Ann", "Bob"}));
    EXPECT_EQ(source->tableWithUid("category:Chess")->database(), source);
    EXPECT_EQ(source->tableWithUid("tbl-all")->numberOfRows(), 3);
}

// Cards without UID get identifiers from their file and place that stay
// the same from one reading to the next.
TEST_F(AddressBookSource, RowIdentifiers)
{
    write("one.vcf", person("A", "UID:uid-a\r\n") + person("B") + person("C"));
    write("two.vcf", person("B"));
    const auto rowUids = [](const std::shared_ptr<AddressBookDatabase> &source) {
        QStringList uids;
        const TableRefPtr all = source->tableWithUid("tbl-all");
        for (int i = 0; i < all->numberOfRows(); ++i)
            uids.append(all->rowAtIndex(i)->uid());
        return uids;
    };
    const QStringList first = rowUids(loaded());
    ASSERT_EQ(first.size(), 4);
    EXPECT_EQ(first[0], "addressbook-uid-a");
    EXPECT_EQ(QSet<QString>(first.begin(), first.end()).size(), 4);
    for (const QString &uid : first.mid(1))
        EXPECT_TRUE(uid.startsWith("addressbook-file-")) << uid.toStdString();
    EXPECT_EQ(rowUids(loaded()), first);
    EXPECT_EQ(loaded()->tableWithUid("tbl-all")->rowWithUID(first[3])->dataForColumn(AddressBookColumn(Person::Last)), "B");
}

// Reading happens on a worker; the main thread gets the snapshot through
// its event loop and is told so.
TEST_F(AddressBookSource, SnapshotIsHandedOverOnTheMainThread)
{
    for (int i = 0; i < 50; ++i)
        write(QStringLiteral("p%1.vcf").arg(i), person("P" + QByteArray::number(i)));
    auto source = AddressBookDatabase::create(m_dir.path());
    const TableRefPtr early = source->tables().first();
    bool told = false;
    const auto observation = NotificationCenter::defaultCenter().addObserver(
        NotificationNames::AddressBookLoaded, source.get(), [&](const Notification &) { told = true; });
    const QDeadlineTimer deadline(30000);
    while (!told && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_TRUE(told);
    EXPECT_TRUE(source->isLoaded());
    EXPECT_EQ(source->tables().first()->numberOfRows(), 50);
    // A table taken before keeps answering from what it was made with.
    EXPECT_LE(early->numberOfRows(), 50);

    // A source dropped while its worker reads is not handed anything.
    auto dropped = AddressBookDatabase::create(m_dir.path());
    dropped.reset();
    QCoreApplication::processEvents();
}
