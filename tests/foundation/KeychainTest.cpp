#include "Keychain.h"
#include "KeychainMemoryBackend.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

class KeychainTest : public ::testing::Test
{
protected:
    void SetUp() override { Keychain::setBackend(store); }
    void TearDown() override { Keychain::setBackend(nullptr); }

    std::shared_ptr<KeychainMemoryBackend> store = std::make_shared<KeychainMemoryBackend>();
};

const QString server = QStringLiteral("smtp.example.org");
const QString ann = QStringLiteral("ann@example.org");

} // namespace

TEST_F(KeychainTest, StoringAgainReplacesAndEmptyIsNotMissing)
{
    EXPECT_TRUE(Keychain::getKeychainPasswordForServer(server, ann).isNull());
    ASSERT_TRUE(Keychain::setKeychainServer(server, ann, QStringLiteral("first")));
    ASSERT_TRUE(Keychain::setKeychainServer(server, ann, QString()));
    const QString empty = Keychain::getKeychainPasswordForServer(server, ann);
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_FALSE(empty.isNull());
    EXPECT_EQ(store->itemCount(), 1);
}

TEST_F(KeychainTest, EmptyServerOrLoginIsNeitherStoredNorLookedUp)
{
    for (const auto &[host, login] : {std::pair{QString(), ann}, std::pair{server, QString()},
                                      std::pair{QStringLiteral(""), QStringLiteral("")}}) {
        QString error;
        EXPECT_FALSE(Keychain::setKeychainServer(host, login, QStringLiteral("secret"), &error));
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(store->itemCount(), 0);

    // Even an item that exists under such a key is not read.
    ASSERT_TRUE(store->writeSecret(Keychain::itemKey(QString(), ann), "planted", nullptr));
    ASSERT_TRUE(store->writeSecret(Keychain::itemKey(server, QString()), "planted", nullptr));
    EXPECT_TRUE(Keychain::getKeychainPasswordForServer(QString(), ann).isNull());
    EXPECT_TRUE(Keychain::getKeychainPasswordForServer(server, QString()).isNull());
}

TEST_F(KeychainTest, EachServerAndLoginHasItsOwnItem)
{
    // Pairs that a naive "login@server" key would mix up.
    const std::pair<const char *, const char *> pairs[] = {
        {"smtp.example.org", "ann"},          {"smtp.example.org", "bob"},
        {"example.org", "ann@smtp"},          {"smtp@example.org", "ann"},
        {"smtp.example.org", "ann%40x"},      {"x@smtp.example.org", "ann"},
        {"smtp.example.org", "ann@x"},        {"smtp.example.net", "ann"},
        {"smtp.example.org", "Ann"},          {"smtp.bücher.example", "jürgen@bücher.example"},
    };
    // Non-ASCII passwords are stored as UTF-8.
    const auto password = [](int n) { return QString::number(n) + u" pä$$wörd 🐦 \"'\\%@"_qs; };
    int n = 0;
    for (const auto &[host, login] : pairs)
        ASSERT_TRUE(Keychain::setKeychainServer(QString::fromUtf8(host), QString::fromUtf8(login),
                                                password(n++)));
    EXPECT_EQ(store->itemCount(), n);
    n = 0;
    for (const auto &[host, login] : pairs)
        EXPECT_EQ(Keychain::getKeychainPasswordForServer(QString::fromUtf8(host), QString::fromUtf8(login)),
                  password(n++))
            << host << " " << login;
    EXPECT_EQ(store->readSecret(Keychain::itemKey(u"smtp.bücher.example"_qs, u"jürgen@bücher.example"_qs)).secret,
              password(n - 1).toUtf8());
}

TEST_F(KeychainTest, FailingKeychainIsReportedAndChangesNothing)
{
    ASSERT_TRUE(Keychain::setKeychainServer(server, ann, QStringLiteral("old")));
    store->setFailure(QStringLiteral("The collection is locked"));

    QString error;
    EXPECT_FALSE(Keychain::setKeychainServer(server, ann, QStringLiteral("new"), &error));
    EXPECT_EQ(error, QStringLiteral("The collection is locked"));
    EXPECT_FALSE(Keychain::setKeychainServer(server, ann, QStringLiteral("new")));  // no error wanted
    EXPECT_TRUE(Keychain::getKeychainPasswordForServer(server, ann).isNull());

    store->setFailure(QString());
    EXPECT_EQ(Keychain::getKeychainPasswordForServer(server, ann), QStringLiteral("old"));
}
