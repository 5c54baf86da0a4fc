#include "BlacklistManager.h"
#include "UserDefaults.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <thread>
#include <vector>

namespace {

class BlacklistTest : public ::testing::Test {
protected:
    QString filePath() const { return dir.path() + QStringLiteral("/defaults.ini"); }

    // Qt shares one parsed copy of a file within a process; a copy of the
    // file shows what the next start of the application would read.
    std::unique_ptr<UserDefaults> reopened()
    {
        const QString copy = dir.path() + QStringLiteral("/copy%1.ini").arg(++copies);
        EXPECT_TRUE(QFile::copy(filePath(), copy));
        return std::make_unique<UserDefaults>(copy);
    }

    std::unique_ptr<BlacklistManager> managerWith(const QStringList &entries)
    {
        defaults.setObject(entries, BlacklistManager::DefaultsKey);
        return std::make_unique<BlacklistManager>(defaults);
    }

    QTemporaryDir dir;
    UserDefaults defaults{filePath()};
    int copies = 0;
};

} // namespace

TEST_F(BlacklistTest, MatchingIgnoresLetterCaseAndTakesPatternTextLiterally)
{
    const auto list = managerWith({"Mixed@Example.COM", "*@SPAM.example", "news*", "a+b@x.com", "dot.?[x]*", "(a|b)@y.org"});
    const struct { const char *address; bool listed; } cases[] = {
        {"mixed@example.com", true}, {"MIXED@EXAMPLE.com", true}, {"other@example.com", false}, {"", false},
        {"Someone@spam.EXAMPLE", true}, {"x@spam.example.org", true}, // patterns are not anchored
        {"my-NEWSletter@x.org", true},
        // Entries are text, not regular expressions.
        {"a+b@x.com", true}, {"aab@x.com", false}, {"ab@x.com", false},
        {"dot.?[x]yz@x.org", true}, {"dotA?[x]@x.org", false}, {"dot.x@x.org", false},
        {"(a|b)@y.org", true}, {"a@y.org", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(list->isAddressInList(QString::fromUtf8(c.address)), c.listed) << c.address;

    const auto everything = managerWith({"*"});
    EXPECT_TRUE(everything->isAddressInList("anyone@anywhere.org"));
    EXPECT_TRUE(everything->isAddressInList(""));
    EXPECT_FALSE(everything->isAddressInList(QString())); // a row without an address

    const auto empty = managerWith({""});
    EXPECT_TRUE(empty->isAddressInList(""));
    EXPECT_FALSE(empty->isAddressInList(" "));
    EXPECT_FALSE(empty->isAddressInList("ok@y.com,")); // a trailing comma is no empty mailbox
    EXPECT_FALSE(empty->isAddressInList("someone@x.org"));
}

TEST_F(BlacklistTest, EveryMailboxOfTheAddressValueIsTested)
{
    const auto list = managerWith({"bad@x.com", " Spaced@X.com\r", "fr*@y.org"});
    const struct { const char *address; bool listed; } cases[] = {
        {" bad@x.com ", true}, {"\tBAD@x.com\n", true}, {"Bad Guy <bad@X.com>", true},
        {"\"Doe, J\" <bad@x.com>", true}, {"ok@y.com, bad@x.com", true}, {"ok@y.com,Bad <bad@x.com>", true},
        {"spaced@x.com", true}, // the entry's own blanks do not count
        {"notbad@x.com", false}, {"bad@x.com.org", false}, {"Bad Guy <good@x.com>", false},
        {"ok@y.com, fine@z.com", false},
        {"Fred <ok@y.org>", true}, // patterns see the whole value
    };
    for (const auto &c : cases)
        EXPECT_EQ(list->isAddressInList(QString::fromUtf8(c.address)), c.listed) << c.address;
}

// The envelope carries a domain in its ASCII (IDNA) form and a local part
// without the quotes it may be written in: an entry blocks every spelling.
TEST_F(BlacklistTest, DomainsCompareInTheirAsciiFormAndLocalPartsUnquoted)
{
    const auto list = managerWith({"bob@bücher.de", "ann@xn--mnchen-3ya.de", "cid@example.com", "\"dan\"@example.com",
                                   "*@grüne.example", "*@xn--caf-dma.example"});
    const struct { const char *address; bool listed; } cases[] = {
        {"bob@xn--bcher-kva.de", true}, {"BOB@BÜCHER.DE", true}, {"Bob <bob@XN--BCHER-KVA.de>", true},
        {"eve@xn--bcher-kva.de", false},
        {"ann@münchen.de", true}, {"ann@muenchen.de", false},
        {"\"cid\"@example.com", true}, {"Cid <\"cid\"@example.com>", true}, {"\"c\\id\"@example.com", true},
        {"dan@example.com", true}, {"\"dan \"@example.com", false},
        {"x@xn--grne-1ra.example", true}, {"y@café.example", true}, {"z@cafe.example", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(list->isAddressInList(QString::fromUtf8(c.address)), c.listed) << c.address;
}

TEST_F(BlacklistTest, AddingMatchesAtOnceOtherEditsOnlyAfterSaveList)
{
    const auto list = managerWith({"gone@x.com", "keep@x.com"});
    auto before = list->matcher();

    list->removeAddressAtIndex(0);
    EXPECT_EQ(list->addressList(), QStringList{"keep@x.com"});
    EXPECT_TRUE(list->isAddressInList("gone@x.com"));
    list->replaceAddressAtIndex(0, "Changed@x.com");
    EXPECT_TRUE(list->isAddressInList("keep@x.com"));
    EXPECT_FALSE(list->isAddressInList("changed@x.com"));
    // Adding blocks at once; it stores the whole list, so what is matched
    // follows the stored list, pending edits included.
    list->addAddresses({"new@x.com"});
    EXPECT_TRUE(list->isAddressInList("NEW@x.com"));
    EXPECT_FALSE(list->isAddressInList("gone@x.com"));
    list->replaceAddressAtIndex(0, "Later@x.com");
    EXPECT_TRUE(list->isAddressInList("changed@x.com"));
    EXPECT_FALSE(list->isAddressInList("later@x.com"));

    list->saveList();
    EXPECT_FALSE(list->isAddressInList("gone@x.com"));
    EXPECT_FALSE(list->isAddressInList("keep@x.com") || list->isAddressInList("changed@x.com"));
    EXPECT_TRUE(list->isAddressInList("new@x.com") && list->isAddressInList("LATER@x.com"));
    // A snapshot taken earlier keeps answering as it did.
    EXPECT_TRUE(before->isAddressInList("gone@x.com") && !before->isAddressInList("new@x.com"));
    EXPECT_EQ(list->matcher()->addressSet(), (QSet<QString>{"later@x.com", "new@x.com"}));

    for (int bad : {-1, list->addressCount()}) {
        EXPECT_EQ(list->addressAtIndex(bad), "");
        EXPECT_FALSE(list->addressAtIndex(bad).isNull());
        list->replaceAddressAtIndex(bad, "x@x.com");
        list->removeAddressAtIndex(bad);
    }
    EXPECT_EQ(list->addressList(), (QStringList{"Later@x.com", "new@x.com"}));
}

TEST_F(BlacklistTest, ListIsStoredSortedWithEntriesAsTyped)
{
    BlacklistManager list(defaults);
    EXPECT_EQ(list.addressCount(), 0);
    list.addAddresses({"b@x.com", "", "B@x.com", "*@Z.org", "b@x.com"});
    const QStringList sorted{"", "*@Z.org", "B@x.com", "b@x.com", "b@x.com"};
    EXPECT_EQ(list.addressList(), sorted);
    EXPECT_EQ(BlacklistManager(*reopened()).addressList(), sorted); // stored at once

    list.replaceAddressAtIndex(0, "a@x.com");
    list.removeAddressAtIndex(4);
    EXPECT_EQ(BlacklistManager(*reopened()).addressList(), sorted); // not yet
    list.saveList();
    const BlacklistManager next(*reopened());
    EXPECT_EQ(next.addressList(), (QStringList{"*@Z.org", "B@x.com", "a@x.com", "b@x.com"}));
    EXPECT_TRUE(next.isAddressInList("a@x.com") && next.isAddressInList("q@z.ORG"));

    // The stored order is kept as it was read.
    const auto unsorted = managerWith({"z@x.com", "a@x.com"});
    EXPECT_EQ(unsorted->addressList(), (QStringList{"z@x.com", "a@x.com"}));
}

TEST_F(BlacklistTest, StoredValueOfTheWrongKindReadsAsEmptyOrLosesItsBadItems)
{
    const QVariant values[] = {QStringLiteral("bad@x.com"), 5, QVariantMap{{"bad@x.com", "1"}}, QVariantList{}};
    for (const QVariant &value : values) {
        defaults.setObject(value, BlacklistManager::DefaultsKey);
        const BlacklistManager list(defaults);
        EXPECT_EQ(list.addressCount(), 0) << value.typeName();
        EXPECT_FALSE(list.isAddressInList("bad@x.com"));
    }

    defaults.setObject(QVariantList{"b@x.com", 7, QVariantList{"c@x.com"}, QVariantMap{{"d", "e"}}, true, "A@x.com"},
                       BlacklistManager::DefaultsKey);
    BlacklistManager list(defaults);
    EXPECT_EQ(list.addressList(), (QStringList{"b@x.com", "A@x.com"}));
    EXPECT_TRUE(list.isAddressInList("a@x.com") && !list.isAddressInList("c@x.com"));
    list.saveList();
    EXPECT_EQ(reopened()->objectForKey(BlacklistManager::DefaultsKey), (QVariantList{"b@x.com", "A@x.com"}));
}

TEST_F(BlacklistTest, WorkerMatchesWhileTheMainThreadSaves)
{
    const auto list = managerWith({"always@x.com", "*@always.org", "always@bücher.de"});
    std::atomic<bool> saving{true};
    std::atomic<int> wrong{0};
    std::atomic<int> tests{0};
    std::thread worker([&] {
        while (saving.load() || tests.load() < 100) {
            const auto snapshot = list->matcher();
            if (!list->isAddressInList("ALWAYS@x.com") || !snapshot->isAddressInList("me@always.org")
                || list->isAddressInList("never@x.com") || !list->isAddressInList("always@xn--bcher-kva.de"))
                ++wrong;
            ++tests;
        }
    });
    for (int i = 0; i < 200; ++i) {
        if (i % 2 == 0)
            list->addAddresses({"flip@x.com", QStringLiteral("n%1@grüne.example").arg(i)});
        else
            list->removeAddressAtIndex(list->addressList().indexOf("flip@x.com"));
        list->saveList();
    }
    saving = false;
    worker.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GE(tests.load(), 100);
    EXPECT_EQ(list->addressCount(), 103);
}

TEST(BlacklistShared, OneInstanceWhicheverThreadAsksFirst)
{
    std::vector<BlacklistManager *> seen(4, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = &BlacklistManager::sharedManager(); });
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(std::set<BlacklistManager *>(seen.begin(), seen.end()).size(), 1u);
    EXPECT_EQ(seen[0], &BlacklistManager::sharedManager());
}
